package;

import Hud;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.MouseEvent;
import flash.net.SharedObject;
import flash.text.TextField;

// The card in the middle of the screen: a title, up to three lines and a hint, for the title and game over.
private class Panel extends Sprite {
	static inline var TOP = 104;
	static inline var HEIGHT = 196;

	var title:TextField;
	var lines:Array<TextField> = [];
	var hint:TextField;

	public function new(accent:Int) {
		super();
		mouseEnabled = false;
		mouseChildren = false;
		graphics.beginFill(0x000000, 0.45);
		graphics.drawRect(0, 0, Hud.WIDTH, Hud.HEIGHT);
		graphics.endFill();
		graphics.lineStyle(2, accent);
		graphics.beginFill(0x1B2330, 0.94);
		graphics.drawRoundRect(70, TOP, Hud.WIDTH - 140, HEIGHT, 22, 22);
		graphics.endFill();
		title = Hud.label("", 30, 0xFFFFFF, true, true);
		addChild(title);
		for (i in 0...3) {
			var tf = Hud.label("", 14, 0xDDE3EA, false, true);
			lines.push(tf);
			addChild(tf);
		}
		hint = Hud.label("", 15, accent, true, true);
		addChild(hint);
	}

	public function show(titleText:String, texts:Array<String>, hintText:String) {
		title.text = titleText;
		Hud.centreOn(title, Hud.WIDTH / 2, TOP + 14);
		for (i in 0...lines.length) {
			lines[i].text = i < texts.length ? texts[i] : "";
			Hud.centreOn(lines[i], Hud.WIDTH / 2, TOP + 66 + i * 22);
		}
		hint.text = hintText;
		Hud.centreOn(hint, Hud.WIDTH / 2, TOP + HEIGHT - 36);
		visible = true;
	}

	// The hint breathes, so that the screen is alive while it waits.
	public function pulse(frame:Int) {
		hint.alpha = 0.6 + 0.4 * Math.cos(frame * 0.21);
	}
}

// Minesweeper: open every cell that hides no mine. Numbers tell how many mines touch a cell; flags mark the
// ones you are sure of. The best score is the fastest clear, in seconds.
class Main extends Sprite {
	static inline var COLS = 16;
	static inline var ROWS = 12;
	static inline var MINES = 30;
	static inline var CELL = 28;
	static inline var LEFT = 51;
	static inline var TOP = 50;
	static inline var KEY_ENTER = 13;
	static inline var KEY_F = 70;
	// Frames after a game ends before a click starts the next one, so that the last click is not taken twice.
	static inline var OVER_PAUSE = 24;
	static var NUMBER_COLOURS = [0, 0x1F5FD0, 0x1E8C3A, 0xD0322B, 0x3A2A9A, 0x8A2020, 0x1C8A8A, 0x202020, 0x707070];

	static inline var TITLE = 0;
	static inline var PLAYING = 1;
	static inline var OVER = 2;

	var mode = TITLE;
	var field:Field;
	var cells:Array<Shape> = [];
	var numbers:Array<TextField> = [];
	var board:Sprite;
	var hover:Shape;
	var panel:Panel;
	var flagMode = false;
	var startedAt = -1;
	var seconds = 0;
	var overFrames = 0;
	var frame = 0;
	var demoFrames = 0;
	var best = 0;
	var store:SharedObject;

	var timeText:TextField;
	var bestText:TextField;
	var cellsText:TextField;
	var minesText:TextField;
	var counterIcon:Shape;
	var flagBadge:Sprite;
	var flagBadgeText:TextField;

	static function main() {
		flash.Lib.current.addChild(new Main());
	}

	function new() {
		super();
		var back = new Shape();
		Hud.verticalGradient(back.graphics, 0, 0, Hud.WIDTH, Hud.HEIGHT, 0x2A3A52, 0x141C28);
		back.graphics.beginFill(0x000000, 0.3);
		back.graphics.drawRect(0, 0, Hud.WIDTH, 40);
		back.graphics.endFill();
		back.graphics.beginFill(0x0C1118);
		back.graphics.drawRoundRect(LEFT - 5, TOP - 5, COLS * CELL + 10, ROWS * CELL + 10, 10, 10);
		back.graphics.endFill();
		addChild(back);

		board = new Sprite();
		board.x = LEFT;
		board.y = TOP;
		board.mouseEnabled = false;
		board.mouseChildren = false;
		addChild(board);
		for (i in 0...COLS * ROWS) {
			var s = new Shape();
			s.x = (i % COLS) * CELL;
			s.y = Std.int(i / COLS) * CELL;
			board.addChild(s);
			cells.push(s);
			numbers.push(null);
		}
		hover = new Shape();
		hover.graphics.lineStyle(2, 0xFFD34D);
		hover.graphics.drawRect(1, 1, CELL - 2, CELL - 2);
		hover.visible = false;
		board.addChild(hover);

		timeText = Hud.label("", 16, 0xFFFFFF, true);
		timeText.x = 12;
		timeText.y = 9;
		bestText = Hud.label("", 13, 0xB8C6DC);
		bestText.x = 112;
		bestText.y = 11;
		cellsText = Hud.label("", 16, 0xFFD34D, true, true);
		minesText = Hud.label("", 16, 0xFFFFFF, true);
		minesText.y = 9;
		counterIcon = new Shape();
		counterIcon.graphics.beginFill(0xFFFFFF, 0.85);
		counterIcon.graphics.drawCircle(0, 0, 9);
		counterIcon.graphics.endFill();
		drawMine(counterIcon.graphics, 0, 0, 0.75);
		counterIcon.y = 20;
		addChild(counterIcon);
		addChild(timeText);
		addChild(bestText);
		addChild(cellsText);
		addChild(minesText);

		flagBadge = new Sprite();
		flagBadge.x = 372;
		flagBadge.y = 7;
		flagBadgeText = Hud.label("F flag", 13, 0xFFFFFF, true);
		flagBadgeText.x = 26;
		flagBadgeText.y = 4;
		flagBadge.addChild(flagBadgeText);
		addChild(flagBadge);

		loadBest();
		panel = new Panel(0xFFD34D);
		addChild(panel);
		showTitle();

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(MouseEvent.MOUSE_DOWN, press);
			stage.addEventListener(MouseEvent.MOUSE_MOVE, function(_) updateHover());
			Hud.trackKeys(stage, key);
		});
	}

	function loadBest() {
		try {
			store = SharedObject.getLocal("minesweeper");
			var saved:Dynamic = store.data.best;
			if (saved != null && Std.int(saved) > 0)
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

	function showTitle() {
		mode = TITLE;
		newDemo();
		panel.show("Minesweeper", [
			"Click a cell to open it: a number counts the mines around it.",
			"Shift+click plants a flag, or press F to switch to flag mode.",
			best > 0 ? "Fastest clear: " + best + " s" : "Clear the field as fast as you can."
		], "Click or press Space to start");
		updateHud();
	}

	// The title screen sweeps a field of its own, a cell at a time.
	function newDemo() {
		field = new Field(COLS, ROWS, MINES);
		field.lay(Std.int(Math.random() * COLS * ROWS));
		demoFrames = 0;
		drawAll();
	}

	function demoStep() {
		demoFrames++;
		if (demoFrames % 5 != 0)
			return;
		if (field.opened > (COLS * ROWS - MINES) * 0.6) {
			newDemo();
			return;
		}
		var shut = [];
		for (i in 0...field.size())
			if (field.stateOf(i) == Field.HIDDEN && !field.isMine(i))
				shut.push(i);
		if (shut.length == 0)
			return;
		var pick = shut[Std.int(Math.random() * shut.length)];
		if (Math.random() < 0.2 && field.minesAround(pick) > 0) {
			// Now and then the demo flags a mine next to the cell instead.
			for (j in field.neighbours(pick))
				if (field.isMine(j) && field.stateOf(j) == Field.HIDDEN) {
					field.toggleFlag(j);
					drawCell(j);
					return;
				}
		}
		for (i in field.open(pick))
			drawCell(i);
	}

	function start() {
		mode = PLAYING;
		field = new Field(COLS, ROWS, MINES);
		startedAt = -1;
		seconds = 0;
		panel.visible = false;
		drawAll();
		updateHud();
		updateHover();
	}

	function press(e:MouseEvent) {
		switch (mode) {
			case TITLE:
				start();
			case OVER:
				if (overFrames >= OVER_PAUSE)
					start();
			default:
				if (flagBadge.hitTestPoint(stage.mouseX, stage.mouseY)) {
					setFlagMode(!flagMode);
					return;
				}
				var i = cellAt(mouseX, mouseY);
				if (i >= 0)
					play(i, e.shiftKey != flagMode);
		}
	}

	function key(code:Int) {
		if (code == KEY_F) {
			setFlagMode(!flagMode);
		} else if (code == Hud.KEY_SPACE || code == KEY_ENTER) {
			if (mode == TITLE || (mode == OVER && overFrames >= OVER_PAUSE))
				start();
		}
	}

	function setFlagMode(on:Bool) {
		flagMode = on;
		updateHud();
	}

	function cellAt(x:Float, y:Float):Int {
		var c = Math.floor((x - LEFT) / CELL);
		var r = Math.floor((y - TOP) / CELL);
		return c >= 0 && c < COLS && r >= 0 && r < ROWS ? r * COLS + c : -1;
	}

	// Opens cell i, or flags it; a click on an open number whose mines are all flagged opens its neighbours.
	function play(i:Int, flag:Bool) {
		var changed:Array<Int>;
		if (field.stateOf(i) == Field.OPEN) {
			changed = field.openAround(i);
		} else if (flag) {
			changed = field.toggleFlag(i) ? [i] : [];
		} else {
			changed = field.open(i);
		}
		if (field.laid && startedAt < 0)
			startedAt = flash.Lib.getTimer();
		for (j in changed)
			drawCell(j);
		if (field.isOver())
			finish();
		updateHud();
		updateHover();
	}

	function finish() {
		mode = OVER;
		overFrames = 0;
		seconds = elapsedSeconds();
		// Show the whole field: every mine, and the flags that were wrong.
		for (i in 0...field.size())
			if (field.isMine(i) || field.stateOf(i) == Field.FLAGGED)
				drawCell(i, true);
		hover.visible = false;
	}

	function showResult() {
		var safe = COLS * ROWS - field.mines;
		if (field.isWon()) {
			var record = best == 0 || seconds < best;
			if (record) {
				best = seconds;
				saveBest();
			}
			panel.show("Field cleared!", [
				"All " + safe + " safe cells opened in " + seconds + " s.",
				record ? "A new best time!" : "Best time: " + best + " s",
			], "Click or press Space to play again");
		} else {
			panel.show("Boom!", [
				"You opened " + field.opened + " of " + safe + " safe cells in " + seconds + " s.",
				best > 0 ? "Best time: " + best + " s" : "Clear the whole field to set a best time.",
			], "Click or press Space to play again");
		}
		updateHud();
	}

	function elapsedSeconds():Int {
		if (startedAt < 0)
			return 0;
		var s = Std.int((flash.Lib.getTimer() - startedAt) / 1000);
		return s < 1 ? 1 : s;
	}

	function tick(_) {
		frame++;
		if (panel.visible)
			panel.pulse(frame);
		switch (mode) {
			case TITLE:
				demoStep();
			case PLAYING:
				var s = elapsedSeconds();
				if (s != seconds) {
					seconds = s;
					updateHud();
				}
			default:
				overFrames++;
				if (overFrames == OVER_PAUSE)
					showResult();
		}
	}

	function updateHover() {
		var i = mode == PLAYING ? cellAt(mouseX, mouseY) : -1;
		hover.visible = i >= 0 && field.stateOf(i) != Field.OPEN;
		if (hover.visible) {
			hover.x = (i % COLS) * CELL;
			hover.y = Std.int(i / COLS) * CELL;
		}
	}

	function updateHud() {
		timeText.text = "Time " + (mode == TITLE ? 0 : seconds) + " s";
		bestText.text = best > 0 ? "Best " + best + " s" : "Best -";
		var safe = COLS * ROWS - field.mines;
		cellsText.text = "Cells " + (mode == TITLE ? 0 : field.opened) + " / " + safe;
		Hud.centreOn(cellsText, 268, 9);
		var left = field.isWon() ? 0 : field.mines - field.flags;
		minesText.text = "" + (mode == TITLE ? MINES : left);
		minesText.x = Hud.WIDTH - 14 - minesText.width;
		counterIcon.x = minesText.x - 13;
		var g = flagBadge.graphics;
		g.clear();
		g.lineStyle(1.5, flagMode ? 0xFFD34D : 0x6A7A92);
		g.beginFill(flagMode ? 0x7A2A22 : 0x24303F);
		g.drawRoundRect(0, 0, 92, 26, 10, 10);
		g.endFill();
		g.lineStyle();
		drawFlag(g, 5, 3, 1.1, 0xE8ECF2);
		flagBadgeText.text = flagMode ? "F flag ON" : "F flag";
		flagBadgeText.textColor = flagMode ? 0xFFD34D : 0xC8D2E0;
	}

	function drawAll() {
		for (i in 0...field.size())
			drawCell(i);
	}

	// Draws cell i as the field has it; reveal shows what a finished game uncovers (mines, wrong flags).
	function drawCell(i:Int, reveal = false) {
		var g = cells[i].graphics;
		g.clear();
		var state = field.stateOf(i);
		var number = numbers[i];
		if (number != null)
			number.visible = false;
		var won = reveal && field.isWon();
		if (state == Field.OPEN || (reveal && !won && field.isMine(i) && state != Field.FLAGGED)) {
			var boom = i == field.exploded;
			g.beginFill(boom ? 0xE0402F : 0xD3DAE3);
			g.drawRect(0, 0, CELL, CELL);
			g.endFill();
			g.lineStyle(1, 0xA9B3C0);
			g.moveTo(0, CELL - 0.5);
			g.lineTo(0, 0);
			g.lineTo(CELL - 0.5, 0);
			g.lineStyle();
			if (field.isMine(i)) {
				drawMine(g, CELL / 2, CELL / 2, 1);
			} else if (field.minesAround(i) > 0) {
				if (number == null) {
					number = Hud.label("", 17, 0, true, true);
					board.addChild(number);
					numbers[i] = number;
				}
				var n = field.minesAround(i);
				number.text = "" + n;
				number.textColor = NUMBER_COLOURS[n];
				Hud.centreOn(number, cells[i].x + CELL / 2, cells[i].y + 2);
				number.visible = true;
			}
			return;
		}
		Hud.verticalGradient(g, 0, 0, CELL, CELL, 0x6F83A3, 0x475876);
		g.lineStyle(1, 0x9FB2CF);
		g.moveTo(1, CELL - 2);
		g.lineTo(1, 1);
		g.lineTo(CELL - 2, 1);
		g.lineStyle(1, 0x2A3447);
		g.moveTo(CELL - 1, 1);
		g.lineTo(CELL - 1, CELL - 1);
		g.lineTo(1, CELL - 1);
		g.lineStyle();
		if (state == Field.FLAGGED || (won && field.isMine(i))) {
			drawFlag(g, 7, 5, 1);
			if (reveal && !field.isMine(i)) {
				// A flag on a safe cell: crossed out.
				g.lineStyle(3, 0xFF5040);
				g.moveTo(5, 5);
				g.lineTo(CELL - 5, CELL - 5);
				g.moveTo(CELL - 5, 5);
				g.lineTo(5, CELL - 5);
				g.lineStyle();
			}
		}
	}

	static function drawFlag(g:flash.display.Graphics, x:Float, y:Float, scale:Float, pole = 0x20252C) {
		g.beginFill(pole);
		g.drawRect(x + 6 * scale, y + 1 * scale, 2 * scale, 16 * scale);
		g.drawRect(x + 2 * scale, y + 16 * scale, 10 * scale, 2.5 * scale);
		g.endFill();
		g.beginFill(0xE63B2E);
		g.moveTo(x + 8 * scale, y + 1 * scale);
		g.lineTo(x + 15 * scale, y + 5 * scale);
		g.lineTo(x + 8 * scale, y + 9 * scale);
		g.lineTo(x + 8 * scale, y + 1 * scale);
		g.endFill();
	}

	static function drawMine(g:flash.display.Graphics, cx:Float, cy:Float, scale:Float) {
		g.lineStyle(2 * scale, 0x15181D);
		for (k in 0...4) {
			var a = k * Math.PI / 4;
			var dx = Math.cos(a) * 10 * scale;
			var dy = Math.sin(a) * 10 * scale;
			g.moveTo(cx - dx, cy - dy);
			g.lineTo(cx + dx, cy + dy);
		}
		g.lineStyle();
		g.beginFill(0x15181D);
		g.drawCircle(cx, cy, 7 * scale);
		g.endFill();
		g.beginFill(0xFFFFFF, 0.8);
		g.drawCircle(cx - 2.5 * scale, cy - 2.5 * scale, 2 * scale);
		g.endFill();
	}
}
