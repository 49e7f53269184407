package;

// Where one tile went in a move; two tiles that merged share the same `to`.
typedef Slide = {
	var from:Int;
	var to:Int;
	var merged:Bool;
}

// The rules of 2048 on a square board, kept apart from the drawing so that they can be checked alone.
// Cells are numbered row by row (cell = y * size + x) and hold 0 or a tile's value.
class Board {
	public static inline var LEFT = 0;
	public static inline var RIGHT = 1;
	public static inline var UP = 2;
	public static inline var DOWN = 3;
	public static inline var GOAL = 2048;

	public var size(default, null):Int;
	public var cells(default, null):Array<Int>;
	public var score(default, null) = 0;
	// The slides of the last move, for the animation.
	public var slides(default, null):Array<Slide> = [];

	var random:Int->Int;

	public function new(size = 4, ?random:Int->Int) {
		this.size = size;
		this.random = random != null ? random : Std.random;
		cells = [for (i in 0...size * size) 0];
	}

	// A new game: an empty board with two tiles.
	public function reset() {
		cells = [for (i in 0...size * size) 0];
		score = 0;
		slides = [];
		addTile();
		addTile();
	}

	// Drops a 2 (or, one time in ten, a 4) on a random empty cell and answers the cell, -1 when full.
	public function addTile():Int {
		var empty = [for (i in 0...cells.length) if (cells[i] == 0) i];
		if (empty.length == 0)
			return -1;
		var c = empty[random(empty.length)];
		cells[c] = random(10) == 0 ? 4 : 2;
		return c;
	}

	// The cells of line i in direction dir, starting from the side the tiles slide towards.
	function line(dir:Int, i:Int):Array<Int> {
		return [
			for (j in 0...size)
				switch (dir) {
					case LEFT: i * size + j;
					case RIGHT: i * size + size - 1 - j;
					case UP: j * size + i;
					default: (size - 1 - j) * size + i;
				}
		];
	}

	// Slides every tile towards dir; equal neighbours merge once a move. Answers the points won,
	// or -1 when nothing could move (the board is then unchanged).
	public function move(dir:Int):Int {
		var before = cells.copy();
		var gained = 0;
		slides = [];
		for (i in 0...size) {
			var l = line(dir, i);
			var target = 0;
			var open = false; // whether the tile at l[target - 1] may still take a merge
			for (j in 0...size) {
				var v = before[l[j]];
				if (v == 0)
					continue;
				if (open && cells[l[target - 1]] == v) {
					cells[l[target - 1]] = v * 2;
					gained += v * 2;
					open = false;
					slides.push({from: l[j], to: l[target - 1], merged: true});
					if (l[j] != l[target - 1])
						cells[l[j]] = 0;
					continue;
				}
				cells[l[j]] = 0;
				cells[l[target]] = v;
				slides.push({from: l[j], to: l[target], merged: false});
				target++;
				open = true;
			}
		}
		var changed = false;
		for (i in 0...cells.length)
			if (cells[i] != before[i])
				changed = true;
		if (!changed) {
			slides = [];
			return -1;
		}
		score += gained;
		return gained;
	}

	public function canMove():Bool {
		for (y in 0...size)
			for (x in 0...size) {
				var v = cells[y * size + x];
				if (v == 0)
					return true;
				if (x + 1 < size && cells[y * size + x + 1] == v)
					return true;
				if (y + 1 < size && cells[(y + 1) * size + x] == v)
					return true;
			}
		return false;
	}

	public function biggest():Int {
		var m = 0;
		for (v in cells)
			if (v > m)
				m = v;
		return m;
	}
}
