package;

// The table, the ball and the two paddles, free of any drawing. The player holds the left paddle, the
// computer the right one; a step is one frame (30 a second).
class Rally {
	public static inline var WIDTH = 550;
	public static inline var TOP = 46;
	public static inline var BOTTOM = 392;
	public static inline var PADDLE_H = 70;
	public static inline var PADDLE_W = 10;
	// The faces the ball bounces off: the left paddle's right edge and the right paddle's left edge.
	public static inline var LEFT_FACE = 34;
	public static inline var RIGHT_FACE = 516;
	public static inline var BALL = 6;
	public static inline var WIN = 7;
	public static inline var SERVE_FRAMES = 40;
	public static inline var START_SPEED = 6.5;
	public static inline var MAX_SPEED = 14.0;

	// What a step can report.
	public static inline var HIT = 1;
	public static inline var WALL = 2;
	public static inline var POINT_LEFT = 3;
	public static inline var POINT_RIGHT = 4;

	public var ballX(default, null):Float;
	public var ballY(default, null):Float;
	public var vx(default, null) = 0.0;
	public var vy(default, null) = 0.0;
	public var speed(default, null) = START_SPEED;
	public var leftY:Float;
	public var rightY:Float;
	public var leftPoints(default, null) = 0;
	public var rightPoints(default, null) = 0;
	// Frames until the ball is served; it waits in the middle meanwhile.
	public var serveIn(default, null) = SERVE_FRAMES;
	// How fast the computer's paddle may move, in pixels a frame.
	public var cpuSpeed = 5.4;

	var serveLeft = true;
	var aimError = 0.0;
	var random:Void->Float;

	public function new(?random:Void->Float) {
		this.random = random != null ? random : Math.random;
		leftY = middle();
		rightY = middle();
		centreBall();
	}

	public static inline function middle():Float {
		return (TOP + BOTTOM) / 2;
	}

	public function isOver():Bool {
		return leftPoints >= WIN || rightPoints >= WIN;
	}

	// Puts the ball in play now, towards the left player when towardsLeft is set: for tests.
	public function serveNow(towardsLeft:Bool, angle = 0.0) {
		serveLeft = towardsLeft;
		launch(angle);
	}

	// Moves everything on by a frame. The left paddle heads for leftTarget (the player's pointer, or the
	// demo's own aim when autoLeft is set); the right one is the computer's. Answers what happened.
	public function step(leftTarget:Float, autoLeft = false):Array<Int> {
		var events = [];
		if (isOver())
			return events;
		leftY = autoLeft ? follow(leftY, aim(true), cpuSpeed + 1) : clampPaddle(leftTarget);
		rightY = follow(rightY, aim(false), cpuSpeed);
		if (serveIn > 0) {
			if (--serveIn == 0)
				launch((random() - 0.5) * 0.9);
			return events;
		}
		var oldX = ballX;
		var oldY = ballY;
		ballX += vx;
		ballY += vy;
		if (ballY - BALL < TOP) {
			ballY = 2 * (TOP + BALL) - ballY;
			vy = -vy;
			events.push(WALL);
		} else if (ballY + BALL > BOTTOM) {
			ballY = 2 * (BOTTOM - BALL) - ballY;
			vy = -vy;
			events.push(WALL);
		}
		if (vx < 0 && oldX - BALL >= LEFT_FACE && ballX - BALL < LEFT_FACE) {
			if (bounce(oldX, oldY, LEFT_FACE + BALL, leftY, 1))
				events.push(HIT);
		} else if (vx > 0 && oldX + BALL <= RIGHT_FACE && ballX + BALL > RIGHT_FACE) {
			if (bounce(oldX, oldY, RIGHT_FACE - BALL, rightY, -1)) {
				events.push(HIT);
				newAimError();
			}
		}
		if (ballX < -BALL * 2) {
			rightPoints++;
			events.push(POINT_RIGHT);
			nextServe(true);
		} else if (ballX > WIDTH + BALL * 2) {
			leftPoints++;
			events.push(POINT_LEFT);
			nextServe(false);
		}
		return events;
	}

	// Where the ball will cross the line x, bouncing off the walls on its way.
	public function predictY(x:Float):Float {
		if (vx == 0)
			return ballY;
		var frames = (x - ballX) / vx;
		if (frames < 0)
			return ballY;
		var lo = TOP + BALL;
		var span = (BOTTOM - BALL) - lo;
		var t = (ballY + vy * frames - lo) % (2 * span);
		if (t < 0)
			t += 2 * span;
		return lo + (t <= span ? t : 2 * span - t);
	}

	// A ball crossing a face between (oldX, oldY) and now: back off the paddle centred on paddleY, or past it.
	// The further from the paddle's middle it lands, the steeper it leaves; every hit is a little faster.
	function bounce(oldX:Float, oldY:Float, lineX:Float, paddleY:Float, direction:Int):Bool {
		var part = (lineX - oldX) / (ballX - oldX);
		var y = oldY + (ballY - oldY) * part;
		var reach = PADDLE_H / 2 + BALL;
		if (Math.abs(y - paddleY) > reach)
			return false;
		var offset = (y - paddleY) / reach;
		var angle = offset * 1.0;
		speed = Math.min(speed + 0.45, MAX_SPEED);
		vx = direction * speed * Math.cos(angle);
		vy = speed * Math.sin(angle);
		ballX = lineX;
		ballY = y;
		return true;
	}

	// Where a paddle heads: under the ball's landing point when it is coming its way (the computer only once
	// the ball has crossed a third of the table, and never quite exactly), back to the middle otherwise.
	function aim(left:Bool):Float {
		var coming = left ? vx < 0 : vx > 0;
		if (serveIn > 0 || !coming)
			return middle();
		if (left)
			return predictY(LEFT_FACE + BALL) + aimError * 0.5;
		if (ballX < WIDTH * 0.4)
			return middle();
		return predictY(RIGHT_FACE - BALL) + aimError;
	}

	function newAimError() {
		// Faster balls are harder to read.
		var spread = PADDLE_H * (0.5 + 0.6 * (speed - START_SPEED) / (MAX_SPEED - START_SPEED));
		aimError = (random() * 2 - 1) * spread;
	}

	function follow(y:Float, target:Float, maxStep:Float):Float {
		var d = target - y;
		if (d > maxStep)
			d = maxStep;
		else if (d < -maxStep)
			d = -maxStep;
		return clampPaddle(y + d);
	}

	function clampPaddle(y:Float):Float {
		var lo = TOP + PADDLE_H / 2;
		var hi = BOTTOM - PADDLE_H / 2;
		return y < lo ? lo : (y > hi ? hi : y);
	}

	function nextServe(towardsLeft:Bool) {
		serveLeft = towardsLeft;
		centreBall();
		serveIn = SERVE_FRAMES;
	}

	function centreBall() {
		ballX = WIDTH / 2;
		ballY = middle();
		vx = 0;
		vy = 0;
	}

	function launch(angle:Float) {
		serveIn = 0;
		speed = START_SPEED;
		centreBall();
		vx = (serveLeft ? -1 : 1) * speed * Math.cos(angle);
		vy = speed * Math.sin(angle);
		newAimError();
	}
}
