package;

import Board;
import Hud;
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
	Sliding;
	Won;
	Ending;
	Over;
}

// One tile on screen, drawn around its middle so that it can swell and shrink in place.
private class Tile extends Sprite {
	static var COLOURS = [
		2 => 0xE8F1F8, 4 => 0xCDE3F2, 8 => 0x7FD1C7, 16 => 0x4DB6AC, 32 => 0x64B5F6, 64 => 0x3F8EDB, 128 => 0xB39DDB,
		256 => 0x9575CD, 512 => 0xF48FB1, 1024 => 0xEC6A9C, 2048 => 0xFFC94A
	];

	public var grow = 0.0;
	public var value(default, null) = 0;

	var label:TextField;

	public function new() {
		super();
		mouseEnabled = false;
		mouseChildren = false;
		label = Hud.label("", 36, 0xFFFFFF, true, true);
		addChild(label);
	}

	public function show(v:Int) {
		if (v == value)
			return;
		value = v;
		var half = Main.TILE / 2;
		var colour = COLOURS.exists(v) ? COLOURS.get(v) : 0xFF8A3D;
		var g = graphics;
		g.clear();
		g.beginFill(0x000000, 0.25);
		g.drawRoundRect(-half, -half + 3, Main.TILE, Main.TILE - 3, 14, 14);
		g.endFill();
		g.beginFill(colour);
		g.drawRoundRect(-half, -half, Main.TILE, Main.TILE - 3, 14, 14);
		g.endFill();
		g.beginFill(0xFFFFFF, 0.22);
		g.drawRoundRect(-half + 4, -half + 4, Main.TILE - 8, (Main.TILE - 3) / 2 - 4, 10, 10);
		g.endFill();
		var digits = Std.string(v).length;
		var size = digits <= 2 ? 36 : (digits == 3 ? 30 : (digits == 4 ? 24 : 19));
		var format = label.defaultTextFormat;
		format.size = size;
		format.color = v <= 4 ? 0x2B3A4A : 0xFFFFFF;
		label.defaultTextFormat = format;
		label.text = Std.string(v);
		label.x = -label.width / 2;
		label.y = -1.5 - label.height / 2;
	}
}

// 2048: slide the tiles with the arrow keys or the mouse; equal tiles merge, and the goal is a 2048 tile.
// Tiles are drawn as shapes and device text, which every Ruffle renderer can show.
class Main extends Sprite {
	public static inline var TILE = 80;
	static inline var GAP = 10;
	static inline var BOARD_X = 15;
	static inline var BOARD_Y = 15;
	static inline var BOARD = 370; // 4 * TILE + 5 * GAP
	static inline var SLIDE_FRAMES = 5;
	// How far (pixels) the mouse must be dragged to count as a swipe.
	static inline var SWIPE = 30;

	static inline var KEY_ENTER = 13;
	static inline var KEY_SPACE = 32;

	var board:Board;
	var phase = Title;
	var frame = 0;
	var timer = 0;
	var best = 0;
	var newBest = false;
	var keepGoing = false;
	var store:SharedObject;
	var tiles:Array<Tile> = [];
	var sliding:Array<{tile:Tile, fromX:Float, fromY:Float, toX:Float, toY:Float}> = [];
	var pending:Array<Int> = [];
	var spawned = -1;
	var dragX = 0.0;
	var dragY = 0.0;
	var dragging = false;

	var tileLayer:Sprite;
	var scoreText:TextField;
	var bestText:TextField;
	var gainText:TextField;
	var newGameButton:Sprite;
	var titleCard:Sprite;
	var startHint:TextField;
	var floaters:Array<Tile> = [];
	var demo:Array<Tile> = [];
	var overCard:Sprite;
	var overTitle:TextField;
	var overScore:TextField;
	var overBest:TextField;
	var overHint:TextField;

	static function main() {
		flash.Lib.current.addChild(new Main());
	}

	function new() {
		super();
		loadBest();
		drawBackground();
		tileLayer = new Sprite();
		tileLayer.mouseEnabled = false;
		addChild(tileLayer);
		for (i in 0...16) {
			var t = new Tile();
			t.visible = false;
			tileLayer.addChild(t);
			tiles.push(t);
		}
		buildPanel();
		buildTitleCard();
		buildOverCard();

		board = new Board();
		phase = Title;
		updateHud();

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(KeyboardEvent.KEY_DOWN, keyDown);
			stage.addEventListener(MouseEvent.MOUSE_DOWN, mouseDown);
			stage.addEventListener(MouseEvent.MOUSE_MOVE, mouseMove);
			stage.addEventListener(MouseEvent.MOUSE_UP, mouseUp);
		});
	}

	function loadBest() {
		try {
			store = SharedObject.getLocal("game2048");
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
				switch (code) {
					case 37 | 65: slide(Board.LEFT);
					case 38 | 87: slide(Board.UP);
					case 39 | 68: slide(Board.RIGHT);
					case 40 | 83: slide(Board.DOWN);
					default:
				}
			case Title | Over | Won:
				if (code == KEY_SPACE || code == KEY_ENTER)
					press();
			default:
		}
	}

	function press() {
		switch (phase) {
			case Title:
				start();
			case Over:
				if (timer == 0)
					start();
			case Won:
				if (timer == 0) {
					overCard.visible = false;
					phase = Playing;
					// The winning move may also have been the last one.
					if (!board.canMove()) {
						phase = Ending;
						timer = 25;
					}
				}
			default:
		}
	}

	function mouseDown(e:MouseEvent) {
		if (phase != Playing && phase != Sliding) {
			press();
			return;
		}
		dragX = e.stageX;
		dragY = e.stageY;
		dragging = true;
	}

	// A drag slides the tiles as soon as it is long enough, without waiting for the button to come up.
	function mouseMove(e:MouseEvent) {
		if (!dragging || !e.buttonDown)
			return;
		swipe(e.stageX, e.stageY, SWIPE);
	}

	function mouseUp(e:MouseEvent) {
		if (dragging)
			swipe(e.stageX, e.stageY, SWIPE / 2);
		dragging = false;
	}

	function swipe(x:Float, y:Float, far:Float) {
		var dx = x - dragX;
		var dy = y - dragY;
		if (Math.max(Math.abs(dx), Math.abs(dy)) < far)
			return;
		dragging = false;
		if (Math.abs(dx) > Math.abs(dy))
			slide(dx < 0 ? Board.LEFT : Board.RIGHT);
		else
			slide(dy < 0 ? Board.UP : Board.DOWN);
	}

	function start() {
		board = new Board();
		board.reset();
		phase = Playing;
		newBest = false;
		keepGoing = false;
		titleCard.visible = false;
		overCard.visible = false;
		for (f in floaters)
			f.visible = false;
		showBoard();
		// The first two tiles pop in.
		for (i in 0...16)
			if (board.cells[i] != 0)
				tiles[i].grow = -1;
		updateHud();
	}

	function slide(dir:Int) {
		if (phase == Sliding)
			finishSlide();
		if (phase != Playing)
			return;
		var gained = board.move(dir);
		if (gained < 0)
			return;
		// Tiles glide from their old cells; the board is redrawn once they arrive.
		sliding = [];
		pending = [];
		for (s in board.slides) {
			var t = tiles[s.from];
			sliding.push({
				tile: t,
				fromX: cellX(s.from),
				fromY: cellY(s.from),
				toX: cellX(s.to),
				toY: cellY(s.to)
			});
			if (s.merged)
				pending.push(s.to);
			// Tiles that move keep drawing above the ones that stay.
			tileLayer.setChildIndex(t, tileLayer.numChildren - 1);
		}
		spawned = board.addTile();
		timer = SLIDE_FRAMES;
		phase = Sliding;
		if (gained > 0) {
			gainText.text = "+" + gained;
			gainText.x = 468 - gainText.width / 2;
			gainText.y = 96;
			gainText.alpha = 1;
			gainText.visible = true;
		}
		if (board.score > best) {
			best = board.score;
			newBest = true;
			saveBest();
		}
		updateHud();
	}

	function finishSlide() {
		showBoard();
		for (c in pending)
			tiles[c].grow = 1;
		if (spawned >= 0)
			tiles[spawned].grow = -1;
		pending = [];
		phase = Playing;
		if (!keepGoing && board.biggest() >= Board.GOAL) {
			keepGoing = true;
			phase = Won;
			timer = 20;
			overTitle.text = "You made 2048!";
			Hud.centreOn(overTitle, Hud.WIDTH / 2, 126);
			overScore.text = "Score " + board.score;
			Hud.centreOn(overScore, Hud.WIDTH / 2, 186);
			overBest.text = "Keep going for a bigger tile.";
			Hud.centreOn(overBest, Hud.WIDTH / 2, 214);
			overHint.text = "Click or press Space to go on";
			Hud.centreOn(overHint, Hud.WIDTH / 2, 252);
			overCard.visible = true;
		} else if (!board.canMove()) {
			phase = Ending;
			timer = 25;
		}
	}

	function showOver() {
		phase = Over;
		timer = 15;
		overTitle.text = "No more moves";
		Hud.centreOn(overTitle, Hud.WIDTH / 2, 126);
		overScore.text = "Score " + board.score + "   Biggest tile " + board.biggest();
		Hud.centreOn(overScore, Hud.WIDTH / 2, 186);
		overBest.text = newBest ? "New best score!" : "Best " + best;
		Hud.centreOn(overBest, Hud.WIDTH / 2, 214);
		overHint.text = "Click or press Space to play again";
		Hud.centreOn(overHint, Hud.WIDTH / 2, 252);
		overCard.visible = true;
	}

	function tick(_) {
		frame++;
		if (gainText.visible) {
			gainText.y -= 1;
			gainText.alpha -= 0.04;
			if (gainText.alpha <= 0)
				gainText.visible = false;
		}
		switch (phase) {
			case Title:
				animateTitle();
			case Sliding:
				timer--;
				var t = 1 - timer / SLIDE_FRAMES;
				for (s in sliding) {
					s.tile.x = s.fromX + (s.toX - s.fromX) * t;
					s.tile.y = s.fromY + (s.toY - s.fromY) * t;
				}
				if (timer <= 0)
					finishSlide();
			case Ending:
				timer--;
				tileLayer.alpha = 0.5 + 0.5 * timer / 25;
				if (timer <= 0)
					showOver();
			case Over | Won:
				if (timer > 0)
					timer--;
				overHint.alpha = timer > 0 ? 0.3 : 0.75 + 0.25 * Math.sin(frame * 0.2);
			case Playing:
		}
		// Merged tiles swell and settle; new tiles grow from nothing.
		for (t in tiles) {
			if (t.grow > 0) {
				t.grow = Math.max(0, t.grow - 0.2);
				t.scaleX = t.scaleY = 1 + 0.2 * Math.sin(t.grow * Math.PI);
			} else if (t.grow < 0) {
				t.grow = Math.min(0, t.grow + 0.2);
				t.scaleX = t.scaleY = 1 + t.grow;
			}
		}
	}

	// Puts a tile sprite on every occupied cell, each showing its value.
	function showBoard() {
		tileLayer.alpha = 1;
		for (i in 0...16) {
			var t = tiles[i];
			tileLayer.setChildIndex(t, i);
			var v = board.cells[i];
			t.visible = v != 0;
			t.x = cellX(i);
			t.y = cellY(i);
			t.scaleX = t.scaleY = 1;
			t.grow = 0;
			if (v != 0)
				t.show(v);
		}
	}

	static function cellX(c:Int):Float {
		return BOARD_X + GAP + (c % 4) * (TILE + GAP) + TILE / 2;
	}

	static function cellY(c:Int):Float {
		return BOARD_Y + GAP + Std.int(c / 4) * (TILE + GAP) + TILE / 2;
	}

	function updateHud() {
		var playing = phase != Title;
		scoreText.text = Std.string(playing ? board.score : 0);
		scoreText.x = 468 - scoreText.width / 2;
		bestText.text = Std.string(best);
		bestText.x = 468 - bestText.width / 2;
		newGameButton.visible = playing;
	}

	function drawBackground() {
		var back = new Shape();
		var g = back.graphics;
		Hud.verticalGradient(g, 0, 0, Hud.WIDTH, Hud.HEIGHT, 0x1B2836, 0x0F1721);
		g.beginFill(0x2B3A4A);
		g.drawRoundRect(BOARD_X, BOARD_Y, BOARD, BOARD, 16, 16);
		g.endFill();
		for (c in 0...16) {
			g.beginFill(0x3A4C5E);
			g.drawRoundRect(cellX(c) - TILE / 2, cellY(c) - TILE / 2, TILE, TILE - 3, 14, 14);
			g.endFill();
		}
		addChild(back);
	}

	function buildPanel() {
		var panel = new Shape();
		var g = panel.graphics;
		g.beginFill(0x2B3A4A);
		g.drawRoundRect(400, 15, 136, 70, 12, 12);
		g.drawRoundRect(400, 95, 136, 60, 12, 12);
		g.drawRoundRect(400, 165, 136, 60, 12, 12);
		g.endFill();
		addChild(panel);
		var logo = Hud.label("2048", 40, 0xFFC94A, true, true);
		Hud.centreOn(logo, 468, 24);
		addChild(logo);
		for (entry in [["SCORE", "103"], ["BEST", "173"]]) {
			var tf = Hud.label(entry[0], 12, 0x9FB3C8, true, true);
			Hud.centreOn(tf, 468, Std.parseFloat(entry[1]));
			addChild(tf);
		}
		scoreText = Hud.label("0", 22, 0xFFFFFF, true, true);
		scoreText.y = 119;
		bestText = Hud.label("0", 22, 0xFFFFFF, true, true);
		bestText.y = 189;
		addChild(scoreText);
		addChild(bestText);
		gainText = Hud.label("", 18, 0x7FD1C7, true, true);
		gainText.visible = false;
		addChild(gainText);
		var help = ["Arrow keys or W A S D", "or drag with the mouse", "to slide the tiles."];
		for (i in 0...help.length) {
			var tf = Hud.label(help[i], 11, 0x9FB3C8, false, true);
			Hud.centreOn(tf, 468, 240 + i * 17);
			addChild(tf);
		}

		newGameButton = new Sprite();
		newGameButton.buttonMode = true;
		newGameButton.mouseChildren = false;
		newGameButton.graphics.beginFill(0x3F8EDB);
		newGameButton.graphics.drawRoundRect(410, 335, 116, 36, 12, 12);
		newGameButton.graphics.endFill();
		var label = Hud.label("New game", 15, 0xFFFFFF, true, true);
		Hud.centreOn(label, 468, 343);
		newGameButton.addChild(label);
		newGameButton.addEventListener(MouseEvent.MOUSE_DOWN, function(e:MouseEvent) {
			e.stopPropagation();
			if (phase == Playing || phase == Sliding)
				start();
		});
		addChild(newGameButton);
	}

	static function card(x:Float, y:Float, w:Float, h:Float):Sprite {
		var s = new Sprite();
		s.mouseEnabled = false;
		s.mouseChildren = false;
		s.graphics.lineStyle(2, 0xFFC94A);
		s.graphics.beginFill(0x16212C, 0.93);
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
		// Tiles drifting up behind the card.
		var values = [2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048];
		for (i in 0...11) {
			var f = new Tile();
			f.show(values[i]);
			f.x = 30 + i * 49;
			f.y = Math.random() * Hud.HEIGHT;
			f.scaleX = f.scaleY = 0.55;
			f.alpha = 0.7;
			addChild(f);
			floaters.push(f);
		}
		titleCard = card(90, 60, 370, 280);
		addLine(titleCard, "2048", 60, 0xFFC94A, 68, true);
		addLine(titleCard, "Slide the tiles: two equal tiles merge into one.", 14, 0xFFFFFF, 150);
		addLine(titleCard, "Make a 2048 tile!", 14, 0xFFFFFF, 172, true);
		addLine(titleCard, "Arrow keys (or W A S D), or drag with the mouse.", 13, 0x9FB3C8, 200);
		// A small show of two tiles merging, over and over.
		for (i in 0...3) {
			var t = new Tile();
			t.y = 262;
			t.scaleX = t.scaleY = 0.5;
			t.show(i < 2 ? 2 : 4);
			titleCard.addChild(t);
			demo.push(t);
		}
		startHint = addLine(titleCard, "Click or press Space to start", 17, 0x7FD1C7, 298, true);
		addChild(titleCard);
	}

	function animateTitle() {
		for (i in 0...floaters.length) {
			var f = floaters[i];
			f.y -= 0.6 + (i % 3) * 0.35;
			f.rotation = Math.sin((frame + i * 20) * 0.05) * 10;
			if (f.y < -40)
				f.y = Hud.HEIGHT + 40;
		}
		startHint.alpha = 0.75 + 0.25 * Math.sin(frame * 0.2);
		// Every two seconds: a 2 slides onto a 2 and they become a 4.
		var t = (frame % 60) / 60;
		var a = demo[0];
		var b = demo[1];
		var c = demo[2];
		var slide = Math.min(1, t / 0.4);
		a.x = 235 + slide * 40;
		b.x = 315;
		a.visible = b.visible = t < 0.4;
		c.x = 315;
		c.visible = t >= 0.4;
		var pop = t >= 0.4 ? Math.max(0, 1 - (t - 0.4) / 0.2) : 0;
		c.scaleX = c.scaleY = 0.5 * (1 + 0.25 * Math.sin(pop * Math.PI));
	}

	function buildOverCard() {
		overCard = card(115, 110, 320, 180);
		overTitle = addLine(overCard, "", 30, 0xFFC94A, 126, true);
		overScore = addLine(overCard, "", 17, 0xFFFFFF, 186, true);
		overBest = addLine(overCard, "", 16, 0x7FD1C7, 214);
		overHint = addLine(overCard, "", 14, 0xFFC94A, 252, true);
		overCard.visible = false;
		addChild(overCard);
	}
}
