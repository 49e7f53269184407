package;

import Hud;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.KeyboardEvent;
import flash.events.MouseEvent;
import flash.net.SharedObject;
import flash.text.TextField;

// Brick Breaker: keep the ball in play with the paddle and clear the wall of bricks, level after level.
class Main extends Sprite {
	static inline var COLS = 10;
	static inline var ROWS = 6;
	static inline var BRICK_W = 50;
	static inline var BRICK_H = 18;
	static inline var GAP = 3;
	static inline var WALL_TOP = 58;
	static inline var PADDLE_W = 84;
	static inline var PADDLE_H = 12;
	static inline var PADDLE_Y = 368;
	static inline var BALL_R = 6;
	static inline var TOP_BAR = 36;
	static inline var KEY_ENTER = 13;
	// Frames after a lost game before a click or key starts the next one.
	static inline var OVER_WAIT = 20;

	static var ROW_COLOURS = [0xE5483B, 0xF08A24, 0xF2C230, 0x5DBB4A, 0x2FA7C9, 0x5868D8];

	var bricks:Array<Shape> = [];
	var alive = 0;
	var paddle:Shape;
	var ball:Shape;
	var paddleX = Hud.WIDTH / 2;
	var pointerX = -1.0;
	var bx = 0.0;
	var by = 0.0;
	var vx = 0.0;
	var vy = 0.0;
	var speed = 5.0;
	var baseSpeed = 5.0;
	var stuck = true;
	var score = 0;
	var lives = 3;
	var level = 1;
	var playing = false;
	// The title screen: a ball plays by itself until the first click or key.
	var title = true;
	var overWait = 0;
	var best = 0;
	var store:SharedObject;
	var scoreText:TextField;
	var levelText:TextField;
	var hintText:TextField;
	var lifeIcons:Shape;
	var overlay:Overlay;

	static function main() {
		flash.Lib.current.addChild(new Main());
	}

	function new() {
		super();
		loadBest();
		var back = new Shape();
		Hud.verticalGradient(back.graphics, 0, 0, Hud.WIDTH, Hud.HEIGHT, 0x1B2530, 0x0B1016);
		back.graphics.beginFill(0x000000, 0.35);
		back.graphics.drawRect(0, 0, Hud.WIDTH, TOP_BAR);
		back.graphics.endFill();
		back.graphics.lineStyle(1, 0xFF8000, 0.8);
		back.graphics.moveTo(0, TOP_BAR);
		back.graphics.lineTo(Hud.WIDTH, TOP_BAR);
		addChild(back);

		scoreText = Hud.label("", 16, 0xFFFFFF, true);
		scoreText.x = 12;
		scoreText.y = 8;
		levelText = Hud.label("", 16, 0xFFB060, true, true);
		hintText = Hud.label("Click or press Space to launch", 13, 0xB8C2CC, false, true);
		Hud.centreOn(hintText, Hud.WIDTH / 2, 300);
		lifeIcons = new Shape();
		addChild(scoreText);
		addChild(levelText);
		addChild(lifeIcons);
		addChild(hintText);

		paddle = new Shape();
		Hud.verticalGradient(paddle.graphics, -PADDLE_W / 2, 0, PADDLE_W, PADDLE_H, 0xFFB060, 0xD66000);
		paddle.graphics.lineStyle(1, 0xFFFFFF, 0.5);
		paddle.graphics.drawRoundRect(-PADDLE_W / 2, 0, PADDLE_W, PADDLE_H, 10, 10);
		paddle.x = paddleX;
		paddle.y = PADDLE_Y;
		addChild(paddle);

		ball = new Shape();
		ball.graphics.beginFill(0xFFFFFF);
		ball.graphics.drawCircle(0, 0, BALL_R);
		ball.graphics.endFill();
		ball.graphics.beginFill(0xFFE0C0, 0.8);
		ball.graphics.drawCircle(-2, -2, 2);
		ball.graphics.endFill();
		addChild(ball);

		overlay = new Overlay(0xFF8000);
		addChild(overlay);
		overlay.show("Brick Breaker", "Mouse or arrows move; click or Space launches.", "Click or press Space to start");

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(MouseEvent.MOUSE_DOWN, function(_) press());
			stage.addEventListener(MouseEvent.MOUSE_MOVE, function(_) pointerX = mouseX);
			Hud.trackKeys(stage, function(code) {
				if (code == Hud.KEY_SPACE)
					press();
			});
			stage.addEventListener(KeyboardEvent.KEY_DOWN, function(e:KeyboardEvent) {
				if (e.keyCode == KEY_ENTER)
					press();
			});
		});
		buildWall();
		updateHud();
		resetBall();
		startDemo();
	}

	function loadBest() {
		try {
			store = SharedObject.getLocal("brickbreaker");
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

	function press() {
		if (!playing) {
			if (overWait > 0)
				return;
			if (title) {
				title = false;
				resetBall();
			}
			if (lives == 0)
				restart();
			playing = true;
			overlay.hide();
			hintText.visible = stuck;
		} else if (stuck) {
			launch();
		}
	}

	function restart() {
		score = 0;
		lives = 3;
		level = 1;
		baseSpeed = 5.0;
		buildWall();
		resetBall();
		updateHud();
	}

	function buildWall() {
		for (b in bricks)
			removeChild(b);
		bricks = [];
		var left = (Hud.WIDTH - (COLS * BRICK_W + (COLS - 1) * GAP)) / 2;
		for (row in 0...ROWS) {
			for (col in 0...COLS) {
				var b = new Shape();
				var colour = ROW_COLOURS[row];
				b.graphics.beginFill(colour);
				b.graphics.drawRoundRect(0, 0, BRICK_W, BRICK_H, 6, 6);
				b.graphics.endFill();
				b.graphics.beginFill(0xFFFFFF, 0.25);
				b.graphics.drawRoundRect(2, 2, BRICK_W - 4, 5, 4, 4);
				b.graphics.endFill();
				b.x = left + col * (BRICK_W + GAP);
				b.y = WALL_TOP + row * (BRICK_H + GAP);
				addChildAt(b, 1);
				bricks.push(b);
			}
		}
		alive = bricks.length;
	}

	function resetBall() {
		stuck = true;
		speed = baseSpeed;
		hintText.visible = playing;
		placeBallOnPaddle();
	}

	function placeBallOnPaddle() {
		bx = paddleX;
		by = PADDLE_Y - BALL_R - 1;
		ball.x = bx;
		ball.y = by;
	}

	function launch() {
		stuck = false;
		hintText.visible = false;
		var angle = (Math.random() - 0.5) * 0.8;
		vx = Math.sin(angle) * speed;
		vy = -Math.cos(angle) * speed;
	}

	function updateHud() {
		scoreText.text = "Score " + score + "    Best " + best;
		levelText.text = "Level " + level;
		Hud.centreOn(levelText, Hud.WIDTH / 2, 8);
		var g = lifeIcons.graphics;
		g.clear();
		for (i in 0...lives) {
			g.beginFill(0xFF8000);
			g.drawCircle(Hud.WIDTH - 18 - i * 20, 18, 6);
			g.endFill();
		}
	}

	function tick(_) {
		if (!playing) {
			if (overWait > 0)
				overWait--;
			if (title)
				playDemo();
			return;
		}
		movePaddle();
		if (stuck) {
			placeBallOnPaddle();
			return;
		}
		// Two half steps a frame keep a fast ball from passing through a brick.
		for (half in 0...2) {
			if (!step(0.5))
				return;
		}
		ball.x = bx;
		ball.y = by;
	}

	function movePaddle() {
		// The pointer leads only after it moved, so that a still mouse never undoes the arrow keys.
		var target = paddleX;
		if (Hud.isDown(Hud.KEY_LEFT) || Hud.isDown(Hud.KEY_RIGHT)) {
			target += Hud.isDown(Hud.KEY_LEFT) ? -10 : 10;
			pointerX = -1;
		} else if (pointerX >= 0) {
			target = pointerX;
		}
		paddleX = Hud.clamp(target, PADDLE_W / 2, Hud.WIDTH - PADDLE_W / 2);
		paddle.x = paddleX;
	}

	// Moves the ball a fraction of a frame; false when the ball was lost.
	function step(f:Float):Bool {
		bx += vx * f;
		by += vy * f;
		if (bx < BALL_R) {
			bx = BALL_R;
			vx = Math.abs(vx);
		} else if (bx > Hud.WIDTH - BALL_R) {
			bx = Hud.WIDTH - BALL_R;
			vx = -Math.abs(vx);
		}
		if (by < TOP_BAR + BALL_R) {
			by = TOP_BAR + BALL_R;
			vy = Math.abs(vy);
		}
		if (vy > 0 && by + BALL_R >= PADDLE_Y && by + BALL_R <= PADDLE_Y + PADDLE_H + vy
			&& Math.abs(bx - paddleX) <= PADDLE_W / 2 + BALL_R) {
			// Where the ball meets the paddle sets its new angle: the edges send it out wide.
			var offset = Hud.clamp((bx - paddleX) / (PADDLE_W / 2), -1, 1);
			var angle = offset * 1.05;
			vx = Math.sin(angle) * speed;
			vy = -Math.cos(angle) * speed;
			by = PADDLE_Y - BALL_R;
		}
		if (by > Hud.HEIGHT + BALL_R) {
			loseBall();
			return false;
		}
		hitBrick();
		return true;
	}

	function hitBrick() {
		for (i in 0...bricks.length) {
			var b = bricks[i];
			if (!b.visible)
				continue;
			var nx = Hud.clamp(bx, b.x, b.x + BRICK_W);
			var ny = Hud.clamp(by, b.y, b.y + BRICK_H);
			var dx = bx - nx;
			var dy = by - ny;
			if (dx * dx + dy * dy > BALL_R * BALL_R)
				continue;
			b.visible = false;
			alive--;
			score += (ROWS - Std.int((b.y - WALL_TOP) / (BRICK_H + GAP))) * 10;
			// Bounce off the side the ball came through: the shallower overlap.
			var overlapX = Math.min(bx + BALL_R - b.x, b.x + BRICK_W - (bx - BALL_R));
			var overlapY = Math.min(by + BALL_R - b.y, b.y + BRICK_H - (by - BALL_R));
			if (overlapX < overlapY)
				vx = -vx;
			else
				vy = -vy;
			speed = Math.min(speed + 0.05, baseSpeed + 3);
			var len = Math.sqrt(vx * vx + vy * vy);
			vx = vx / len * speed;
			vy = vy / len * speed;
			updateHud();
			if (alive == 0)
				nextLevel();
			return;
		}
	}

	function nextLevel() {
		level++;
		baseSpeed += 0.6;
		buildWall();
		resetBall();
		updateHud();
	}

	function loseBall() {
		lives--;
		updateHud();
		if (lives == 0) {
			playing = false;
			hintText.visible = false;
			var line = "Final score: " + score + "    Best: " + Std.int(Math.max(score, best));
			if (score > best) {
				best = score;
				saveBest();
				line = "Final score: " + score + " - a new best!";
				updateHud();
			}
			overlay.show("Game over", line, "Click or press Space to play again");
			overWait = OVER_WAIT;
			placeBallOnPaddle();
			return;
		}
		resetBall();
	}

	function startDemo() {
		bx = Hud.WIDTH / 2;
		by = 300;
		vx = 4;
		vy = -4;
	}

	// The title screen's rally: the ball bounces between the paddle and the wall without breaking it.
	function playDemo() {
		var wallBottom = WALL_TOP + ROWS * (BRICK_H + GAP) + BALL_R;
		bx += vx;
		by += vy;
		if (bx < BALL_R || bx > Hud.WIDTH - BALL_R) {
			vx = -vx;
			bx = Hud.clamp(bx, BALL_R, Hud.WIDTH - BALL_R);
		}
		if (by < wallBottom) {
			vy = Math.abs(vy);
			by = wallBottom;
		}
		if (by > PADDLE_Y - BALL_R) {
			vy = -Math.abs(vy);
			by = PADDLE_Y - BALL_R;
		}
		// The paddle chases the ball a little lazily.
		paddleX = Hud.clamp(paddleX + Hud.clamp(bx - paddleX, -6, 6), PADDLE_W / 2, Hud.WIDTH - PADDLE_W / 2);
		paddle.x = paddleX;
		ball.x = bx;
		ball.y = by;
	}
}
