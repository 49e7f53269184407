package;

import Hud;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.MouseEvent;
import flash.media.Sound;
import flash.net.SharedObject;
import flash.text.TextField;

// Short square-wave blips made for this game (22050 Hz, 8-bit mono): a paddle hit, a wall and a point.
@:sound("hit.wav") private class HitSound extends Sound {}
@:sound("wall.wav") private class WallSound extends Sound {}
@:sound("point.wav") private class PointSound extends Sound {}

// The card in the middle of the screen: a title, up to three lines and a hint, for the title and game over.
private class Panel extends Sprite {
	static inline var TOP = 112;
	static inline var HEIGHT = 190;

	var title:TextField;
	var lines:Array<TextField> = [];
	var hint:TextField;

	public function new(accent:Int) {
		super();
		mouseEnabled = false;
		mouseChildren = false;
		graphics.beginFill(0x000000, 0.35);
		graphics.drawRect(0, 0, Hud.WIDTH, Hud.HEIGHT);
		graphics.endFill();
		graphics.lineStyle(2, accent);
		graphics.beginFill(0x151B26, 0.92);
		graphics.drawRoundRect(80, TOP, Hud.WIDTH - 160, HEIGHT, 22, 22);
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
			Hud.centreOn(lines[i], Hud.WIDTH / 2, TOP + 64 + i * 22);
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

// Table Pong: keep the ball in play with the left paddle and get it past the computer's; first to seven wins.
// The best score is the widest winning margin (or, until a win, the narrowest loss).
class Main extends Sprite {
	static inline var KEY_UP = 38;
	static inline var KEY_DOWN = 40;
	static inline var KEY_W = 87;
	static inline var KEY_S = 83;
	static inline var KEY_ENTER = 13;
	static inline var KEY_SPEED = 10;
	static inline var OVER_PAUSE = 24;
	static inline var PLAYER_COLOUR = 0xFF5A48;
	static inline var CPU_COLOUR = 0xFFC23A;

	static inline var TITLE = 0;
	static inline var PLAYING = 1;
	static inline var OVER = 2;

	var mode = TITLE;
	var rally:Rally;
	var target = Rally.middle();
	var overFrames = 0;
	var frame = 0;
	var flashFrames = 0;
	var best = 0;
	var hasBest = false;
	var store:SharedObject;

	var left:Shape;
	var right:Shape;
	var ball:Shape;
	var glow:Shape;
	var panel:Panel;
	var youText:TextField;
	var cpuText:TextField;
	var infoText:TextField;

	var hitSound:Sound;
	var wallSound:Sound;
	var pointSound:Sound;

	static function main() {
		flash.Lib.current.addChild(new Main());
	}

	function new() {
		super();
		drawTable();
		glow = new Shape();
		addChild(glow);
		left = paddle(PLAYER_COLOUR);
		right = paddle(CPU_COLOUR);
		ball = new Shape();
		ball.graphics.beginFill(0xFFFFFF, 0.25);
		ball.graphics.drawCircle(0, 0, Rally.BALL + 3);
		ball.graphics.endFill();
		ball.graphics.beginFill(0xFFF6E0);
		ball.graphics.drawCircle(0, 0, Rally.BALL);
		ball.graphics.endFill();
		addChild(ball);

		youText = Hud.label("", 20, PLAYER_COLOUR, true);
		youText.x = 14;
		youText.y = 8;
		cpuText = Hud.label("", 20, CPU_COLOUR, true);
		cpuText.y = 8;
		infoText = Hud.label("", 13, 0xB8C4D8, false, true);
		addChild(youText);
		addChild(cpuText);
		addChild(infoText);

		hitSound = new HitSound();
		wallSound = new WallSound();
		pointSound = new PointSound();

		loadBest();
		panel = new Panel(CPU_COLOUR);
		addChild(panel);
		showTitle();

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(MouseEvent.MOUSE_DOWN, function(_) press());
			stage.addEventListener(MouseEvent.MOUSE_MOVE, function(_) target = mouseY);
			Hud.trackKeys(stage, function(code) {
				if (code == Hud.KEY_SPACE || code == KEY_ENTER)
					press();
			});
		});
	}

	function drawTable() {
		var g = graphics;
		g.beginFill(0x0D121C);
		g.drawRect(0, 0, Hud.WIDTH, Hud.HEIGHT);
		g.endFill();
		Hud.verticalGradient(g, 8, Rally.TOP, Hud.WIDTH - 16, Rally.BOTTOM - Rally.TOP, 0x2160A8, 0x17477E);
		g.lineStyle(3, 0xEAF2FF);
		g.drawRect(8, Rally.TOP, Hud.WIDTH - 16, Rally.BOTTOM - Rally.TOP);
		g.lineStyle(1, 0xEAF2FF, 0.35);
		g.moveTo(8, Rally.middle());
		g.lineTo(Hud.WIDTH - 8, Rally.middle());
		// The net, seen from above.
		g.lineStyle(3, 0xEAF2FF, 0.8);
		var y = Rally.TOP + 4.0;
		while (y < Rally.BOTTOM - 4) {
			g.moveTo(Hud.WIDTH / 2, y);
			g.lineTo(Hud.WIDTH / 2, Math.min(y + 10, Rally.BOTTOM - 4));
			y += 18;
		}
		g.lineStyle();
	}

	function paddle(colour:Int):Shape {
		var s = new Shape();
		var g = s.graphics;
		g.beginFill(0x000000, 0.3);
		g.drawRoundRect(-Rally.PADDLE_W / 2 + 2, -Rally.PADDLE_H / 2 + 3, Rally.PADDLE_W, Rally.PADDLE_H, 8, 8);
		g.endFill();
		g.beginFill(colour);
		g.drawRoundRect(-Rally.PADDLE_W / 2, -Rally.PADDLE_H / 2, Rally.PADDLE_W, Rally.PADDLE_H, 8, 8);
		g.endFill();
		g.beginFill(0xFFFFFF, 0.35);
		g.drawRoundRect(-Rally.PADDLE_W / 2 + 2, -Rally.PADDLE_H / 2 + 3, 3, Rally.PADDLE_H - 6, 3, 3);
		g.endFill();
		s.x = colour == PLAYER_COLOUR ? Rally.LEFT_FACE - Rally.PADDLE_W / 2 : Rally.RIGHT_FACE + Rally.PADDLE_W / 2;
		addChild(s);
		return s;
	}

	function loadBest() {
		try {
			store = SharedObject.getLocal("pong");
			var saved:Dynamic = store.data.best;
			if (saved != null) {
				best = Std.int(saved);
				hasBest = best != 0;
			}
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

	// A margin as the match score it comes from: the winner always has seven.
	static function matchScore(margin:Int):String {
		return margin > 0 ? Rally.WIN + " : " + (Rally.WIN - margin) : (Rally.WIN + margin) + " : " + Rally.WIN;
	}

	function showTitle() {
		mode = TITLE;
		rally = new Rally();
		panel.show("Table Pong", [
			"Move your red paddle with the mouse or the Up and Down keys.",
			"Get the ball past the computer: the first to " + Rally.WIN + " points wins.",
			hasBest ? "Best match so far: " + matchScore(best) : "Hit the ball near a paddle's end to angle it.",
		], "Click or press Space to start");
		updateHud();
	}

	function press() {
		if (mode == TITLE || (mode == OVER && overFrames >= OVER_PAUSE))
			start();
	}

	function start() {
		mode = PLAYING;
		rally = new Rally();
		target = stage != null ? mouseY : Rally.middle();
		panel.visible = false;
		updateHud();
	}

	function finish() {
		mode = OVER;
		overFrames = 0;
	}

	function showResult() {
		var margin = rally.leftPoints - rally.rightPoints;
		var record = !hasBest || margin > best;
		if (record) {
			best = margin;
			hasBest = true;
			saveBest();
		}
		var score = rally.leftPoints + " : " + rally.rightPoints;
		panel.show(margin > 0 ? "You win!" : "The computer wins", [
			"Final score " + score + " (you : computer).",
			record ? "Your best match yet!" : "Best match: " + matchScore(best),
		], "Click or press Space to play again");
		updateHud();
	}

	function tick(_) {
		frame++;
		if (panel.visible)
			panel.pulse(frame);
		switch (mode) {
			case TITLE:
				// The demo rally never waits to serve.
				if (rally.isOver())
					rally = new Rally();
				if (rally.serveIn > 0)
					rally.serveNow(Math.random() < 0.5, (Math.random() - 0.5) * 1.2);
				rally.step(0, true);
			case PLAYING:
				if (Hud.isDown(KEY_UP) || Hud.isDown(KEY_W))
					target = Math.max(target, Rally.TOP + Rally.PADDLE_H / 2) - KEY_SPEED;
				if (Hud.isDown(KEY_DOWN) || Hud.isDown(KEY_S))
					target = Math.min(target, Rally.BOTTOM - Rally.PADDLE_H / 2) + KEY_SPEED;
				for (e in rally.step(target))
					react(e);
				if (rally.isOver())
					finish();
			default:
				overFrames++;
				if (overFrames == OVER_PAUSE)
					showResult();
		}
		draw();
	}

	function react(event:Int) {
		switch (event) {
			case Rally.HIT:
				play(hitSound);
				flashFrames = 6;
			case Rally.WALL:
				play(wallSound);
			default:
				play(pointSound);
				updateHud();
		}
	}

	// Sound is a bonus: without an audio device play() gives nothing back, and the game goes on silently.
	static function play(sound:Sound) {
		try {
			sound.play();
		} catch (e:Dynamic) {}
	}

	function draw() {
		left.y = rally.leftY;
		right.y = rally.rightY;
		ball.x = rally.ballX;
		ball.y = rally.ballY;
		ball.visible = rally.serveIn == 0 || rally.serveIn % 10 < 6;
		var g = glow.graphics;
		g.clear();
		if (flashFrames > 0) {
			flashFrames--;
			g.beginFill(0xFFFFFF, flashFrames / 12);
			g.drawCircle(rally.ballX, rally.ballY, Rally.BALL + 14 - flashFrames);
			g.endFill();
		}
	}

	function updateHud() {
		var playing = mode != TITLE;
		youText.text = "You " + (playing ? rally.leftPoints : 0);
		cpuText.text = (playing ? rally.rightPoints : 0) + " Computer";
		cpuText.x = Hud.WIDTH - 14 - cpuText.width;
		infoText.text = "First to " + Rally.WIN + (hasBest ? "    Best " + matchScore(best) : "");
		Hud.centreOn(infoText, Hud.WIDTH / 2, 13);
	}
}
