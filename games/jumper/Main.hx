package;

import Course;
import Hud;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.KeyboardEvent;
import flash.events.MouseEvent;
import flash.net.SharedObject;
import flash.text.TextField;

// 跳跳熊 (Jumpy Bear): climb ever higher from ledge to ledge while the sky scrolls up behind you.
class Main extends Sprite {
	static inline var W = 550;
	static inline var H = 400;
	static inline var COYOTE = 5;
	static inline var BUFFER = 6;

	static inline var TITLE = 0;
	static inline var PLAYING = 1;
	static inline var OVER = 2;

	static var LEFT_KEYS = [37, 65];
	static var RIGHT_KEYS = [39, 68];
	static var JUMP_KEYS = [38, 87, 32];

	var state = TITLE;
	var held:Map<Int, Bool> = new Map();
	var jumpBuffer = 0;

	var sky:Shape;
	var clouds:Array<Shape> = [];
	var world:Sprite;
	var ledgeShapes:Sprite;
	var coinShapes:Sprite;
	var bear:Shape;
	var popups:Array<TextField> = [];

	var ledges:Array<Ledge> = [];
	var coins:Array<{ledge:Ledge, shape:Shape}> = [];
	var camY = 0.0;
	var px = 0.0;
	var py = 0.0;
	var vx = 0.0;
	var vy = 0.0;
	var standing:Ledge = null;
	var airFrames = 0;
	var squash = 0;
	var started = false;

	var topMetres = 0;
	var coinCount = 0;
	var score = 0;
	var best = 0;
	var bestBefore = 0;
	var clock = 0;
	var waitFrames = 0;
	var saved:SharedObject;

	var scoreText:TextField;
	var detailText:TextField;
	var bestText:TextField;
	var card:Sprite;
	var cardTitle:TextField;
	var cardLines:TextField;
	var cardHint:TextField;

	static function main() {
		flash.Lib.current.addChild(new Main());
	}

	function new() {
		super();
		sky = new Shape();
		Hud.verticalGradient(sky.graphics, 0, 0, W, H, 0x4FA3E0, 0xBFE6FF);
		addChild(sky);
		for (i in 0...6) {
			var c = new Shape();
			// One fill per puff: overlapping parts of a single fill would cut holes in each other.
			for (puff in [[0, 10, 70, 24], [20, 0, 50, 30], [45, 8, 50, 24]]) {
				c.graphics.beginFill(0xF2F8FF);
				c.graphics.drawEllipse(puff[0], puff[1], puff[2], puff[3]);
				c.graphics.endFill();
			}
			c.x = Math.random() * W;
			c.y = i * 70 + Math.random() * 30;
			addChild(c);
			clouds.push(c);
		}
		world = new Sprite();
		world.mouseEnabled = false;
		world.mouseChildren = false;
		addChild(world);
		ledgeShapes = new Sprite();
		coinShapes = new Sprite();
		world.addChild(ledgeShapes);
		world.addChild(coinShapes);
		bear = new Shape();
		drawBear();
		world.addChild(bear);

		var bar = new Shape();
		bar.graphics.beginFill(0x10243A, 0.35);
		bar.graphics.drawRect(0, 0, W, 50);
		bar.graphics.endFill();
		addChild(bar);
		scoreText = Hud.label("", 18, 0xFFFFFF, true);
		scoreText.x = 12;
		scoreText.y = 6;
		detailText = Hud.label("", 13, 0xF4F8FF, true);
		detailText.x = 12;
		detailText.y = 30;
		bestText = Hud.label("", 14, 0xFFFFFF, true);
		bestText.y = 8;
		addChild(scoreText);
		addChild(detailText);
		addChild(bestText);

		card = new Sprite();
		card.mouseEnabled = false;
		card.mouseChildren = false;
		card.graphics.lineStyle(3, 0xFFB347);
		card.graphics.beginFill(0x2B1D12, 0.9);
		card.graphics.drawRoundRect(105, 70, 340, 180, 24, 24);
		card.graphics.endFill();
		cardTitle = Hud.label("", 32, 0xFFFFFF, true, true);
		cardLines = Hud.label("", 14, 0xFFE9C8, false, true);
		cardHint = Hud.label("", 15, 0xFFB347, true, true);
		card.addChild(cardTitle);
		card.addChild(cardLines);
		card.addChild(cardHint);
		addChild(card);

		best = loadBest();
		showTitle();

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(MouseEvent.MOUSE_DOWN, function(_) begin());
			stage.addEventListener(KeyboardEvent.KEY_DOWN, keyDown);
			stage.addEventListener(KeyboardEvent.KEY_UP, function(e:KeyboardEvent) held.set(e.keyCode, false));
		});
	}

	function drawBear() {
		var g = bear.graphics;
		g.clear();
		// Drawn with its feet at (0, 0), facing right.
		g.beginFill(0x8B5A2B);
		g.drawCircle(-9, -29, 6);
		g.drawCircle(9, -29, 6);
		g.endFill();
		g.beginFill(0xE8B98A);
		g.drawCircle(-9, -29, 3);
		g.drawCircle(9, -29, 3);
		g.endFill();
		g.lineStyle(1.5, 0x5A3517);
		g.beginFill(0xA0672F);
		g.drawRoundRect(-13, -26, 26, 26, 18, 18);
		g.endFill();
		g.lineStyle();
		g.beginFill(0xE8B98A);
		g.drawEllipse(0, -16, 13, 9);
		g.endFill();
		g.beginFill(0x2A1A0E);
		g.drawCircle(-2, -19, 2);
		g.drawCircle(8, -19, 2);
		g.drawCircle(7, -13, 2.2);
		g.endFill();
		g.beginFill(0x5A3517);
		g.drawRoundRect(-11, -3, 9, 4, 4, 4);
		g.drawRoundRect(2, -3, 9, 4, 4, 4);
		g.endFill();
	}

	function keyDown(e:KeyboardEvent) {
		var code:Int = e.keyCode;
		var fresh = held.get(code) != true;
		held.set(code, true);
		if (state != PLAYING) {
			if (fresh && (code == 32 || code == 13))
				begin();
			return;
		}
		if (fresh && JUMP_KEYS.indexOf(code) >= 0)
			jumpBuffer = BUFFER;
	}

	function anyHeld(keys:Array<Int>):Bool {
		for (k in keys)
			if (held.get(k) == true)
				return true;
		return false;
	}

	function showCard(title:String, lines:String, hint:String) {
		cardTitle.text = title;
		cardLines.text = lines;
		cardHint.text = hint;
		Hud.centreOn(cardTitle, W / 2, 84);
		Hud.centreOn(cardLines, W / 2, 136);
		Hud.centreOn(cardHint, W / 2, 212);
		card.visible = true;
	}

	function showTitle() {
		state = TITLE;
		resetWorld();
		showCard("JUMPY BEAR", "Left / Right arrows (or A / D) to run,\nUp or Space to jump. Grab the coins,\nclimb as high as you can and don't fall!",
			"Press Space or click to start");
		updateHud();
	}

	// The start: a wide ground ledge with the bear on it, and ledges up to the top of the screen.
	function resetWorld() {
		ledges = [];
		for (c in coins)
			coinShapes.removeChild(c.shape);
		coins = [];
		camY = 0;
		ledges.push(new Ledge(W / 2, Course.START_Y, W - 8, 0, false));
		fillAbove();
		px = W / 2;
		py = Course.START_Y;
		vx = 0;
		vy = 0;
		standing = ledges[0];
		airFrames = 0;
		topMetres = 0;
		coinCount = 0;
		score = 0;
		started = false;
		jumpBuffer = 0;
		draw();
	}

	function fillAbove() {
		while (ledges[ledges.length - 1].y > camY - 120) {
			var l = Course.next(ledges[ledges.length - 1], W, Math.random);
			ledges.push(l);
			if (l.coin) {
				var s = new Shape();
				s.graphics.lineStyle(1.5, 0xB8860B);
				s.graphics.beginFill(0xFFD23F);
				s.graphics.drawCircle(0, 0, 8);
				s.graphics.endFill();
				s.graphics.lineStyle(1.5, 0xFFF3B0);
				s.graphics.moveTo(-2, -4);
				s.graphics.lineTo(-2, 4);
				coinShapes.addChild(s);
				coins.push({ledge: l, shape: s});
			}
		}
	}

	function begin() {
		if (state == PLAYING || (state == OVER && waitFrames > 0))
			return;
		resetWorld();
		bestBefore = best;
		state = PLAYING;
		card.visible = false;
		updateHud();
	}

	function tick(_) {
		clock++;
		for (i in 0...clouds.length) {
			var c = clouds[i];
			c.x += 0.2 + i * 0.05;
			if (c.x > W)
				c.x = -100;
		}
		updatePopups();
		switch (state) {
			case PLAYING:
				play();
			case TITLE:
				cardHint.alpha = 0.55 + 0.45 * Math.sin(clock / 5);
				// The bear hops on the spot while it waits, never as high as the first ledge.
				if (standing != null) {
					vy = -6;
					standing = null;
				}
				move(false);
			default:
				if (waitFrames > 0 && --waitFrames == 0)
					cardHint.text = "Press Space or click to play again";
				cardHint.alpha = 0.55 + 0.45 * Math.sin(clock / 5);
		}
		draw();
	}

	function play() {
		var left = anyHeld(LEFT_KEYS);
		var right = anyHeld(RIGHT_KEYS);
		if (left != right) {
			vx += left ? -0.9 : 0.9;
			vx = Hud.clamp(vx, -Course.RUN_SPEED, Course.RUN_SPEED);
		} else {
			vx *= 0.75;
		}
		if (jumpBuffer > 0)
			jumpBuffer--;
		// Jump on a fresh press (remembered a few frames) or while the key is held, just after leaving a ledge too.
		if ((jumpBuffer > 0 || anyHeld(JUMP_KEYS)) && airFrames <= COYOTE && vy >= 0) {
			vy = -Course.JUMP_SPEED;
			standing = null;
			airFrames = COYOTE + 1;
			jumpBuffer = 0;
			started = true;
		}
		move(true);

		var m = Course.metres(py);
		if (m > topMetres)
			topMetres = m;
		if (started)
			camY -= Course.scrollSpeed(topMetres);
		// Keep the bear out of the top third.
		if (py - camY < 150)
			camY = py - 150;
		fillAbove();
		dropBelow();
		collectCoins();
		score = Course.score(topMetres, coinCount);
		updateHud();
		if (py - camY > H + 40)
			gameOver();
	}

	function move(steer:Bool) {
		for (l in ledges)
			l.drift(W);
		if (standing != null) {
			// A moving ledge carries the bear along; walking off its end starts a fall.
			px += standing.vx;
			if (Math.abs(px - standing.x) > standing.width / 2 + Course.FOOT) {
				standing = null;
			}
		}
		if (steer)
			px += vx;
		if (px < -15)
			px += W + 30;
		if (px > W + 15)
			px -= W + 30;
		if (standing == null) {
			airFrames++;
			vy += Course.GRAVITY;
			var y0 = py;
			py += vy;
			if (vy >= 0) {
				for (l in ledges)
					if (Course.lands(l, px, y0, py)) {
						py = l.y;
						vy = 0;
						standing = l;
						airFrames = 0;
						squash = 6;
						break;
					}
			}
		} else {
			airFrames = 0;
			py = standing.y;
		}
	}

	function dropBelow() {
		while (ledges.length > 0 && ledges[0].y > camY + H + 60)
			ledges.shift();
		var i = coins.length;
		while (i-- > 0) {
			if (coins[i].ledge.y > camY + H + 60) {
				coinShapes.removeChild(coins[i].shape);
				coins.splice(i, 1);
			}
		}
	}

	function collectCoins() {
		var i = coins.length;
		while (i-- > 0) {
			var c = coins[i];
			var cx = c.ledge.x;
			var cy = c.ledge.y - 26;
			var dx = cx - px;
			var dy = cy - (py - 15);
			if (dx * dx + dy * dy < 24 * 24) {
				coinCount++;
				popup("+10", cx, cy - camY);
				coinShapes.removeChild(c.shape);
				coins.splice(i, 1);
			}
		}
	}

	function draw() {
		var g = ledgeShapes.graphics;
		g.clear();
		for (l in ledges) {
			var sy = l.y - camY;
			if (sy < -20 || sy > H + 20)
				continue;
			var left = l.x - l.width / 2;
			g.lineStyle(1, 0x4A2E14);
			g.beginFill(l.vx != 0 ? 0x6A7FA8 : 0x8A5A2E);
			g.drawRoundRect(left, sy, l.width, 12, 8, 8);
			g.endFill();
			g.lineStyle();
			g.beginFill(l.vx != 0 ? 0xA8E0FF : 0x6CCB4A);
			g.drawRoundRect(left, sy - 1, l.width, 5, 5, 5);
			g.endFill();
		}
		var spin = Math.abs(Math.cos(clock / 8));
		for (c in coins) {
			c.shape.x = c.ledge.x;
			c.shape.y = c.ledge.y - 26 - camY + Math.sin(clock / 6 + c.ledge.y) * 2;
			c.shape.scaleX = 0.25 + 0.75 * spin;
		}
		bear.x = px;
		bear.y = py - camY;
		if (vx < -0.5)
			bear.scaleX = -1;
		else if (vx > 0.5)
			bear.scaleX = 1;
		if (squash > 0) {
			squash--;
			bear.scaleY = 1 - squash * 0.04;
		} else {
			bear.scaleY = standing == null ? 1.06 : 1;
		}
		// The sky darkens towards dusk the higher the bear climbs; the clouds drift down as it goes up.
		sky.alpha = Math.max(0.35, 1 - topMetres / 1500);
		for (i in 0...clouds.length) {
			var c = clouds[i];
			var y = (i * 70 - camY * 0.3) % (H + 40);
			c.y = y < -40 ? y + H + 40 : y - 40;
		}
	}

	function gameOver() {
		state = OVER;
		waitFrames = 30;
		if (score > best) {
			best = score;
			saveBest();
		}
		showCard(score > bestBefore ? "New best!" : "Oops, you fell!", "Score " + score + "     Best " + best + "\nHeight " + topMetres + " m,  "
			+ coinCount + (coinCount == 1 ? " coin" : " coins"),
			"");
		updateHud();
	}

	function popup(text:String, x:Float, y:Float) {
		var tf = Hud.label(text, 16, 0xFFF3B0, true, true);
		Hud.centreOn(tf, Hud.clamp(x, 30, W - 30), y - 16);
		addChildAt(tf, getChildIndex(card));
		popups.push(tf);
	}

	function updatePopups() {
		var i = popups.length;
		while (i-- > 0) {
			var tf = popups[i];
			tf.y -= 1.2;
			tf.alpha -= 0.03;
			if (tf.alpha <= 0) {
				removeChild(tf);
				popups.splice(i, 1);
			}
		}
	}

	function updateHud() {
		var playing = state != TITLE;
		scoreText.visible = playing;
		detailText.visible = playing;
		scoreText.text = "Score " + score;
		detailText.text = topMetres + " m   " + coinCount + (coinCount == 1 ? " coin" : " coins");
		bestText.text = "Best " + best;
		bestText.x = W - 12 - bestText.width;
	}

	function saveBest() {
		if (saved == null)
			return;
		try {
			saved.data.best = best;
			saved.flush();
		} catch (e:Dynamic) {}
	}

	function loadBest():Int {
		try {
			saved = SharedObject.getLocal("jumper");
			var value:Dynamic = saved.data.best;
			if (value != null)
				return Std.int(value);
		} catch (e:Dynamic) {}
		return 0;
	}
}
