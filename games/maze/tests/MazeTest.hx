// Checks the maze carver and the level sizes. From the repository root:
//   haxe -cp games/maze -cp games/maze/tests -main MazeTest --interp
class MazeTest {
	static var failures = 0;

	static function check(ok:Bool, what:String) {
		if (!ok) {
			failures++;
			Sys.println("FAIL " + what);
		}
	}

	static function lcg(seed:Int):Void->Float {
		var s = seed;
		return function() {
			s = (s * 1103515245 + 12345) & 0x7fffffff;
			return s / 2147483648.0;
		};
	}

	static function main() {
		for (seed in 1...40) {
			var cols = 1 + seed % 13, rows = 1 + (seed * 7) % 11;
			var m = new Maze(cols, rows, lcg(seed));
			var carved = 0;
			while (m.step() >= 0)
				carved++;
			check(m.finished() && m.head() == -1, "walk ends");
			// A perfect maze: every cell reached, one passage fewer than cells, passages open both ways.
			check(carved == cols * rows - 1, 'carved $carved of ${cols * rows}');
			var dist = m.distances(0);
			check(!Lambda.exists(dist, d -> d < 0), "every cell reachable");
			var edges = 0;
			for (c in 0...cols * rows)
				for (d in 0...4)
					if (m.isOpen(c, d)) {
						var n = m.neighbour(c, d);
						check(n >= 0, "no passage through the outer wall");
						if (n >= 0)
							check(m.isOpen(n, (d + 2) % 4), "passage open from both sides");
						edges++;
					}
			check(edges == 2 * (cols * rows - 1), "no loops");
			var far = m.furthestFrom(0);
			for (d in dist)
				check(d <= dist[far], "exit is the furthest cell");
		}
		// Random numbers at the very top of the range must not pick a missing direction.
		var m = new Maze(5, 5, () -> 0.9999999999);
		m.generate();
		check(!Lambda.exists(m.distances(0), d -> d < 0), "top-of-range random");
		// Levels grow and always fit the board at a readable size.
		var last = 0;
		for (level in 1...40) {
			var cols = Levels.cols(level), rows = Levels.rows(level);
			var size = Levels.cellSize(cols, rows);
			var wall = Levels.wallFor(size);
			check(cols * rows >= last, "levels never shrink");
			check(size >= 12 && cols * size + wall <= Levels.BOARD_W && rows * size + wall <= Levels.BOARD_H, 'level $level fits');
			check(wall * 4 <= size, "walls leave room to walk");
			check(Levels.seconds(cols * rows) >= 20, "enough time");
			last = cols * rows;
		}
		Sys.println(failures == 0 ? "maze tests passed" : failures + " failures");
		Sys.exit(failures == 0 ? 0 : 1);
	}
}
