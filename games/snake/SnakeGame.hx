package;

enum StepResult {
	Moved;
	Ate;
	Crashed;
	Filled;
}

// The rules of Snake on a grid of cells, kept apart from the drawing so that they can be checked alone.
// Cells are numbered row by row: cell = y * cols + x.
class SnakeGame {
	public static inline var RIGHT = 0;
	public static inline var DOWN = 1;
	public static inline var LEFT = 2;
	public static inline var UP = 3;
	public static inline var POINTS = 10;

	static var DX = [1, 0, -1, 0];
	static var DY = [0, 1, 0, -1];

	public var cols(default, null):Int;
	public var rows(default, null):Int;
	// The snake's cells, head first.
	public var body(default, null):Array<Int> = [];
	public var dir(default, null) = RIGHT;
	// The apple's cell, -1 when the snake fills the whole board.
	public var food(default, null) = -1;
	public var eaten(default, null) = 0;
	public var alive(default, null) = true;
	public var score(get, never):Int;

	// Turns asked for but not made yet: two quick presses between steps both count.
	var turns:Array<Int> = [];
	var random:Int->Int;

	public function new(cols:Int, rows:Int, ?random:Int->Int) {
		this.cols = cols;
		this.rows = rows;
		this.random = random != null ? random : Std.random;
		reset();
	}

	public function reset() {
		var y = Std.int(rows / 2);
		var x = Std.int(cols / 4) + 3;
		body = [for (i in 0...4) y * cols + x - i];
		dir = RIGHT;
		turns = [];
		eaten = 0;
		alive = true;
		placeFood();
	}

	function get_score():Int {
		return eaten * POINTS;
	}

	// Steps a second: the snake speeds up as it eats.
	public function stepsPerSecond():Float {
		return Math.min(12, 5 + eaten * 0.25);
	}

	// Asks for a turn; turning back onto the neck is ignored.
	public function turn(d:Int) {
		var last = turns.length > 0 ? turns[turns.length - 1] : dir;
		if (d == last || d == (last + 2) % 4 || turns.length >= 2)
			return;
		turns.push(d);
	}

	// The cell beside the head in direction d, -1 beyond the walls.
	public function ahead(d:Int):Int {
		var x = body[0] % cols + DX[d];
		var y = Std.int(body[0] / cols) + DY[d];
		if (x < 0 || y < 0 || x >= cols || y >= rows)
			return -1;
		return y * cols + x;
	}

	// Whether the head may move into cell c next step: the tail leaves its cell unless the snake grows.
	public function isFree(c:Int):Bool {
		if (c < 0)
			return false;
		var last = c == food ? body.length : body.length - 1;
		for (i in 0...last)
			if (body[i] == c)
				return false;
		return true;
	}

	public function step():StepResult {
		if (!alive)
			return Crashed;
		if (turns.length > 0)
			dir = turns.shift();
		var next = ahead(dir);
		if (!isFree(next)) {
			alive = false;
			return Crashed;
		}
		body.unshift(next);
		if (next != food) {
			body.pop();
			return Moved;
		}
		eaten++;
		placeFood();
		if (food < 0) {
			alive = false;
			return Filled;
		}
		return Ate;
	}

	function placeFood() {
		var free = cols * rows - body.length;
		food = -1;
		if (free <= 0)
			return;
		var taken = new Map<Int, Bool>();
		for (c in body)
			taken.set(c, true);
		var n = random(free);
		for (c in 0...cols * rows) {
			if (taken.exists(c))
				continue;
			if (n == 0) {
				food = c;
				return;
			}
			n--;
		}
	}

	// Steering for the title screen's demo: of the safe ways, the one nearest the apple, preferring room to move.
	public function autoSteer() {
		var choice = -1;
		var bestCost = 1e9;
		var fx = food % cols;
		var fy = Std.int(food / cols);
		for (d in 0...4) {
			if (d == (dir + 2) % 4)
				continue;
			var c = ahead(d);
			if (!isFree(c))
				continue;
			var cost:Float = Math.abs(c % cols - fx) + Math.abs(Std.int(c / cols) - fy);
			if (room(c) < body.length)
				cost += 1000;
			if (cost < bestCost) {
				bestCost = cost;
				choice = d;
			}
		}
		turns = choice >= 0 && choice != dir ? [choice] : [];
	}

	// How many cells the head could reach from c (a flood fill over the free cells).
	function room(c:Int):Int {
		var seen = new Map<Int, Bool>();
		for (b in body)
			seen.set(b, true);
		var todo = [c];
		seen.set(c, true);
		var count = 0;
		while (todo.length > 0) {
			var cell = todo.pop();
			count++;
			var x = cell % cols;
			var y = Std.int(cell / cols);
			for (d in 0...4) {
				var nx = x + DX[d];
				var ny = y + DY[d];
				if (nx < 0 || ny < 0 || nx >= cols || ny >= rows)
					continue;
				var n = ny * cols + nx;
				if (!seen.exists(n)) {
					seen.set(n, true);
					todo.push(n);
				}
			}
		}
		return count;
	}
}
