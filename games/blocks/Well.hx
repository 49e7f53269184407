package;

// The rules of the falling-blocks well, kept apart from the drawing so that they can be checked alone.
// Cells are numbered row by row from the top (cell = y * COLS + x) and hold 0 or a piece kind + 1.
class Well {
	public static inline var COLS = 10;
	public static inline var ROWS = 20;
	public static inline var KINDS = 7;

	// The seven pieces in their spawn orientation: box size, then the cells' x,y inside the box.
	static var SHAPES:Array<Array<Int>> = [
		[4, 0, 1, 1, 1, 2, 1, 3, 1], // I
		[3, 0, 0, 0, 1, 1, 1, 2, 1], // J
		[3, 2, 0, 0, 1, 1, 1, 2, 1], // L
		[2, 0, 0, 1, 0, 0, 1, 1, 1], // O
		[3, 1, 0, 2, 0, 0, 1, 1, 1], // S
		[3, 1, 0, 0, 1, 1, 1, 2, 1], // T
		[3, 0, 0, 1, 0, 1, 1, 2, 1], // Z
	];
	// Where a blocked turn tries the piece next: in place, one step aside, two aside (the long piece), one up.
	static var KICKS:Array<Array<Int>> = [[0, 0], [-1, 0], [1, 0], [-2, 0], [2, 0], [0, -1], [-1, -1], [1, -1]];
	static var LINE_POINTS = [0, 100, 300, 500, 800];
	static var FRAMES_PER_ROW = [24, 21, 18, 15, 12, 10, 8, 6, 5, 4, 3, 3, 2, 2, 2, 1];

	public var cells(default, null):Array<Int>;
	public var kind(default, null) = 0;
	public var turn(default, null) = 0;
	public var x(default, null) = 0;
	public var y(default, null) = 0;
	public var next(default, null) = 0;
	public var score(default, null) = 0;
	public var lines(default, null) = 0;
	public var over(default, null) = false;
	public var level(get, never):Int;

	var bag:Array<Int> = [];
	var random:Int->Int;

	public function new(?random:Int->Int) {
		this.random = random != null ? random : Std.random;
		cells = [for (i in 0...COLS * ROWS) 0];
		next = draw();
		spawn();
	}

	function get_level():Int {
		return 1 + Std.int(lines / 10);
	}

	// Frames a piece takes to fall one row at the current level (30 frames a second).
	public function framesPerRow():Int {
		return FRAMES_PER_ROW[Std.int(Math.min(level, FRAMES_PER_ROW.length)) - 1];
	}

	// Every piece once in each run of seven, in a shuffled order: no long droughts.
	function draw():Int {
		if (bag.length == 0) {
			bag = [for (k in 0...KINDS) k];
			var i = bag.length;
			while (i > 1) {
				var j = random(i);
				i--;
				var t = bag[i];
				bag[i] = bag[j];
				bag[j] = t;
			}
		}
		return bag.pop();
	}

	// The cells (x,y pairs in the well) that piece kind k covers turned t times clockwise at (px,py).
	public static function shape(k:Int, t:Int, px:Int, py:Int):Array<Int> {
		var s = SHAPES[k];
		var n = s[0];
		var out = [];
		var i = 1;
		while (i < s.length) {
			var cx = s[i];
			var cy = s[i + 1];
			for (r in 0...(t & 3)) {
				var tx = n - 1 - cy;
				cy = cx;
				cx = tx;
			}
			out.push(px + cx);
			out.push(py + cy);
			i += 2;
		}
		return out;
	}

	public function pieceCells():Array<Int> {
		return shape(kind, turn, x, y);
	}

	// Whether piece k fits at (px,py): inside the walls and floor, on empty cells; above the top is open.
	public function fits(k:Int, t:Int, px:Int, py:Int):Bool {
		var c = shape(k, t, px, py);
		var i = 0;
		while (i < c.length) {
			var cx = c[i];
			var cy = c[i + 1];
			if (cx < 0 || cx >= COLS || cy >= ROWS)
				return false;
			if (cy >= 0 && cells[cy * COLS + cx] != 0)
				return false;
			i += 2;
		}
		return true;
	}

	// Brings in the next piece at the top; false (and the game is over) when it has no room.
	public function spawn():Bool {
		kind = next;
		next = draw();
		turn = 0;
		x = kind == 3 ? 4 : 3;
		// The long piece lies in its box's second row: lift it so that it starts on the top row.
		y = kind == 0 ? -1 : 0;
		if (!fits(kind, turn, x, y)) {
			over = true;
			return false;
		}
		return true;
	}

	public function move(dx:Int):Bool {
		if (over || !fits(kind, turn, x + dx, y))
			return false;
		x += dx;
		return true;
	}

	// One row down; a soft drop by the player earns a point a row.
	public function fall(byPlayer = false):Bool {
		if (over || !fits(kind, turn, x, y + 1))
			return false;
		y++;
		if (byPlayer)
			score++;
		return true;
	}

	public function rotate(dir:Int):Bool {
		if (over)
			return false;
		var t = (turn + dir + 4) & 3;
		for (k in KICKS) {
			// Only the long piece needs the two-step kicks.
			if ((k[0] == 2 || k[0] == -2) && kind != 0)
				continue;
			if (fits(kind, t, x + k[0], y + k[1])) {
				turn = t;
				x += k[0];
				y += k[1];
				return true;
			}
		}
		return false;
	}

	// The row the piece would land on if dropped now.
	public function landingY():Int {
		var ly = y;
		while (fits(kind, turn, x, ly + 1))
			ly++;
		return ly;
	}

	// Drops the piece to the floor (two points a row); the caller then locks it.
	public function hardDrop():Int {
		var rows = landingY() - y;
		y += rows;
		score += rows * 2;
		return rows;
	}

	public function resting():Bool {
		return !fits(kind, turn, x, y + 1);
	}

	// Writes the piece into the well and answers the rows it filled (not yet cleared).
	// A piece left wholly or partly above the top ends the game.
	public function lock():Array<Int> {
		var c = pieceCells();
		var i = 0;
		while (i < c.length) {
			if (c[i + 1] < 0)
				over = true;
			else
				cells[c[i + 1] * COLS + c[i]] = kind + 1;
			i += 2;
		}
		var full = [];
		for (row in 0...ROWS) {
			var filled = true;
			for (col in 0...COLS)
				if (cells[row * COLS + col] == 0) {
					filled = false;
					break;
				}
			if (filled)
				full.push(row);
		}
		return full;
	}

	// Removes the full rows, drops the rest and scores them at the level they were made on.
	public function clearRows(full:Array<Int>) {
		if (full.length == 0)
			return;
		score += LINE_POINTS[full.length] * level;
		var kept = [];
		for (row in 0...ROWS)
			if (full.indexOf(row) < 0)
				kept.push(row);
		var fresh = [for (i in 0...full.length * COLS) 0];
		for (row in kept)
			for (col in 0...COLS)
				fresh.push(cells[row * COLS + col]);
		cells = fresh;
		lines += full.length;
	}
}
