package;

// The well's rules, run with the Haxe interpreter:
//   haxe -cp games/blocks -cp games/blocks/tests -main WellTests --interp
class WellTests {
	static var failures = 0;

	static function check(ok:Bool, what:String) {
		if (!ok) {
			failures++;
			Sys.println("FAIL " + what);
		}
	}

	// A well whose bag shuffle leaves the kinds in order, so pieces come out 6, 5, 4, ... 0, 6, 5 ...
	static function orderedWell():Well {
		return new Well(function(n) return n - 1);
	}

	static function main() {
		shapes();
		bag();
		moving();
		turning();
		clearing();
		ending();
		Sys.println(failures == 0 ? "blocks: all passed" : "blocks: " + failures + " failed");
		Sys.exit(failures == 0 ? 0 : 1);
	}

	static function sorted(c:Array<Int>):String {
		var pairs = [];
		var i = 0;
		while (i < c.length) {
			pairs.push(c[i + 1] * 100 + c[i]);
			i += 2;
		}
		pairs.sort(function(a, b) return a - b);
		return pairs.join(",");
	}

	static function shapes() {
		for (k in 0...Well.KINDS) {
			var c = Well.shape(k, 0, 0, 0);
			check(c.length == 8, "piece " + k + " has four cells");
			check(sorted(Well.shape(k, 4, 0, 0)) == sorted(c), "four turns bring piece " + k + " back");
			check(sorted(Well.shape(k, 1, 0, 0)) != sorted(c) || k == 3, "a turn changes piece " + k);
		}
		check(sorted(Well.shape(3, 1, 0, 0)) == sorted(Well.shape(3, 0, 0, 0)), "the square does not change when turned");
		// The long piece stands upright in its box's third column after one turn.
		check(sorted(Well.shape(0, 1, 0, 0)) == "2,102,202,302", "upright long piece " + sorted(Well.shape(0, 1, 0, 0)));
	}

	static function bag() {
		var w = new Well();
		var seen = [for (k in 0...Well.KINDS) 0];
		// Fourteen pieces in a row are two full bags: each kind exactly twice.
		for (i in 0...14) {
			seen[w.kind]++;
			@:privateAccess w.spawn();
		}
		check(seen.join(",") == "2,2,2,2,2,2,2", "every kind once a bag: " + seen);
	}

	static function moving() {
		var w = orderedWell();
		check(w.kind == 6 && w.x == 3 && w.y == 0, "first piece spawns at the top middle");
		var steps = 0;
		while (w.move(-1))
			steps++;
		check(steps == 3 && w.x == 0, "three steps to the left wall, took " + steps);
		while (w.move(1))
			steps++;
		check(w.x == 7, "right wall stops a three-wide piece at x 7: " + w.x);
		var before = w.score;
		check(w.fall(true) && w.score == before + 1, "a soft drop scores a point a row");
		check(w.fall() && w.score == before + 1, "falling by itself scores nothing");
		var rows = w.hardDrop();
		check(rows == 16 && w.resting() && w.score == before + 1 + 32, "hard drop to the floor, two points a row: " + rows);
		check(!w.fall(), "a resting piece does not fall");
	}

	static function turning() {
		var w = orderedWell();
		// The long piece is the seventh; take it to the left wall standing up, then turn it flat.
		while (w.kind != 0)
			@:privateAccess w.spawn();
		check(w.y == -1 && sorted(w.pieceCells()) == "3,4,5,6", "long piece spawns flat on the top row");
		check(w.rotate(1), "turn upright");
		w.fall();
		w.fall();
		while (w.move(-1)) {}
		check(sorted(w.pieceCells()).split(",").map(function(s) return Std.parseInt(s) % 100).join("") == "0000",
			"upright against the left wall");
		check(w.rotate(1) && w.fits(w.kind, w.turn, w.x, w.y), "turning against the wall kicks the piece back in");
		var xs = [for (i in 0...4) w.pieceCells()[i * 2]];
		xs.sort(function(a, b) return a - b);
		check(xs.join(",") == "0,1,2,3", "kicked flat piece lies inside the well: " + xs);

		// A piece boxed in on every side cannot turn, and stays as it was.
		w = orderedWell();
		for (i in 0...Well.COLS * Well.ROWS)
			w.cells[i] = 1;
		for (c in [3, 4, 13, 14])
			w.cells[c] = 0;
		@:privateAccess {
			w.kind = 3;
			w.x = 3;
			w.y = 0;
		}
		check(w.rotate(1) && sorted(w.pieceCells()) == "3,4,103,104", "the square turns in place");
		@:privateAccess w.kind = 5;
		check(!w.rotate(1) && w.turn == 1, "a blocked turn changes nothing");
	}

	// Fills the bottom rows except the given columns.
	static function fillRows(w:Well, rows:Int, gapCol:Int) {
		for (r in Well.ROWS - rows...Well.ROWS)
			for (c in 0...Well.COLS)
				w.cells[r * Well.COLS + c] = c == gapCol ? 0 : 2;
	}

	static function clearing() {
		// Four rows with a gap in the last column; the upright long piece fills all four at once.
		var w = orderedWell();
		fillRows(w, 4, 9);
		w.cells[15 * Well.COLS] = 5; // a block resting on the rows, which must drop four rows down
		while (w.kind != 0)
			@:privateAccess w.spawn();
		w.rotate(1);
		while (w.move(1)) {}
		w.hardDrop();
		var full = w.lock();
		check(full.join(",") == "16,17,18,19", "four full rows found: " + full);
		var scoreBefore = w.score;
		w.clearRows(full);
		check(w.lines == 4 && w.score == scoreBefore + 800, "four lines at level 1 score 800");
		check(w.cells[19 * Well.COLS] == 5, "the block above drops onto the floor");
		var others = 0;
		for (v in w.cells)
			if (v != 0)
				others++;
		check(others == 1, "only that block is left: " + others);

		// Rows that are not neighbours: the ones between them stay, in order.
		w = orderedWell();
		fillRows(w, 3, -1);
		w.cells[18 * Well.COLS + 4] = 0;
		w.cells[18 * Well.COLS + 5] = 7;
		var full = w.lock();
		check(full.join(",") == "17,19", "rows 17 and 19 are full: " + full);
		w.clearRows(full);
		check(w.cells[19 * Well.COLS + 4] == 0 && w.cells[19 * Well.COLS + 5] == 7, "the row between them lands on the floor");

		// Ten lines make level 2: points are multiplied and the pieces fall faster.
		w = orderedWell();
		var slow = w.framesPerRow();
		for (i in 0...10) {
			fillRows(w, 1, -1);
			w.clearRows([19]);
		}
		check(w.level == 2 && w.framesPerRow() < slow, "ten lines make level 2");
		var before = w.score;
		fillRows(w, 1, -1);
		w.clearRows([19]);
		check(w.score - before == 200, "a single line at level 2 scores 200");
		@:privateAccess w.lines = 500;
		check(w.framesPerRow() >= 1, "the speed tops out at a row a frame");
	}

	static function ending() {
		// A well filled up to the second row leaves no room for the next piece.
		var w = orderedWell();
		for (i in Well.COLS...Well.COLS * Well.ROWS)
			w.cells[i] = 1;
		for (r in 1...Well.ROWS)
			w.cells[r * Well.COLS] = 0; // keep the rows from being full
		check(!w.spawn() && w.over, "no room to spawn ends the game");
		check(!w.move(1) && !w.rotate(1) && !w.fall(), "nothing moves once the game is over");

		// A piece locked while sticking out of the top also ends it.
		w = orderedWell();
		@:privateAccess w.y = -1;
		w.lock();
		check(w.over, "locking above the top ends the game");
	}
}
