package;

import Hud;
import flash.display.Bitmap;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.KeyboardEvent;
import flash.events.MouseEvent;
import flash.net.SharedObject;
import flash.text.TextField;

// 迷宫探险 (Maze Quest): find the way out of a new maze each level before the clock runs out.
// Mazes grow with every level; gems on the way give points and a little time back.
class Main extends Sprite {
	static inline var TOP_BAR = 36;
	static inline var AREA_X = 10;
	static inline var AREA_Y = 42;
	static inline var AREA_W = Levels.BOARD_W;
	static inline var AREA_H = Levels.BOARD_H;
	static inline var FPS = 30;
	static inline var GEM_POINTS = 25;
	static inline var GEM_SECONDS = 3;

	static inline var TITLE = 0;
	static inline var PLAYING = 1;
	static inline var CLEARED = 2;
	static inline var OVER = 3;

	// Arrow keys and W A S D, in Maze direction order (north, east, south, west).
	static var ARROWS = [38, 39, 40, 37];
	static var LETTERS = [87, 68, 83, 65];

	var state = TITLE;
	var held:Map<Int, Bool> = new Map();
	var tapped = -1;
	var lastDir = -1;

	var maze:Maze;
	var picture:MazePicture;
	var bitmap:Bitmap;
	var board:Sprite;
	var player:Shape;
	var exitMark:Shape;
	var cell = 0;
	var exitCell = 0;
	var gems:Map<Int, Bool> = new Map();

	// A move slides the player between two cells over a few frames.
	var moveFrom = 0;
	var moveDir = -1;
	var moveFrame = 0;
	var moveFrames = 4;

	var level = 1;
	var score = 0;
	var best = 0;
	var bestBefore = 0;
	var framesLeft = 0;
	var waitFrames = 0;
	var clock = 0;
	var saved:SharedObject;

	var levelText:TextField;
	var scoreText:TextField;
	var timeText:TextField;
	var bestText:TextField;
	var banner:Sprite;
	var bannerTitle:TextField;
	var bannerLine:TextField;
	var bannerHint:TextField;
	var titleCard:Sprite;
	var titleHint:TextField;
	var runner:Shape;

	// The title screen carves a maze of its own while it waits.
	var demo:Maze;
	var demoPicture:MazePicture;
	var demoBitmap:Bitmap;
	var demoHead = -1;
	var demoRest = 0;

	static function main() {
		flash.Lib.current.addChild(new Main());
	}

	function new() {
		super();
		var back = new Shape();
		Hud.verticalGradient(back.graphics, 0, 0, Hud.WIDTH, Hud.HEIGHT, 0x1A2238, 0x0C1020);
		back.graphics.beginFill(0x000000, 0.35);
		back.graphics.drawRect(0, 0, Hud.WIDTH, TOP_BAR);
		back.graphics.endFill();
		back.graphics.lineStyle(1, 0xF6B04A, 0.8);
		back.graphics.moveTo(0, TOP_BAR);
		back.graphics.lineTo(Hud.WIDTH, TOP_BAR);
		addChild(back);

		board = new Sprite();
		board.mouseEnabled = false;
		board.mouseChildren = false;
		addChild(board);
		bitmap = new Bitmap();
		board.addChild(bitmap);
		exitMark = new Shape();
		board.addChild(exitMark);
		player = new Shape();
		board.addChild(player);

		demoBitmap = new Bitmap();
		addChild(demoBitmap);

		levelText = Hud.label("", 16, 0xF6B04A, true);
		levelText.x = 12;
		levelText.y = 8;
		scoreText = Hud.label("", 16, 0xFFFFFF, true);
		scoreText.x = 120;
		scoreText.y = 8;
		timeText = Hud.label("", 16, 0xFFFFFF, true);
		timeText.x = 270;
		timeText.y = 8;
		bestText = Hud.label("", 14, 0xB8C2D8);
		bestText.y = 10;
		addChild(levelText);
		addChild(scoreText);
		addChild(timeText);
		addChild(bestText);

		titleCard = makeTitleCard();
		addChild(titleCard);
		banner = makeBanner();
		addChild(banner);

		best = loadBest();
		showTitle();

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(MouseEvent.MOUSE_DOWN, function(_) pressStart());
			stage.addEventListener(KeyboardEvent.KEY_DOWN, keyDown);
			stage.addEventListener(KeyboardEvent.KEY_UP, function(e:KeyboardEvent) held.set(e.keyCode, false));
		});
	}

	function makeTitleCard():Sprite {
		var card = new Sprite();
		card.mouseEnabled = false;
		card.mouseChildren = false;
		var g = card.graphics;
		g.lineStyle(2, 0xF6B04A);
		g.beginFill(0x141A2C, 0.9);
		g.drawRoundRect(105, 92, 340, 226, 24, 24);
		g.endFill();
		// The player's own sans-serif face may lack Chinese letters, so the screen shows the English name.
		var name = Hud.label("MAZE QUEST", 34, 0xFFFFFF, true, true);
		Hud.centreOn(name, Hud.WIDTH / 2, 108);
		var english = Hud.label("A new maze every level", 14, 0xF6B04A, true, true);
		Hud.centreOn(english, Hud.WIDTH / 2, 152);
		var how = Hud.label("Arrow keys or W A S D to walk.\nReach the green exit before time runs out.\nGems: +" + GEM_POINTS
			+ " points and +" + GEM_SECONDS + " seconds.", 13, 0xD8DEEA, false, true);
		Hud.centreOn(how, Hud.WIDTH / 2, 184);
		titleHint = Hud.label("Press Space or click to start", 16, 0x7CE08A, true, true);
		Hud.centreOn(titleHint, Hud.WIDTH / 2, 270);
		card.addChild(name);
		card.addChild(english);
		card.addChild(how);
		card.addChild(titleHint);
		// A little explorer runs along the bottom edge of the card.
		runner = new Shape();
		runner.graphics.beginFill(0xFF8A3D);
		runner.graphics.drawCircle(0, 0, 7);
		runner.graphics.endFill();
		runner.graphics.beginFill(0x1A1A1A);
		runner.graphics.drawCircle(2, -2, 1.5);
		runner.graphics.drawCircle(5, -2, 1.5);
		runner.graphics.endFill();
		runner.y = 306;
		card.addChild(runner);
		return card;
	}

	function makeBanner():Sprite {
		var b = new Sprite();
		b.mouseEnabled = false;
		b.mouseChildren = false;
		b.graphics.beginFill(0x000000, 0.45);
		b.graphics.drawRect(0, 0, Hud.WIDTH, Hud.HEIGHT);
		b.graphics.endFill();
		b.graphics.lineStyle(2, 0xF6B04A);
		b.graphics.beginFill(0x141A2C, 0.93);
		b.graphics.drawRoundRect(105, 120, 340, 160, 22, 22);
		b.graphics.endFill();
		bannerTitle = Hud.label("", 28, 0xFFFFFF, true, true);
		bannerLine = Hud.label("", 15, 0xE0E4EE, false, true);
		bannerHint = Hud.label("", 14, 0x7CE08A, true, true);
		b.addChild(bannerTitle);
		b.addChild(bannerLine);
		b.addChild(bannerHint);
		b.visible = false;
		return b;
	}

	function showBanner(title:String, line:String, hint:String) {
		bannerTitle.text = title;
		bannerLine.text = line;
		bannerHint.text = hint;
		Hud.centreOn(bannerTitle, Hud.WIDTH / 2, 136);
		Hud.centreOn(bannerLine, Hud.WIDTH / 2, 186);
		Hud.centreOn(bannerHint, Hud.WIDTH / 2, 240);
		banner.visible = true;
	}

	function showTitle() {
		state = TITLE;
		board.visible = false;
		banner.visible = false;
		titleCard.visible = true;
		demoBitmap.visible = true;
		newDemo();
		updateHud();
	}

	function newDemo() {
		demo = new Maze(36, 24, Math.random);
		demoPicture = new MazePicture(demo, 14);
		demoBitmap.bitmapData = demoPicture.bitmapData;
		demoBitmap.x = Std.int((Hud.WIDTH - demoPicture.bitmapData.width) / 2);
		demoBitmap.y = AREA_Y + 6;
		demoHead = -1;
		demoRest = 0;
		demoPicture.paintCell(0, MazePicture.FLOOR);
	}

	function animateTitle() {
		clock++;
		titleHint.alpha = 0.55 + 0.45 * Math.sin(clock / 5);
		runner.x = 130 + (clock * 3) % 290;
		runner.y = 306 - Math.abs(Math.sin(clock / 3)) * 6;
		if (!demo.finished()) {
			for (_ in 0...4) {
				if (demoHead >= 0)
					demoPicture.paintCell(demoHead, MazePicture.FLOOR);
				demoHead = demo.step();
				if (demoHead < 0)
					break;
				demoPicture.paintCell(demoHead, 0xFF8A3D);
			}
		} else if (++demoRest > 75) {
			newDemo();
		}
	}

	function keyDown(e:KeyboardEvent) {
		var code:Int = e.keyCode;
		var fresh = !held.exists(code) || !held.get(code);
		held.set(code, true);
		if (code == 32 || code == 13) {
			if (fresh)
				pressStart();
			return;
		}
		var dir = directionOf(code);
		if (dir >= 0 && state == PLAYING) {
			lastDir = dir;
			if (fresh)
				tapped = dir;
		}
	}

	function directionOf(code:Int):Int {
		for (d in 0...4)
			if (ARROWS[d] == code || LETTERS[d] == code)
				return d;
		return -1;
	}

	function isHeld(dir:Int):Bool {
		return held.get(ARROWS[dir]) == true || held.get(LETTERS[dir]) == true;
	}

	function pressStart() {
		if (state == TITLE || (state == OVER && waitFrames <= 0))
			newGame();
	}

	function newGame() {
		level = 1;
		score = 0;
		bestBefore = best;
		titleCard.visible = false;
		demoBitmap.visible = false;
		demoBitmap.bitmapData = null;
		banner.visible = false;
		board.visible = true;
		startLevel();
	}

	function startLevel() {
		var cols = Levels.cols(level);
		var rows = Levels.rows(level);
		maze = new Maze(cols, rows, Math.random);
		maze.generate();
		var size = Levels.cellSize(cols, rows);
		if (picture != null)
			picture.bitmapData.dispose();
		picture = new MazePicture(maze, size);
		picture.paintAll();
		bitmap.bitmapData = picture.bitmapData;
		board.x = AREA_X + Std.int((AREA_W - picture.bitmapData.width) / 2);
		board.y = AREA_Y + Std.int((AREA_H - picture.bitmapData.height) / 2);

		cell = 0;
		exitCell = maze.furthestFrom(0);
		gems = new Map();
		var cells = cols * rows;
		var wanted = level + 2;
		var tries = 0;
		while (Lambda.count(gems) < wanted && tries++ < 500) {
			var c = Std.int(Math.random() * cells);
			if (c != 0 && c != exitCell && !gems.exists(c)) {
				gems.set(c, true);
				picture.paintGem(c);
			}
		}

		drawPlayer(size);
		drawExit(size);
		moveDir = -1;
		tapped = -1;
		moveFrames = size > 20 ? 4 : 3;
		placePlayer(picture.centreX(0), picture.centreY(0));
		framesLeft = Levels.seconds(cells) * FPS;
		state = PLAYING;
		banner.visible = false;
		updateHud();
	}

	function drawPlayer(size:Int) {
		var r = Math.max(4, size * 0.3);
		var g = player.graphics;
		g.clear();
		g.lineStyle(Math.max(1, r / 5), 0x8A3A10);
		g.beginFill(0xFF8A3D);
		g.drawCircle(0, 0, r);
		g.endFill();
		g.lineStyle();
		g.beginFill(0x1A1A1A);
		g.drawCircle(-r * 0.35, -r * 0.2, Math.max(1, r * 0.18));
		g.drawCircle(r * 0.35, -r * 0.2, Math.max(1, r * 0.18));
		g.endFill();
	}

	function drawExit(size:Int) {
		var inner = size - picture.wall;
		var g = exitMark.graphics;
		g.clear();
		g.beginFill(0x3CCB5A, 0.35);
		g.drawRect(-inner / 2, -inner / 2, inner, inner);
		g.endFill();
		g.lineStyle(Math.max(1, inner / 10), 0x1E8C3A);
		g.beginFill(0x5BE07A);
		g.drawRect(-inner * 0.3, -inner * 0.3, inner * 0.6, inner * 0.6);
		g.endFill();
		exitMark.x = picture.centreX(exitCell);
		exitMark.y = picture.centreY(exitCell);
	}

	function placePlayer(x:Float, y:Float) {
		player.x = x;
		player.y = y;
	}

	function tick(_) {
		switch (state) {
			case TITLE:
				animateTitle();
			case PLAYING:
				play();
			case CLEARED:
				pulseExit();
				if (--waitFrames <= 0) {
					level++;
					startLevel();
				}
			default:
				if (waitFrames > 0 && --waitFrames == 0)
					bannerHint.text = "Press Space or click to play again";
				bannerHint.alpha = 0.55 + 0.45 * Math.sin(++clock / 5);
		}
	}

	function pulseExit() {
		clock++;
		var s = 0.85 + 0.15 * Math.sin(clock / 4);
		exitMark.scaleX = s;
		exitMark.scaleY = s;
	}

	function play() {
		pulseExit();
		framesLeft--;
		if (moveDir >= 0) {
			moveFrame++;
			var t = moveFrame / moveFrames;
			var target = maze.neighbour(moveFrom, moveDir);
			placePlayer(picture.centreX(moveFrom) + (picture.centreX(target) - picture.centreX(moveFrom)) * t,
				picture.centreY(moveFrom) + (picture.centreY(target) - picture.centreY(moveFrom)) * t);
			if (moveFrame >= moveFrames) {
				var dir = moveDir;
				moveDir = -1;
				arrive(target, dir);
				if (state != PLAYING)
					return;
			}
		}
		if (moveDir < 0)
			tryMove();
		if (framesLeft <= 0) {
			framesLeft = 0;
			gameOver();
		}
		updateHud();
	}

	// Takes a tapped direction first, then the last arrow pressed if still held, then any held arrow.
	function tryMove() {
		var order = [];
		if (tapped >= 0)
			order.push(tapped);
		if (lastDir >= 0 && isHeld(lastDir))
			order.push(lastDir);
		for (d in 0...4)
			if (isHeld(d))
				order.push(d);
		tapped = -1;
		for (d in order) {
			if (maze.isOpen(cell, d)) {
				moveFrom = cell;
				moveDir = d;
				moveFrame = 0;
				picture.paintStep(cell, d, MazePicture.TRAIL);
				return;
			}
		}
	}

	function arrive(target:Int, dir:Int) {
		cell = target;
		if (gems.exists(cell)) {
			gems.remove(cell);
			picture.clearInside(cell);
			picture.paintStep(cell, (dir + 2) % 4, MazePicture.TRAIL);
			score += GEM_POINTS;
			framesLeft += GEM_SECONDS * FPS;
		}
		if (cell == exitCell) {
			var seconds = Math.ceil(framesLeft / FPS);
			var gained = 100 * level + seconds * 10;
			score += gained;
			keepBest();
			state = CLEARED;
			waitFrames = 50;
			showBanner("Level " + level + " cleared!", "+" + (100 * level) + " for the level, +" + (seconds * 10) + " for time left",
				"Next: a bigger maze...");
			updateHud();
		}
	}

	function gameOver() {
		state = OVER;
		keepBest();
		waitFrames = 20;
		showBanner(score > bestBefore ? "New best score!" : "Time's up!", "Level " + level + "   Score " + score + "   Best " + best, "");
	}

	function keepBest() {
		if (score <= best)
			return;
		best = score;
		if (saved != null) {
			try {
				saved.data.best = best;
				saved.flush();
			} catch (e:Dynamic) {}
		}
	}

	function loadBest():Int {
		try {
			saved = SharedObject.getLocal("maze");
			var value:Dynamic = saved.data.best;
			if (value != null)
				return Std.int(value);
		} catch (e:Dynamic) {}
		return 0;
	}

	function updateHud() {
		var playing = state != TITLE;
		levelText.visible = playing;
		scoreText.visible = playing;
		timeText.visible = playing;
		levelText.text = "Level " + level;
		scoreText.text = "Score " + score;
		var seconds = Math.ceil(framesLeft / FPS);
		timeText.text = "Time " + seconds;
		timeText.textColor = seconds <= 10 ? 0xFF6A5A : 0xFFFFFF;
		bestText.text = "Best " + best;
		bestText.x = Hud.WIDTH - 12 - bestText.width;
	}
}
