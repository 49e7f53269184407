package;

import Board;

// The 2048 board's rules, run with the Haxe interpreter:
//   haxe -cp games/game2048 -cp games/game2048/tests -main BoardTests --interp
class BoardTests {
	static var failures = 0;

	static function check(ok:Bool, what:String) {
		if (!ok) {
			failures++;
			Sys.println("FAIL " + what);
		}
	}

	// A board holding the given cells; new tiles always land on the first empty cell as a 2.
	static function board(cells:Array<Int>):Board {
		var b = new Board(4, function(n) return n == 10 ? 5 : 0);
		@:privateAccess b.cells = cells.copy();
		return b;
	}

	static function rows(b:Board):String {
		return [for (y in 0...4) b.cells.slice(y * 4, y * 4 + 4).join(" ")].join(" | ");
	}

	static function main() {
		sliding();
		merging();
		directions();
		endOfGame();
		newTiles();
		Sys.println(failures == 0 ? "2048: all passed" : "2048: " + failures + " failed");
		Sys.exit(failures == 0 ? 0 : 1);
	}

	static function sliding() {
		var b = board([0, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]);
		check(b.move(Board.LEFT) == 0, "a slide without merges scores nothing");
		check(rows(b).indexOf("2 4 0 0") == 0, "tiles slide to the left wall: " + rows(b));
		check(b.slides.length == 2 && b.slides[0].from == 1 && b.slides[0].to == 0 && b.slides[1].from == 3 && b.slides[1].to == 1,
			"the slides tell where each tile went");
		check(b.move(Board.LEFT) == -1 && rows(b).indexOf("2 4 0 0") == 0 && b.slides.length == 0, "a move that changes nothing is refused");
	}

	static function merging() {
		var cases = [
			["2 2 0 0", "4 0 0 0", "4"],
			["2 2 2 0", "4 2 0 0", "4"],
			["2 2 2 2", "4 4 0 0", "8"], // each tile merges once a move
			["4 4 8 0", "8 8 0 0", "8"], // a fresh 8 does not merge with the old 8 in the same move
			["2 0 0 2", "4 0 0 0", "4"], // gaps between equal tiles do not stop a merge
			["8 4 4 4", "8 8 4 0", "8"],
			["2 4 8 16", "2 4 8 16", "-1"],
		];
		for (c in cases) {
			// The other rows hold tiles that cannot merge sideways, so only the first row is under test.
			var cells = c[0].split(" ").map(Std.parseInt).concat([for (i in 4...16) (i % 2 == 0) ? 32 : 64]);
			var b = board(cells);
			var got = b.move(Board.LEFT);
			check(Std.string(got) == c[2], c[0] + " scores " + c[2] + ", got " + got);
			check(b.cells.slice(0, 4).join(" ") == c[1], c[0] + " becomes " + c[1] + ", got " + b.cells.slice(0, 4).join(" "));
		}
		var b = board([2, 2, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]);
		b.move(Board.LEFT);
		check(b.score == 12, "the score adds up the merged tiles: " + b.score);
		var merged = b.slides.filter(function(s) return s.merged);
		check(merged.length == 2 && merged[0].to == 0 && merged[1].to == 1, "merges are marked for the animation");
	}

	static function directions() {
		var start = [2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 4];
		var b = board(start);
		b.move(Board.RIGHT);
		check(b.cells[3] == 2 && b.cells[15] == 4 && b.cells[14] == 2, "right: " + rows(b));
		b = board(start);
		b.move(Board.DOWN);
		check(b.cells[12] == 4 && b.cells[15] == 4, "down merges the column: " + rows(b));
		b = board(start);
		b.move(Board.UP);
		check(b.cells[0] == 4 && b.cells[3] == 4 && b.cells[12] == 0, "up merges the column: " + rows(b));
		// In a column of three equal tiles, the pair nearest the wall merges.
		b = board([2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0]);
		b.move(Board.DOWN);
		check(b.cells[12] == 4 && b.cells[8] == 2 && b.cells[4] == 0, "down: the lower pair merges: " + rows(b));
	}

	static function endOfGame() {
		var full = [2, 4, 2, 4, 4, 2, 4, 2, 2, 4, 2, 4, 4, 2, 4, 2];
		check(!board(full).canMove(), "a full board without neighbours is stuck");
		var pair = full.copy();
		pair[15] = 4;
		check(board(pair).canMove(), "two equal neighbours in the last row can still merge");
		var column = full.copy();
		column[3] = 2;
		check(board(column).canMove(), "two equal neighbours in the last column can still merge");
		var hole = full.copy();
		hole[5] = 0;
		check(board(hole).canMove(), "an empty cell leaves a move");
		var b = board(full);
		for (d in 0...4)
			check(b.move(d) == -1, "no direction moves a stuck board");
		b = board([1024, 1024, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]);
		b.move(Board.LEFT);
		check(b.biggest() == Board.GOAL, "two 1024 make the goal");
	}

	static function newTiles() {
		var b = new Board();
		b.reset();
		var tiles = b.cells.filter(function(v) return v != 0);
		check(tiles.length == 2, "a new game starts with two tiles");
		for (v in tiles)
			check(v == 2 || v == 4, "starting tiles are 2 or 4");
		b = board([2, 4, 2, 4, 4, 2, 4, 2, 2, 4, 2, 4, 4, 2, 4, 0]);
		check(b.addTile() == 15 && b.cells[15] == 2, "a new tile lands on the empty cell");
		check(b.addTile() == -1, "no room, no tile");
		var fours = new Board(4, function(n) return 0);
		check(fours.addTile() >= 0 && fours.biggest() == 4, "one time in ten the new tile is a 4");
	}
}
