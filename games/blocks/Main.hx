package;

import Hud;
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
	Clearing;
	Paused;
	Ending;
	Over;
}

// Falling Blocks: steer and turn the pieces as they fall, fill whole rows to clear them, and keep the well from filling up.
class Main extends Sprite {
	static inline var CELL = 18;
	static inline var WELL_X = 185;
	static inline var WELL_Y = 20;
	static inline var WELL_W = 180; // Well.COLS * CELL
	static inline var WELL_H = 360; // Well.ROWS * CELL

	static inline var KEY_ENTER = 13;
	static inline var KEY_SPACE = 32;
	static inline var KEY_LEFT = 37;
	static inline var KEY_UP = 38;
	static inline var KEY_RIGHT = 39;
	static inline var KEY_DOWN = 40;
	static inline var KEY_P = 80;
	static inline var KEY_X = 88;
	static inline var KEY_Z = 90;

	// Frames before a held arrow key starts repeating, then frames between repeats.
	static inline var REPEAT_DELAY = 8;
	static inline var REPEAT_EVERY = 2;
	// Frames a landed piece may still slide or turn, and how often moving restarts that wait.
	static inline var LOCK_FRAMES = 15;
	static inline var LOCK_RESETS = 15;
	static inline var CLEAR_FRAMES = 12;

	public static var COLOURS = [0x35C6E8, 0x3A6FE0, 0xF0902A, 0xF2D03B, 0x58C24A, 0xA451D6, 0xE5483B];

	var well:Well;
	var phase = Title;
	var frame = 0;
	var gravity = 0;
	var lockWait = 0;
	var lockResets = 0;
	var slideDir = 0;
	var slideTimer = 0;
	var timer = 0;
	var clearing:Array<Int> = [];
	var best = 0;
	var newBest = false;
	var store:SharedObject;
	var held:Map<Int, Bool> = new Map();

	var stack:Shape;
	var piece:Shape;
	var flash:Shape;
	var preview:Shape;
	var rain:Sprite;
	var drops:Array<Shape> = [];
	var scoreText:TextField;
	var linesText:TextField;
	var levelText:TextField;
	var bestText:TextField;
	var popup:TextField;
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
		drawBackground();
		stack = new Shape();
		piece = new Shape();
		flash = new Shape();
		preview = new Shape();
		rain = new Sprite();
		rain.mouseEnabled = false;
		addChild(stack);
		addChild(piece);
		addChild(flash);
		addChild(preview);
		addChild(rain);

		scoreText = panelValue(20, 58);
		linesText = panelValue(20, 128);
		levelText = panelValue(20, 198);
		bestText = panelValue(20, 268);
		popup = Hud.label("", 22, 0xFFFFFF, true, true);
		popup.visible = false;
		addChild(popup);

		buildTitleCard();
		buildOverCard();
		buildPauseCard();

		well = new Well();
		showTitle();

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(KeyboardEvent.KEY_DOWN, keyDown);
			stage.addEventListener(KeyboardEvent.KEY_UP, function(e:KeyboardEvent) held.remove(e.keyCode));
			stage.addEventListener(MouseEvent.MOUSE_DOWN, function(_) press());
			// Keys let go while the player is in the background would otherwise stay down.
			stage.addEventListener(Event.DEACTIVATE, function(_) {
				held = new Map();
				slideDir = 0;
			});
		});
	}

	function loadBest() {
		try {
			store = SharedObject.getLocal("blocks");
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
		// The player's own key repeat is ignored: held keys repeat at the game's pace.
		if (held.exists(code))
			return;
		held.set(code, true);
		switch (phase) {
			case Playing:
				switch (code) {
					case KEY_LEFT | KEY_RIGHT:
						slideDir = code == KEY_LEFT ? -1 : 1;
						slideTimer = 0;
						if (well.move(slideDir))
							moved();
					case KEY_UP | KEY_X:
						if (well.rotate(1))
							moved();
					case KEY_Z:
						if (well.rotate(-1))
							moved();
					case KEY_DOWN:
						gravity = 0;
					case KEY_SPACE:
						well.hardDrop();
						lockPiece();
					case KEY_P:
						setPaused(true);
					default:
				}
			case Paused:
				if (code == KEY_P || code == KEY_SPACE || code == KEY_ENTER)
					setPaused(false);
			case Title | Over:
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
			case Paused:
				setPaused(false);
			default:
		}
	}

	function showTitle() {
		phase = Title;
		titleCard.visible = true;
		rain.visible = true;
		stack.visible = false;
		piece.visible = false;
		preview.visible = false;
		updateHud();
	}

	function start() {
		well = new Well();
		phase = Playing;
		gravity = 0;
		lockWait = 0;
		lockResets = 0;
		slideDir = 0;
		newBest = false;
		titleCard.visible = false;
		overCard.visible = false;
		rain.visible = false;
		stack.visible = true;
		piece.visible = true;
		preview.visible = true;
		popup.visible = false;
		flash.graphics.clear();
		drawStack();
		drawPreview();
		drawPiece();
		updateHud();
	}

	function setPaused(on:Bool) {
		phase = on ? Paused : Playing;
		pauseCard.visible = on;
		piece.visible = !on;
		stack.visible = !on;
	}

	// A landed piece that moves or turns gets a little longer before it locks, but not for ever.
	function moved() {
		if (lockWait > 0 && lockResets < LOCK_RESETS) {
			lockWait = 0;
			lockResets++;
		}
	}

	function tick(_) {
		frame++;
		animatePopup();
		switch (phase) {
			case Title:
				animateRain();
				startHint.alpha = 0.75 + 0.25 * Math.sin(frame * 0.2);
			case Playing:
				play();
			case Clearing:
				timer--;
				drawFlash();
				if (timer <= 0)
					finishClear();
			case Ending:
				timer--;
				drawEnding();
				if (timer <= 0)
					showOver();
			case Over:
				if (timer > 0)
					timer--;
				overHint.alpha = timer > 0 ? 0.3 : 0.75 + 0.25 * Math.sin(frame * 0.2);
			case Paused:
		}
	}

	function play() {
		// A held arrow slides the piece after a short pause, then quickly.
		var left = held.exists(KEY_LEFT);
		var right = held.exists(KEY_RIGHT);
		if ((slideDir < 0 && !left) || (slideDir > 0 && !right))
			slideDir = left ? -1 : (right ? 1 : 0);
		if (slideDir != 0) {
			slideTimer++;
			if (slideTimer >= REPEAT_DELAY && (slideTimer - REPEAT_DELAY) % REPEAT_EVERY == 0 && well.move(slideDir))
				moved();
		}
		if (held.exists(KEY_DOWN)) {
			well.fall(true);
			gravity = 0;
		} else if (++gravity >= well.framesPerRow()) {
			gravity = 0;
			well.fall();
		}
		if (well.resting()) {
			if (++lockWait >= LOCK_FRAMES) {
				lockPiece();
				return;
			}
		} else {
			lockWait = 0;
		}
		drawPiece();
		updateHud();
	}

	function lockPiece() {
		var full = well.lock();
		lockWait = 0;
		lockResets = 0;
		gravity = 0;
		drawStack();
		if (well.over) {
			endGame();
			return;
		}
		if (full.length > 0) {
			clearing = full;
			phase = Clearing;
			timer = CLEAR_FRAMES;
			piece.graphics.clear();
			return;
		}
		spawnNext();
	}

	function finishClear() {
		var levelBefore = well.level;
		well.clearRows(clearing);
		flash.graphics.clear();
		var words = ["", "Single", "Double", "Triple", "Four lines!"];
		showPopup(well.level > levelBefore ? "Level " + well.level + "!" : words[clearing.length],
			COLOURS[(clearing.length + 2) % COLOURS.length]);
		clearing = [];
		drawStack();
		phase = Playing;
		spawnNext();
	}

	function spawnNext() {
		if (!well.spawn()) {
			endGame();
			return;
		}
		drawPreview();
		drawPiece();
		updateHud();
	}

	function endGame() {
		phase = Ending;
		timer = Well.ROWS;
		piece.graphics.clear();
		updateHud();
		if (well.score > best) {
			best = well.score;
			newBest = true;
			saveBest();
			updateHud();
		}
	}

	function showOver() {
		phase = Over;
		timer = 15;
		overScore.text = "Score " + well.score + "   Lines " + well.lines;
		Hud.centreOn(overScore, Hud.WIDTH / 2, 186);
		overBest.text = newBest ? "New best score!" : "Best " + best;
		Hud.centreOn(overBest, Hud.WIDTH / 2, 214);
		overCard.visible = true;
	}

	function updateHud() {
		var playing = phase != Title;
		setValue(scoreText, playing ? well.score : 0);
		setValue(linesText, playing ? well.lines : 0);
		setValue(levelText, playing ? well.level : 1);
		setValue(bestText, best);
	}

	static function setValue(tf:TextField, v:Int) {
		var s = Std.string(v);
		if (tf.text != s) {
			tf.text = s;
			tf.x = 92 - tf.width / 2;
		}
	}

	function showPopup(text:String, colour:Int) {
		popup.textColor = colour;
		popup.text = text;
		Hud.centreOn(popup, WELL_X + WELL_W / 2, 150);
		popup.visible = true;
		popup.alpha = 1;
	}

	function animatePopup() {
		if (!popup.visible)
			return;
		popup.y -= 0.8;
		popup.alpha -= 0.025;
		if (popup.alpha <= 0)
			popup.visible = false;
	}

	// One block: a bevelled square in the piece's colour.
	public static function block(g:Graphics, x:Float, y:Float, size:Float, colour:Int, alpha = 1.0) {
		var edge = size / 6;
		g.beginFill(colour, alpha);
		g.drawRect(x, y, size, size);
		g.endFill();
		g.beginFill(0xFFFFFF, 0.35 * alpha);
		g.moveTo(x, y);
		g.lineTo(x + size, y);
		g.lineTo(x + size - edge, y + edge);
		g.lineTo(x + edge, y + edge);
		g.lineTo(x + edge, y + size - edge);
		g.lineTo(x, y + size);
		g.lineTo(x, y);
		g.endFill();
		g.beginFill(0x000000, 0.3 * alpha);
		g.moveTo(x + size, y + size);
		g.lineTo(x, y + size);
		g.lineTo(x + edge, y + size - edge);
		g.lineTo(x + size - edge, y + size - edge);
		g.lineTo(x + size - edge, y + edge);
		g.lineTo(x + size, y);
		g.lineTo(x + size, y + size);
		g.endFill();
	}

	function drawStack() {
		var g = stack.graphics;
		g.clear();
		for (row in 0...Well.ROWS)
			for (col in 0...Well.COLS) {
				var v = well.cells[row * Well.COLS + col];
				if (v != 0)
					block(g, WELL_X + col * CELL, WELL_Y + row * CELL, CELL, COLOURS[v - 1]);
			}
	}

	function drawPiece() {
		var g = piece.graphics;
		g.clear();
		var colour = COLOURS[well.kind];
		// The ghost shows where the piece will land.
		var ghost = Well.shape(well.kind, well.turn, well.x, well.landingY());
		var i = 0;
		while (i < ghost.length) {
			if (ghost[i + 1] >= 0) {
				g.lineStyle(1.5, colour, 0.7);
				g.beginFill(colour, 0.15);
				g.drawRect(WELL_X + ghost[i] * CELL + 1, WELL_Y + ghost[i + 1] * CELL + 1, CELL - 2, CELL - 2);
				g.endFill();
				g.lineStyle();
			}
			i += 2;
		}
		var c = well.pieceCells();
		i = 0;
		while (i < c.length) {
			if (c[i + 1] >= 0)
				block(g, WELL_X + c[i] * CELL, WELL_Y + c[i + 1] * CELL, CELL, colour);
			i += 2;
		}
	}

	function drawPreview() {
		var g = preview.graphics;
		g.clear();
		var c = Well.shape(well.next, 0, 0, 0);
		var minX = 9, maxX = 0, minY = 9, maxY = 0;
		var i = 0;
		while (i < c.length) {
			minX = Std.int(Math.min(minX, c[i]));
			maxX = Std.int(Math.max(maxX, c[i]));
			minY = Std.int(Math.min(minY, c[i + 1]));
			maxY = Std.int(Math.max(maxY, c[i + 1]));
			i += 2;
		}
		var size = 20;
		var ox = 457 - (maxX - minX + 1) * size / 2;
		var oy = 100 - (maxY - minY + 1) * size / 2;
		i = 0;
		while (i < c.length) {
			block(g, ox + (c[i] - minX) * size, oy + (c[i + 1] - minY) * size, size, COLOURS[well.next]);
			i += 2;
		}
	}

	function drawFlash() {
		var g = flash.graphics;
		g.clear();
		var a = (timer % 4 < 2) ? 0.9 : 0.4;
		for (row in clearing) {
			g.beginFill(0xFFFFFF, a);
			g.drawRect(WELL_X, WELL_Y + row * CELL, WELL_W, CELL);
			g.endFill();
		}
	}

	// The well greys over from the bottom when the game is lost.
	function drawEnding() {
		var g = flash.graphics;
		g.clear();
		var rows = Well.ROWS - timer;
		g.beginFill(0x2A2F38, 0.85);
		g.drawRect(WELL_X, WELL_Y + WELL_H - rows * CELL, WELL_W, rows * CELL);
		g.endFill();
	}

	function animateRain() {
		if (drops.length < 14 && frame % 9 == 0) {
			var s = new Shape();
			var kind = Std.random(Well.KINDS);
			var c = Well.shape(kind, 0, 0, 0);
			var i = 0;
			while (i < c.length) {
				block(s.graphics, (c[i] - 1.5) * 16, (c[i + 1] - 1) * 16, 16, COLOURS[kind], 0.8);
				i += 2;
			}
			s.x = 20 + Math.random() * (Hud.WIDTH - 40);
			s.y = -40;
			s.rotation = Std.random(4) * 90;
			rain.addChild(s);
			drops.push(s);
		}
		for (s in drops.copy()) {
			s.y += 1.5 + (s.x % 3);
			if (frame % 20 == Std.int(s.x) % 20)
				s.rotation += 90;
			if (s.y > Hud.HEIGHT + 40) {
				rain.removeChild(s);
				drops.remove(s);
			}
		}
	}

	function drawBackground() {
		var back = new Shape();
		var g = back.graphics;
		Hud.verticalGradient(g, 0, 0, Hud.WIDTH, Hud.HEIGHT, 0x232845, 0x10121F);
		// The well and its grid.
		g.beginFill(0x0A0C16);
		g.drawRect(WELL_X, WELL_Y, WELL_W, WELL_H);
		g.endFill();
		g.lineStyle(1, 0x1F2438);
		for (col in 1...Well.COLS) {
			g.moveTo(WELL_X + col * CELL, WELL_Y);
			g.lineTo(WELL_X + col * CELL, WELL_Y + WELL_H);
		}
		for (row in 1...Well.ROWS) {
			g.moveTo(WELL_X, WELL_Y + row * CELL);
			g.lineTo(WELL_X + WELL_W, WELL_Y + row * CELL);
		}
		g.lineStyle(3, 0x7C86C8);
		g.moveTo(WELL_X - 2, WELL_Y);
		g.lineTo(WELL_X - 2, WELL_Y + WELL_H + 2);
		g.lineTo(WELL_X + WELL_W + 2, WELL_Y + WELL_H + 2);
		g.lineTo(WELL_X + WELL_W + 2, WELL_Y);
		// Side panels.
		g.lineStyle(1, 0x3A4270);
		g.beginFill(0x000000, 0.3);
		g.drawRoundRect(20, 20, 145, 290, 14, 14);
		g.drawRoundRect(385, 20, 145, 130, 14, 14);
		g.drawRoundRect(385, 165, 145, 145, 14, 14);
		g.endFill();
		addChild(back);
		panelLabel("SCORE", 92, 32);
		panelLabel("LINES", 92, 102);
		panelLabel("LEVEL", 92, 172);
		panelLabel("BEST", 92, 242);
		panelLabel("NEXT", 457, 32);
		var help = [
			"Left / Right  move",
			"Up or X  turn",
			"Z  turn back",
			"Down  faster",
			"Space  drop",
			"P  pause"
		];
		for (i in 0...help.length) {
			var tf = Hud.label(help[i], 12, 0xAEB6E0);
			tf.x = 398;
			tf.y = 176 + i * 21;
			addChild(tf);
		}
	}

	function panelLabel(text:String, x:Float, y:Float) {
		var tf = Hud.label(text, 12, 0x8E97CC, true, true);
		Hud.centreOn(tf, x, y);
		addChild(tf);
	}

	function panelValue(x:Float, y:Float):TextField {
		var tf = Hud.label("", 24, 0xFFFFFF, true, true);
		tf.y = y;
		addChild(tf);
		return tf;
	}

	static function card(x:Float, y:Float, w:Float, h:Float):Sprite {
		var s = new Sprite();
		s.mouseEnabled = false;
		s.mouseChildren = false;
		s.graphics.lineStyle(2, 0x7C86C8);
		s.graphics.beginFill(0x151932, 0.93);
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
		titleCard = card(100, 70, 350, 260);
		addLine(titleCard, "FALLING BLOCKS", 36, 0xF2D03B, 84, true);
		addLine(titleCard, "Fill whole rows to clear them. Don't let the well fill up!", 13, 0xFFFFFF, 140);
		addLine(titleCard, "Left / Right: move      Up or X: turn      Z: turn back", 12, 0xC8CEF0, 172);
		addLine(titleCard, "Down: fall faster      Space: drop      P: pause", 12, 0xC8CEF0, 194);
		addLine(titleCard, "The pieces fall faster every ten lines.", 12, 0xC8CEF0, 216);
		startHint = addLine(titleCard, "Click or press Space to start", 17, 0x35C6E8, 272, true);
		addChild(titleCard);
	}

	function buildOverCard() {
		overCard = card(125, 110, 300, 180);
		addLine(overCard, "Game over", 32, 0xE5483B, 126, true);
		overScore = addLine(overCard, "", 17, 0xFFFFFF, 186, true);
		overBest = addLine(overCard, "", 16, 0xF2D03B, 214);
		overHint = addLine(overCard, "Click or press Space to play again", 14, 0x35C6E8, 252, true);
		overCard.visible = false;
		addChild(overCard);
	}

	function buildPauseCard() {
		pauseCard = card(165, 160, 220, 80);
		addLine(pauseCard, "Paused", 26, 0xFFFFFF, 168, true);
		addLine(pauseCard, "Press P to go on", 13, 0xC8CEF0, 206);
		pauseCard.visible = false;
		addChild(pauseCard);
	}
}
