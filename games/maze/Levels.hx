package;

// How big each level's maze is, how many pixels a cell gets on the board, and how long the clock runs.
class Levels {
	public static inline var BOARD_W = 530;
	public static inline var BOARD_H = 352;

	// Level 1 is 8 x 5 cells; each level adds four columns and two rows, up to what the board can show.
	public static function cols(level:Int):Int {
		return Std.int(Math.min(8 + 4 * (level - 1), 40));
	}

	public static function rows(level:Int):Int {
		return Std.int(Math.min(5 + 2 * (level - 1), 27));
	}

	// Pixels from one wall line to the next, leaving room for the closing wall on the right and bottom.
	public static function cellSize(cols:Int, rows:Int):Int {
		return Std.int(Math.min((BOARD_W - 8) / cols, (BOARD_H - 8) / rows));
	}

	// Wall thickness for a cell size: thin lines for small cells, about a seventh of a big one.
	public static function wallFor(size:Int):Int {
		return size >= 28 ? Std.int(size / 7) : (size >= 14 ? 3 : 2);
	}

	// Seconds on the clock for a maze of so many cells.
	public static function seconds(cells:Int):Int {
		return 15 + Math.ceil(cells * 0.12);
	}
}
