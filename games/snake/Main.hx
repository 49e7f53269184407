package;

import Hud;
import SnakeGame;
import flash.display.Graphics;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.KeyboardEvent;
import flash.events.MouseEvent;
import flash.net.SharedObject;
import flash.text.TextField;

enum Phase {
	Title;
	Playing;
	Paused;
	Dying;
	Over;
}

// Snake: steer with the arrow keys, eat the apples and grow, and never run into a wall or yourself.
class Main extends Sprite {
	static inline var CELL = 18;
	static inline var COLS = 30;
	static inline var ROWS = 20;
	static inline var LEFT = 5;
	static inline var TOP = 38;
	static inline var FPS = 30;

	static inline var KEY_ENTER = 13;
	static inline var KEY_SPACE = 32;
	static inline var KEY_P = 80;

	var game:SnakeGame;
	var phase = Title;
	var frame = 0;
	var clock = 0.0;
	var wait = 0;
	var best = 0;
	var newBest = false;
	var store:SharedObject;

	var snakeLayer:Shape;
	var apple:Shape;
	var scoreText:TextField;
	var bestText:TextField;
	var lengthText:TextField;
	var titleCard:Sprite;
	var startHint:TextField;
	var overCard:Sprite;
	var overScore:TextField;
	var overBest:TextField;
	var overHint:TextField;
	var pauseCard:Sprite;

	static function main() {
		flash.Lib.current.addChild(new Main());
	}

	function new() {
		super();
		loadBest();
		drawBoard();
		snakeLayer = new Shape();
		apple = new Shape();
		drawApple(apple.graphics);
		addChild(apple);
		addChild(snakeLayer);

		scoreText = Hud.label("", 16, 0xFFFFFF, true);
		scoreText.x = 12;
		scoreText.y = 8;
		lengthText = Hud.label("", 14, 0xB9E5A0, false, true);
		bestText = Hud.label("", 16, 0xFFD866, true);
		bestText.y = 8;
		addChild(scoreText);
		addChild(lengthText);
		addChild(bestText);

		buildTitleCard();
		buildOverCard();
		buildPauseCard();

		// The title screen plays a game of its own behind the card.
		game = new SnakeGame(COLS, ROWS);
		showTitle();
		updateHud();

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(KeyboardEvent.KEY_DOWN, keyDown);
			stage.addEventListener(MouseEvent.MOUSE_DOWN, function(_) press());
		});
	}

	function loadBest() {
		try {
			store = SharedObject.getLocal("snake");
			var saved:Dynamic = store.data.best;
			if (saved != null)
				best = Std.int(saved);
		} catch (e:Dynamic) {
			store = null;
		}
	}

	function saveBest() {
		if (store == null)
			return;
		try {
			store.data.best = best;
			store.flush();
		} catch (e:Dynamic) {}
	}

	function keyDown(e:KeyboardEvent) {
		var code:Int = e.keyCode;
		switch (phase) {
			case Playing:
				var d = direction(code);
				if (d >= 0)
					game.turn(d);
				else if (code == KEY_P)
					setPaused(true);
			case Paused:
				// Any steering key goes on as well, already turning.
				var d = direction(code);
				if (d >= 0 || code == KEY_P || code == KEY_SPACE || code == KEY_ENTER)
					setPaused(false);
				if (d >= 0)
					game.turn(d);
			case Title | Over:
				if (code == KEY_SPACE || code == KEY_ENTER)
					press();
			case Dying:
		}
	}

	// The way an arrow key (or W A S D) steers, -1 for other keys.
	static function direction(code:Int):Int {
		return switch (code) {
			case 37 | 65: SnakeGame.LEFT;
			case 38 | 87: SnakeGame.UP;
			case 39 | 68: SnakeGame.RIGHT;
			case 40 | 83: SnakeGame.DOWN;
			default: -1;
		}
	}

	function press() {
		switch (phase) {
			case Title:
				start();
			case Over:
				if (wait == 0)
					start();
			case Paused:
				setPaused(false);
			default:
		}
	}

	function showTitle() {
		phase = Title;
		game.reset();
		titleCard.visible = true;
		overCard.visible = false;
		pauseCard.visible = false;
		drawSnake(false);
	}

	function start() {
		game = new SnakeGame(COLS, ROWS);
		phase = Playing;
		clock = 0;
		newBest = false;
		titleCard.visible = false;
		overCard.visible = false;
		pauseCard.visible = false;
		updateHud();
		drawSnake(false);
	}

	function setPaused(on:Bool) {
		phase = on ? Paused : Playing;
		pauseCard.visible = on;
	}

	function tick(_) {
		frame++;
		// The apple breathes whatever the game is doing.
		var s = 1 + Math.sin(frame * 0.25) * 0.1;
		apple.scaleX = s;
		apple.scaleY = s;
		switch (phase) {
			case Title:
				startHint.alpha = 0.55 + 0.45 * Math.sin(frame * 0.2);
				titleCard.y = Math.sin(frame * 0.08) * 4;
				clock += 10 / FPS;
				while (clock >= 1) {
					clock -= 1;
					game.autoSteer();
					if (game.step() == Crashed || !game.alive)
						game.reset();
				}
				drawSnake(false);
			case Playing:
				clock += game.stepsPerSecond() / FPS;
				while (clock >= 1 && phase == Playing) {
					clock -= 1;
					advance();
				}
			case Dying:
				wait--;
				drawSnake(wait % 6 < 3);
				if (wait <= 0)
					showOver();
			case Over:
				if (wait > 0)
					wait--;
				overHint.alpha = wait > 0 ? 0.3 : 0.75 + 0.25 * Math.sin(frame * 0.2);
			case Paused:
		}
	}

	function advance() {
		switch (game.step()) {
			case Moved:
			case Ate:
				updateHud();
			case Crashed | Filled:
				updateHud();
				phase = Dying;
				wait = 24;
				if (game.score > best) {
					best = game.score;
					newBest = true;
					saveBest();
					updateHud();
				}
		}
		drawSnake(false);
	}

	function showOver() {
		phase = Over;
		wait = 15;
		overScore.text = "Score " + game.score + "   Length " + game.body.length;
		Hud.centreOn(overScore, Hud.WIDTH / 2, 186);
		overBest.text = newBest ? "New best score!" : "Best " + best;
		Hud.centreOn(overBest, Hud.WIDTH / 2, 214);
		overCard.visible = true;
		drawSnake(false);
	}

	function updateHud() {
		var playing = phase != Title;
		scoreText.text = "Score " + (playing ? game.score : 0);
		lengthText.text = playing ? "Length " + game.body.length : "";
		Hud.centreOn(lengthText, Hud.WIDTH / 2, 10);
		bestText.text = "Best " + best;
		bestText.x = Hud.WIDTH - 12 - bestText.width;
	}

	function drawBoard() {
		var back = new Shape();
		var g = back.graphics;
		Hud.verticalGradient(g, 0, 0, Hud.WIDTH, Hud.HEIGHT, 0x1D3B22, 0x0E1F12);
		g.beginFill(0x000000, 0.3);
		g.drawRect(0, 0, Hud.WIDTH, TOP - 4);
		g.endFill();
		for (y in 0...ROWS)
			for (x in 0...COLS) {
				g.beginFill((x + y) % 2 == 0 ? 0x2E5A2E : 0x295229);
				g.drawRect(LEFT + x * CELL, TOP + y * CELL, CELL, CELL);
				g.endFill();
			}
		g.lineStyle(2, 0x8BC34A, 0.9);
		g.drawRect(LEFT - 1, TOP - 1, COLS * CELL + 2, ROWS * CELL + 2);
		addChild(back);
	}

	function drawApple(g:Graphics) {
		g.beginFill(0x000000, 0.25);
		g.drawEllipse(-7, 3, 14, 6);
		g.endFill();
		g.beginFill(0xE53935);
		g.drawCircle(0, 0, 7);
		g.endFill();
		g.beginFill(0xFFFFFF, 0.45);
		g.drawCircle(-2.5, -2.5, 2);
		g.endFill();
		g.lineStyle(2, 0x6D4C41);
		g.moveTo(0, -6);
		g.lineTo(1, -9);
		g.lineStyle();
		g.beginFill(0x7CB342);
		g.drawEllipse(1, -11, 6, 3.5);
		g.endFill();
	}

	function drawSnake(hidden:Bool) {
		var g = snakeLayer.graphics;
		g.clear();
		apple.visible = game.food >= 0;
		if (game.food >= 0) {
			apple.x = LEFT + (game.food % COLS) * CELL + CELL / 2;
			apple.y = TOP + Std.int(game.food / COLS) * CELL + CELL / 2;
		}
		if (hidden)
			return;
		var body = game.body;
		var n = body.length;
		var i = n - 1;
		while (i >= 0) {
			var c = body[i];
			var x = LEFT + (c % COLS) * CELL;
			var y = TOP + Std.int(c / COLS) * CELL;
			var shade = n > 1 ? i / (n - 1) : 0;
			var colour = mix(0x9CE35A, 0x3C8F2A, shade);
			g.beginFill(colour);
			g.drawRoundRect(x + 1, y + 1, CELL - 2, CELL - 2, 9, 9);
			g.endFill();
			// Fill the gap to the next segment, so the body reads as one piece.
			if (i > 0) {
				var p = body[i - 1];
				var px = LEFT + (p % COLS) * CELL;
				var py = TOP + Std.int(p / COLS) * CELL;
				g.beginFill(colour);
				g.drawRect(Math.min(x, px) + 3, Math.min(y, py) + 3, Math.abs(px - x) + CELL - 6, Math.abs(py - y) + CELL - 6);
				g.endFill();
			}
			i--;
		}
		drawEyes(g, body[0], phase == Dying || phase == Over);
	}

	function drawEyes(g:Graphics, head:Int, dead:Bool) {
		var cx = LEFT + (head % COLS) * CELL + CELL / 2;
		var cy = TOP + Std.int(head / COLS) * CELL + CELL / 2;
		var fx = [1, 0, -1, 0][game.dir];
		var fy = [0, 1, 0, -1][game.dir];
		for (side in [-1, 1]) {
			var ex = cx + fx * 3 - fy * side * 4;
			var ey = cy + fy * 3 + fx * side * 4;
			g.beginFill(0xFFFFFF);
			g.drawCircle(ex, ey, 3);
			g.endFill();
			if (dead) {
				g.lineStyle(1.5, 0x202020);
				g.moveTo(ex - 2, ey - 2);
				g.lineTo(ex + 2, ey + 2);
				g.moveTo(ex + 2, ey - 2);
				g.lineTo(ex - 2, ey + 2);
				g.lineStyle();
			} else {
				g.beginFill(0x202020);
				g.drawCircle(ex + fx, ey + fy, 1.5);
				g.endFill();
			}
		}
	}

	static function mix(a:Int, b:Int, t:Float):Int {
		var r = Std.int(((a >> 16) & 255) * (1 - t) + ((b >> 16) & 255) * t);
		var gr = Std.int(((a >> 8) & 255) * (1 - t) + ((b >> 8) & 255) * t);
		var bl = Std.int((a & 255) * (1 - t) + (b & 255) * t);
		return (r << 16) | (gr << 8) | bl;
	}

	static function card(x:Float, y:Float, w:Float, h:Float):Sprite {
		var s = new Sprite();
		s.mouseEnabled = false;
		s.mouseChildren = false;
		s.graphics.lineStyle(2, 0x8BC34A);
		s.graphics.beginFill(0x10210F, 0.88);
		s.graphics.drawRoundRect(x, y, w, h, 24, 24);
		s.graphics.endFill();
		return s;
	}

	static function addLine(s:Sprite, text:String, size:Int, colour:Int, y:Float, bold = false):TextField {
		var tf = Hud.label(text, size, colour, bold, true);
		Hud.centreOn(tf, Hud.WIDTH / 2, y);
		s.addChild(tf);
		return tf;
	}

	function buildTitleCard() {
		titleCard = card(105, 96, 340, 214);
		addLine(titleCard, "SNAKE", 44, 0xB9F07A, 106, true);
		addLine(titleCard, "Arrow keys (or W A S D) steer the snake.", 14, 0xFFFFFF, 170);
		addLine(titleCard, "Eat the apples to grow; walls and your own tail kill.", 13, 0xD0E8C0, 194);
		addLine(titleCard, "P pauses.", 13, 0xD0E8C0, 216);
		startHint = addLine(titleCard, "Click or press Space to start", 16, 0xFFD866, 258, true);
		addChild(titleCard);
	}

	function buildOverCard() {
		overCard = card(125, 110, 300, 180);
		addLine(overCard, "Game over", 32, 0xFF8A65, 126, true);
		overScore = addLine(overCard, "", 17, 0xFFFFFF, 186, true);
		overBest = addLine(overCard, "", 16, 0xFFD866, 214);
		overHint = addLine(overCard, "Click or press Space to play again", 14, 0xB9F07A, 252, true);
		overCard.visible = false;
		addChild(overCard);
	}

	function buildPauseCard() {
		pauseCard = card(165, 160, 220, 80);
		addLine(pauseCard, "Paused", 26, 0xFFFFFF, 168, true);
		addLine(pauseCard, "Press P or an arrow key to go on", 13, 0xD0E8C0, 206);
		pauseCard.visible = false;
		addChild(pauseCard);
	}
}
