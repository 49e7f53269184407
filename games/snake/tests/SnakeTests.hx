package;

import SnakeGame;

// The snake's rules, run with the Haxe interpreter:
//   haxe -cp games/snake -cp games/snake/tests -main SnakeTests --interp
class SnakeTests {
	static var failures = 0;

	static function check(ok:Bool, what:String) {
		if (!ok) {
			failures++;
			Sys.println("FAIL " + what);
		}
	}

	// A game whose apples land on the given free-cell numbers in turn (0 when they run out).
	static function game(cols:Int, rows:Int, picks:Array<Int>):SnakeGame {
		return new SnakeGame(cols, rows, function(n) return picks.length > 0 ? picks.shift() % n : 0);
	}

	static function main() {
		movingAndEating();
		turning();
		dying();
		fillingTheBoard();
		demoSteering();
		Sys.println(failures == 0 ? "snake: all passed" : "snake: " + failures + " failed");
		Sys.exit(failures == 0 ? 0 : 1);
	}

	static function movingAndEating() {
		var g = game(10, 6, [0]);
		// Head at (5,3) facing right, three cells behind it.
		check(g.body.join(",") == "35,34,33,32", "starting body " + g.body);
		check(g.food == 0, "first apple on the first free cell");
		check(g.step() == Moved && g.body.join(",") == "36,35,34,33", "a step moves head and tail");

		// Picks count free cells only: the body's four cells 32..35 are skipped, so pick 32 is cell 36.
		g = game(10, 6, [32]);
		check(g.food == 36, "apple in front of the head: " + g.food);
		check(g.step() == Ate, "eating reported");
		check(g.body.length == 5 && g.eaten == 1 && g.score == SnakeGame.POINTS, "eating grows and scores");
		check(g.body.indexOf(g.food) < 0, "the new apple is never on the snake");
		check(g.stepsPerSecond() > new SnakeGame(10, 6).stepsPerSecond(), "eating speeds the snake up");
	}

	static function turning() {
		var g = game(10, 6, [0]);
		g.turn(SnakeGame.LEFT);
		g.step();
		check(g.dir == SnakeGame.RIGHT, "turning back onto the neck is ignored");
		// Two quick turns between steps are both made, one a step.
		g.turn(SnakeGame.UP);
		g.turn(SnakeGame.LEFT);
		g.step();
		check(g.dir == SnakeGame.UP, "first buffered turn");
		g.step();
		check(g.dir == SnakeGame.LEFT, "second buffered turn");
		// Up then down: the down would reverse the up, so it is dropped.
		g = game(10, 6, [0]);
		g.turn(SnakeGame.UP);
		g.turn(SnakeGame.DOWN);
		g.step();
		g.step();
		check(g.dir == SnakeGame.UP, "a reversal of a buffered turn is dropped");
	}

	static function dying() {
		var g = game(10, 6, [0]);
		var steps = 0;
		while (g.step() != Crashed && steps < 20)
			steps++;
		check(steps == 4 && !g.alive, "the right wall kills after four steps, took " + steps);
		check(g.step() == Crashed, "a dead snake stays dead");

		// A long snake turning round on itself bites its body.
		g = game(10, 6, [0, 0, 0, 0]);
		for (i in 0...4) {
			// Grow by feeding it the cell in front each time.
			@:privateAccess g.food = g.ahead(SnakeGame.RIGHT);
			g.step();
		}
		g.turn(SnakeGame.DOWN);
		g.step();
		g.turn(SnakeGame.LEFT);
		g.step();
		g.turn(SnakeGame.UP);
		check(g.step() == Crashed, "running into its own body kills");

		// Following its own tail round a square is safe: the tail leaves just in time.
		g = game(10, 6, [0]);
		@:privateAccess g.body = [12, 11, 21, 22];
		@:privateAccess g.dir = SnakeGame.LEFT;
		g.turn(SnakeGame.DOWN);
		check(g.step() == Moved && g.alive, "moving into the cell the tail leaves is allowed");
	}

	static function fillingTheBoard() {
		// A 5x1 board with the snake on four cells: eating the last apple fills it.
		var g = new SnakeGame(5, 1, function(n) return 0);
		@:privateAccess {
			g.body = [3, 2, 1, 0];
			g.placeFood();
		}
		check(g.food == 4, "the only free cell holds the apple: " + g.food);
		check(g.step() == Filled && g.food == -1 && !g.alive, "filling the board ends the game");
	}

	static function demoSteering() {
		// The title screen's snake must never run into a wall or itself while a safe way exists.
		var g = new SnakeGame(30, 20);
		var eaten = 0;
		for (round in 0...3) {
			g.reset();
			var steps = 0;
			for (i in 0...400) {
				var safeWayExists = false;
				for (d in 0...4)
					if (d != (g.dir + 2) % 4 && g.isFree(g.ahead(d)))
						safeWayExists = true;
				g.autoSteer();
				if (g.step() == Crashed) {
					check(!safeWayExists, "demo crashed though a safe way existed");
					break;
				}
				steps++;
			}
			eaten += g.eaten;
			check(steps > 50, "demo snake survives a while");
		}
		check(eaten >= 3, "demo snake finds its apples");
	}
}
