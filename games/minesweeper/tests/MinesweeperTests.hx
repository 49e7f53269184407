package;

import Field;

// The minefield's rules, run with the Haxe interpreter:
//   haxe -cp games/minesweeper -cp games/minesweeper/tests -main MinesweeperTests --interp
class MinesweeperTests {
	static var failures = 0;

	static function check(ok:Bool, what:String) {
		if (!ok) {
			failures++;
			Sys.println("FAIL " + what);
		}
	}

	// A field whose mines go on the given cells: the chooser always picks the wanted cell among the free ones.
	static function field(cols:Int, rows:Int, mines:Array<Int>):Field {
		var f = new Field(cols, rows, mines.length);
		@:privateAccess {
			for (i in mines)
				f.mine[i] = true;
			for (i in 0...f.size()) {
				var n = 0;
				for (j in f.neighbours(i))
					if (f.mine[j])
						n++;
				f.near[i] = n;
			}
			f.laid = true;
		}
		return f;
	}

	static function main() {
		layingKeepsTheFirstOpeningSafe();
		openingFloodsEmptyCells();
		flagsAndLosing();
		openingAroundANumber();
		Sys.println(failures == 0 ? "minesweeper: all passed" : "minesweeper: " + failures + " failed");
		Sys.exit(failures == 0 ? 0 : 1);
	}

	static function layingKeepsTheFirstOpeningSafe() {
		var corners = [0, 4, 20, 24];
		for (seed in 0...40) {
			var k = seed;
			var f = new Field(5, 5, 8, function(n) return (k = (k * 31 + 7) % 1009) % n);
			var first = corners[seed % 4];
			f.open(first);
			var count = 0;
			for (i in 0...f.size())
				if (f.isMine(i))
					count++;
			check(count == 8, "every mine laid, got " + count);
			check(!f.isLost(), "the first opening never hits a mine");
			for (j in f.neighbours(first))
				check(!f.isMine(j), "no mine next to the first opening");
			check(f.minesAround(first) == 0 && f.opened > 1, "the first opening clears an area");
		}

		// Too many mines to keep the neighbours clear: only the opened cell itself is spared.
		var f = new Field(3, 3, 8, function(n) return 0);
		f.open(4);
		check(!f.isLost() && f.mines == 8 && f.minesAround(4) == 8, "a crowded field spares just the first cell");
		check(f.isWon(), "opening the one safe cell wins");
	}

	static function openingFloodsEmptyCells() {
		// A 5x3 field with one mine in the right column:
		//   . . . 1 *
		//   . . . 1 1
		//   . . . . .
		var f = field(5, 3, [4]);
		var opened = f.open(0);
		check(opened.length == 14 && f.opened == 14, "the empty area and its border open at once: " + opened.length);
		check(f.stateOf(4) == Field.HIDDEN, "the mine stays shut");
		check(f.isWon() && f.isOver(), "all safe cells open wins");
		check(f.open(4).length == 0 && !f.isLost(), "nothing opens after a win");

		// A number opens alone.
		f = field(5, 3, [4]);
		check(f.open(3).join(",") == "3" && f.opened == 1, "a number opens only itself");
		check(f.open(3).length == 0, "opening an open cell does nothing");
	}

	static function flagsAndLosing() {
		var f = field(4, 4, [5, 10]);
		check(f.toggleFlag(5) && f.stateOf(5) == Field.FLAGGED && f.flags == 1, "a shut cell takes a flag");
		check(f.open(5).length == 0 && !f.isLost(), "a flagged cell does not open");
		check(f.toggleFlag(5) && f.stateOf(5) == Field.HIDDEN && f.flags == 0, "a second flag takes it away");
		f.open(0);
		check(!f.toggleFlag(0), "an open cell takes no flag");
		f.open(10);
		check(f.isLost() && f.exploded == 10 && !f.isWon(), "opening a mine loses");
		check(!f.toggleFlag(15) && f.open(15).length == 0, "nothing changes after a loss");
	}

	static function openingAroundANumber() {
		// Mine at 1; cell 5 touches it and three shut cells more.
		//   . * . .
		//   . 1 . .
		var f = field(4, 2, [1]);
		f.open(5);
		check(f.openAround(5).length == 0, "no flags yet: nothing opens around the number");
		f.toggleFlag(0);
		f.openAround(5);
		check(f.isLost() && f.exploded == 1, "a wrong flag makes opening around explode the real mine");

		f = field(4, 2, [1]);
		f.open(5);
		f.toggleFlag(1);
		var opened = f.openAround(5);
		opened.sort(function(a, b) return a - b);
		check(opened.join(",") == "0,2,4,6", "the right flag opens the other cells around: " + opened);
		check(f.stateOf(1) == Field.FLAGGED && !f.isOver(), "the flagged mine stays shut");
	}
}
