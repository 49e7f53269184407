package;

import Hud;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.MouseEvent;
import flash.net.SharedObject;
import flash.text.TextField;

// One thing falling from the sky: a star to catch, a gold star worth more, or a bomb to avoid.
private class Faller extends Shape {
	public static inline var STAR = 0;
	public static inline var GOLD = 1;
	public static inline var BOMB = 2;

	public var kind:Int;
	public var speed:Float;
	public var spin:Float;

	public function new(kind:Int, speed:Float) {
		super();
		this.kind = kind;
		this.speed = speed;
		spin = (Math.random() - 0.5) * 8;
		var g = graphics;
		switch (kind) {
			case GOLD:
				g.beginFill(0xFF8000, 0.25);
				g.drawCircle(0, 0, 22);
				g.endFill();
				g.lineStyle(2, 0xFFF2C0);
				g.beginFill(0xFFB020);
				Hud.star(g, 0, 0, 17, 7.5);
				g.endFill();
			case BOMB:
				g.lineStyle(2, 0xFF5030);
				g.moveTo(4, -12);
				g.curveTo(9, -20, 14, -16);
				g.lineStyle();
				g.beginFill(0xFFE070);
				g.drawCircle(14, -16, 3);
				g.endFill();
				g.beginFill(0x3A3F47);
				g.drawCircle(0, 0, 12);
				g.endFill();
				g.beginFill(0xFFFFFF, 0.35);
				g.drawCircle(-4, -4, 4);
				g.endFill();
			default:
				g.lineStyle(1.5, 0xFFFFFF, 0.8);
				g.beginFill(0xFFE24A);
				Hud.star(g, 0, 0, 12, 5.2);
				g.endFill();
		}
	}
}

// Star Catcher: move the basket under the falling stars, and keep away from the bombs.
class Main extends Sprite {
	static inline var BASKET_W = 76;
	static inline var BASKET_Y = 352;
	static inline var GROUND = 384;
	static inline var START_LIVES = 5;

	var sky:Shape;
	var twinkle:Array<Shape> = [];
	var basket:Shape;
	var basketX = Hud.WIDTH / 2;
	var pointerX = -1.0;
	var fallers:Array<Faller> = [];
	var popups:Array<TextField> = [];
	var spawnIn = 30;
	var elapsed = 0;
	var score = 0;
	var best = 0;
	var bestBefore = 0;
	var bestUnsaved = false;
	var saved:SharedObject;
	var waitFrames = 0;
	var clock = 0;
	var lives = START_LIVES;
	var playing = false;
	var scoreText:TextField;
	var bestText:TextField;
	var hearts:Shape;
	var overlay:Overlay;

	static function main() {
		flash.Lib.current.addChild(new Main());
	}

	function new() {
		super();
		sky = new Shape();
		Hud.verticalGradient(sky.graphics, 0, 0, Hud.WIDTH, Hud.HEIGHT, 0x0B1230, 0x2B3F7A);
		// Hills along the bottom.
		sky.graphics.beginFill(0x16233F);
		sky.graphics.moveTo(0, GROUND);
		var x = 0;
		while (x <= Hud.WIDTH) {
			sky.graphics.lineTo(x, GROUND - 10 - Math.sin(x / 60) * 6);
			x += 10;
		}
		sky.graphics.lineTo(Hud.WIDTH, Hud.HEIGHT);
		sky.graphics.lineTo(0, Hud.HEIGHT);
		sky.graphics.endFill();
		addChild(sky);
		for (i in 0...40) {
			var s = new Shape();
			s.graphics.beginFill(0xFFFFFF);
			s.graphics.drawCircle(0, 0, Math.random() < 0.2 ? 1.6 : 1);
			s.graphics.endFill();
			s.x = Math.random() * Hud.WIDTH;
			s.y = Math.random() * (GROUND - 60);
			s.alpha = 0.3 + Math.random() * 0.7;
			addChild(s);
			twinkle.push(s);
		}

		basket = new Shape();
		drawBasket();
		basket.x = basketX;
		basket.y = BASKET_Y;
		addChild(basket);

		scoreText = Hud.label("", 16, 0xFFFFFF, true);
		scoreText.x = 12;
		scoreText.y = 8;
		bestText = Hud.label("", 13, 0xB8C6E8);
		bestText.x = 12;
		bestText.y = 30;
		hearts = new Shape();
		addChild(scoreText);
		addChild(bestText);
		addChild(hearts);

		overlay = new Overlay(0xFFB020);
		addChild(overlay);
		overlay.show("Star Catcher", "Catch the stars, dodge the bombs.\nMove with the mouse or the arrow keys.", "Click or press Space to start");
		best = loadBest();
		updateHud();

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(MouseEvent.MOUSE_DOWN, function(_) start());
			stage.addEventListener(MouseEvent.MOUSE_MOVE, function(_) pointerX = mouseX);
			Hud.trackKeys(stage, function(code) {
				if (code == Hud.KEY_SPACE)
					start();
			});
		});
	}

	function drawBasket() {
		var g = basket.graphics;
		var half = BASKET_W / 2;
		g.lineStyle(2, 0x7A3A00);
		g.beginFill(0xD66000);
		g.moveTo(-half, 0);
		g.lineTo(half, 0);
		g.lineTo(half - 10, 26);
		g.lineTo(-half + 10, 26);
		g.lineTo(-half, 0);
		g.endFill();
		// Woven bands.
		g.lineStyle(2, 0xFFA640, 0.8);
		g.moveTo(-half + 4, 9);
		g.lineTo(half - 4, 9);
		g.moveTo(-half + 7, 18);
		g.lineTo(half - 7, 18);
		g.lineStyle(3, 0xFFC070);
		g.moveTo(-half - 2, 0);
		g.lineTo(half + 2, 0);
	}

	function start() {
		if (playing || waitFrames > 0)
			return;
		for (f in fallers)
			removeChild(f);
		fallers = [];
		score = 0;
		lives = START_LIVES;
		elapsed = 0;
		spawnIn = 20;
		bestBefore = best;
		playing = true;
		overlay.hide();
		updateHud();
	}

	function updateHud() {
		scoreText.text = "Score " + score;
		bestText.text = "Best " + best;
		var g = hearts.graphics;
		g.clear();
		for (i in 0...START_LIVES) {
			// A heart as one outline: overlapping pieces in one fill would cancel each other out.
			var cx = Hud.WIDTH - 20 - i * 22;
			g.beginFill(i < lives ? 0xFF5A5A : 0x4A5570);
			g.moveTo(cx, 28);
			g.curveTo(cx - 10, 21, cx - 9.5, 15);
			g.curveTo(cx - 8.5, 9, cx - 4, 9.5);
			g.curveTo(cx - 1, 10, cx, 13.5);
			g.curveTo(cx + 1, 10, cx + 4, 9.5);
			g.curveTo(cx + 8.5, 9, cx + 9.5, 15);
			g.curveTo(cx + 10, 21, cx, 28);
			g.endFill();
		}
	}

	function tick(_) {
		clock++;
		for (s in twinkle) {
			if (Math.random() < 0.02)
				s.alpha = 0.3 + Math.random() * 0.7;
		}
		updatePopups();
		if (bestUnsaved && clock % 30 == 0)
			saveBest();
		if (!playing) {
			attract();
			return;
		}
		elapsed++;
		moveBasket();
		spawnIn--;
		if (spawnIn <= 0)
			spawn();
		var i = fallers.length;
		while (i-- > 0) {
			var f = fallers[i];
			f.y += f.speed;
			f.rotation += f.spin;
			if (caught(f)) {
				land(f, true);
				drop(i);
			} else if (f.y > GROUND) {
				land(f, false);
				drop(i);
			}
			if (!playing)
				return;
		}
	}

	// Between rounds stars keep falling behind the card and the basket idly follows the lowest one.
	function attract() {
		if (waitFrames > 0)
			waitFrames--;
		if (--spawnIn <= 0) {
			var f = new Faller(Math.random() < 0.15 ? Faller.GOLD : Faller.STAR, 2 + Math.random() * 1.5);
			f.x = 30 + Math.random() * (Hud.WIDTH - 60);
			f.y = -20;
			addChildAt(f, getChildIndex(basket));
			fallers.push(f);
			spawnIn = 22 + Std.int(Math.random() * 16);
		}
		var lowest:Faller = null;
		var i = fallers.length;
		while (i-- > 0) {
			var f = fallers[i];
			f.y += f.speed;
			f.rotation += f.spin;
			if (f.y > GROUND)
				drop(i);
			else if (lowest == null || f.y > lowest.y)
				lowest = f;
		}
		if (lowest != null)
			basketX = Hud.clamp(basketX + Hud.clamp((lowest.x - basketX) * 0.08, -4, 4), BASKET_W / 2, Hud.WIDTH - BASKET_W / 2);
		basket.x = basketX;
	}

	function moveBasket() {
		// The basket eases towards the pointer once it moved; the arrow keys take over until it moves again.
		var target = basketX;
		if (Hud.isDown(Hud.KEY_LEFT) || Hud.isDown(Hud.KEY_RIGHT)) {
			target += Hud.isDown(Hud.KEY_LEFT) ? -11 : 11;
			pointerX = -1;
		} else if (pointerX >= 0) {
			target = basketX + (pointerX - basketX) * 0.5;
		}
		basketX = Hud.clamp(target, BASKET_W / 2, Hud.WIDTH - BASKET_W / 2);
		basket.x = basketX;
	}

	// The sky gets busier and faster the longer a round lasts.
	function spawn() {
		var level = Math.min(elapsed / 900, 1.0);
		var r = Math.random();
		var kind = r < 0.08 ? Faller.GOLD : (r < 0.08 + 0.14 + 0.12 * level ? Faller.BOMB : Faller.STAR);
		var f = new Faller(kind, 2.4 + level * 3 + Math.random() * 1.5);
		f.x = 20 + Math.random() * (Hud.WIDTH - 40);
		f.y = -20;
		addChildAt(f, getChildIndex(basket));
		fallers.push(f);
		spawnIn = Std.int(30 - level * 16 + Math.random() * 10);
	}

	function caught(f:Faller):Bool {
		return f.y >= BASKET_Y - 6 && f.y <= BASKET_Y + 14 && Math.abs(f.x - basketX) <= BASKET_W / 2;
	}

	function land(f:Faller, inBasket:Bool) {
		switch (f.kind) {
			case Faller.STAR:
				if (inBasket)
					gain(10, f.x);
				else
					loseLife(f.x, 0xFFE24A);
			case Faller.GOLD:
				if (inBasket)
					gain(50, f.x);
			default:
				if (inBasket)
					loseLife(f.x, 0xFF5030);
		}
	}

	function gain(points:Int, x:Float) {
		score += points;
		if (score > best) {
			best = score;
			bestUnsaved = true;
		}
		popup("+" + points, x, points > 10 ? 0xFFB020 : 0xFFFFFF);
		updateHud();
	}

	function loseLife(x:Float, colour:Int) {
		lives--;
		popup(lives > 0 ? "-1" : "Oh no!", x, colour);
		updateHud();
		if (lives == 0) {
			playing = false;
			waitFrames = 30;
			spawnIn = 40;
			if (bestUnsaved)
				saveBest();
			overlay.show(score > bestBefore ? "New best!" : "Game over", "You caught " + score + " points of stars.\nBest score: " + best,
				"Click or press Space to play again");
		}
	}

	function drop(i:Int) {
		removeChild(fallers[i]);
		fallers.splice(i, 1);
	}

	function popup(text:String, x:Float, colour:Int) {
		var tf = Hud.label(text, 18, colour, true, true);
		Hud.centreOn(tf, Hud.clamp(x, 30, Hud.WIDTH - 30), BASKET_Y - 40);
		addChildAt(tf, getChildIndex(overlay));
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

	function saveBest() {
		bestUnsaved = false;
		if (saved == null)
			return;
		try {
			saved.data.best = best;
			saved.flush();
		} catch (e:Dynamic) {}
	}

	function loadBest():Int {
		try {
			saved = SharedObject.getLocal("starcatcher");
			var value:Dynamic = saved.data.best;
			if (value != null)
				return Std.int(value);
		} catch (e:Dynamic) {}
		return 0;
	}
}
