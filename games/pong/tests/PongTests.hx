package;

import Rally;

// The table's rules, run with the Haxe interpreter:
//   haxe -cp games/pong -cp games/pong/tests -main PongTests --interp
class PongTests {
	static var failures = 0;

	static function check(ok:Bool, what:String) {
		if (!ok) {
			failures++;
			Sys.println("FAIL " + what);
		}
	}

	// Steps until one of the wanted events happens (or the frames run out); answers that event, or 0.
	static function until(r:Rally, leftTarget:Float, wanted:Array<Int>, frames = 600):Int {
		for (i in 0...frames)
			for (e in r.step(leftTarget))
				if (wanted.indexOf(e) >= 0)
					return e;
		return 0;
	}

	static function main() {
		serving();
		paddleHits();
		wallsAndPrediction();
		scoringAndTheEnd();
		theComputerCanBeBeaten();
		Sys.println(failures == 0 ? "pong: all passed" : "pong: " + failures + " failed");
		Sys.exit(failures == 0 ? 0 : 1);
	}

	static function serving() {
		var r = new Rally(function() return 0.5);
		for (i in 0...Rally.SERVE_FRAMES - 1)
			r.step(Rally.middle());
		check(r.vx == 0 && r.ballX == Rally.WIDTH / 2, "the ball waits in the middle before the serve");
		r.step(Rally.middle());
		check(r.vx < 0 && r.serveIn == 0, "the first serve goes to the player");
		check(Math.abs(r.speed - Rally.START_SPEED) < 1e-9, "a serve starts at the starting speed");
	}

	static function paddleHits() {
		// Straight at the player's paddle, met in its middle: straight back, a little faster.
		var r = new Rally(function() return 0.5);
		r.serveNow(true);
		check(until(r, Rally.middle(), [Rally.HIT, Rally.POINT_RIGHT]) == Rally.HIT, "a ball met by the paddle is hit back");
		check(r.vx > 0 && Math.abs(r.vy) < 1e-9, "a hit in the middle goes straight back");
		check(r.speed > Rally.START_SPEED, "every hit speeds the ball up");
		check(r.ballX >= Rally.LEFT_FACE + Rally.BALL, "the ball leaves from the paddle's face, not from inside it");

		// Met near the paddle's lower end: back at a steep downward angle.
		r = new Rally(function() return 0.5);
		r.serveNow(true);
		var edge = Rally.middle() - Rally.PADDLE_H / 2 + 4;
		check(until(r, edge, [Rally.HIT, Rally.POINT_RIGHT]) == Rally.HIT, "the paddle's end still hits");
		check(r.vy > 0 && r.vy > r.vx * 0.8, "a hit near the end angles the ball away steeply");

		// A paddle out of the way: the ball goes past and the computer scores.
		r = new Rally(function() return 0.5);
		r.serveNow(true);
		check(until(r, Rally.TOP, [Rally.HIT, Rally.POINT_RIGHT]) == Rally.POINT_RIGHT, "a missed ball is the computer's point");
		check(r.rightPoints == 1 && r.leftPoints == 0, "the point is counted once");
		check(r.serveIn == Rally.SERVE_FRAMES && r.ballX == Rally.WIDTH / 2, "the ball goes back to the middle to serve");

		// However fast the ball, it never slips through a paddle between two frames.
		r = new Rally(function() return 0.5);
		r.serveNow(true);
		@:privateAccess {
			r.speed = Rally.MAX_SPEED;
			r.vx = -Rally.MAX_SPEED;
		}
		check(until(r, Rally.middle(), [Rally.HIT, Rally.POINT_RIGHT]) == Rally.HIT, "a fast ball is still hit");
		check(r.speed <= Rally.MAX_SPEED, "the ball never goes past its top speed");
	}

	static function wallsAndPrediction() {
		var r = new Rally(function() return 0.5);
		r.serveNow(false, -0.9);
		var landing = r.predictY(Rally.RIGHT_FACE - Rally.BALL);
		check(until(r, Rally.middle(), [Rally.WALL]) == Rally.WALL, "an angled ball reaches the wall");
		check(r.vy > 0 && r.ballY - Rally.BALL >= Rally.TOP, "the wall sends it back down, inside the table");
		var y = 0.0;
		for (i in 0...200) {
			r.step(Rally.middle());
			if (r.vx <= 0 || r.ballX + Rally.BALL >= Rally.RIGHT_FACE - 0.5) {
				y = r.ballY;
				break;
			}
		}
		check(Math.abs(y - landing) < 2, "the ball lands where it was predicted: " + y + " / " + landing);
		for (i in 0...400) {
			r.step(Rally.middle());
			check(r.ballY - Rally.BALL >= Rally.TOP - 1e-6 && r.ballY + Rally.BALL <= Rally.BOTTOM + 1e-6, "the ball stays on the table");
		}
	}

	static function scoringAndTheEnd() {
		var r = new Rally(function() return 0.5);
		var points = 0;
		while (!r.isOver() && points < 20) {
			if (until(r, Rally.TOP, [Rally.POINT_LEFT, Rally.POINT_RIGHT], 3000) != 0)
				points++;
		}
		check(r.isOver() && r.rightPoints == Rally.WIN && r.leftPoints < Rally.WIN, "a player who never moves loses " + Rally.WIN + " to " + r.leftPoints);
		var x = r.ballX;
		check(r.step(Rally.middle()).length == 0 && r.ballX == x, "nothing moves once the match is over");
	}

	static function theComputerCanBeBeaten() {
		// A player who always gets to the ball wins points: the computer is quick but not perfect. The computer,
		// in turn, returns the first balls of a rally.
		var seed = 12345;
		var random = function() {
			seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF;
			return seed / 0x7FFFFFFF;
		};
		var r = new Rally(random);
		var firstReturns = 0;
		var rallies = 0;
		var cpuHits = 0;
		while (!r.isOver()) {
			var target = r.vx < 0 ? r.predictY(Rally.LEFT_FACE + Rally.BALL) : Rally.middle();
			for (e in r.step(target)) {
				if (e == Rally.HIT && r.vx < 0)
					cpuHits++;
				if (e == Rally.POINT_LEFT || e == Rally.POINT_RIGHT) {
					rallies++;
					if (cpuHits > 0)
						firstReturns++;
					cpuHits = 0;
				}
			}
		}
		check(r.leftPoints == Rally.WIN, "a perfect player beats the computer, " + r.leftPoints + " : " + r.rightPoints);
		check(firstReturns == rallies, "the computer returns at least the first ball of every rally");
	}
}
