package;

// A perfect maze on a grid: exactly one path joins any two cells. It is carved by a depth-first walk
// that can run all at once (a level) or one passage at a time (the title screen shows it growing).
class Maze {
	public static inline var NORTH = 0;
	public static inline var EAST = 1;
	public static inline var SOUTH = 2;
	public static inline var WEST = 3;

	static var DX = [0, 1, 0, -1];
	static var DY = [-1, 0, 1, 0];

	public var cols(default, null):Int;
	public var rows(default, null):Int;

	// One bit per direction: set when the passage that way is open.
	var open:Array<Int>;
	var visited:Array<Bool>;
	var stack:Array<Int>;
	var random:Void->Float;

	public function new(cols:Int, rows:Int, random:Void->Float) {
		this.cols = cols;
		this.rows = rows;
		this.random = random;
		open = [for (_ in 0...cols * rows) 0];
		visited = [for (_ in 0...cols * rows) false];
		visited[0] = true;
		stack = [0];
	}

	public inline function index(col:Int, row:Int):Int {
		return row * cols + col;
	}

	public inline function colOf(cell:Int):Int {
		return cell % cols;
	}

	public inline function rowOf(cell:Int):Int {
		return Std.int(cell / cols);
	}

	public function finished():Bool {
		return stack.length == 0;
	}

	// The cell the walk stands on, or -1 once it is over.
	public function head():Int {
		return stack.length == 0 ? -1 : stack[stack.length - 1];
	}

	// Carves one passage from the walk's head into an unvisited neighbour, backing up out of dead ends
	// first. Returns the newly reached cell, or -1 when the whole grid is carved.
	public function step():Int {
		while (stack.length > 0) {
			var cell = stack[stack.length - 1];
			var choices = [];
			for (dir in 0...4) {
				var next = neighbour(cell, dir);
				if (next >= 0 && !visited[next])
					choices.push(dir);
			}
			if (choices.length == 0) {
				stack.pop();
				continue;
			}
			var dir = choices[Std.int(random() * choices.length) % choices.length];
			var next = neighbour(cell, dir);
			open[cell] |= 1 << dir;
			open[next] |= 1 << ((dir + 2) % 4);
			visited[next] = true;
			stack.push(next);
			return next;
		}
		return -1;
	}

	public function generate() {
		while (step() >= 0) {}
	}

	// The cell next to `cell` in direction `dir`, or -1 past the edge.
	public function neighbour(cell:Int, dir:Int):Int {
		var c = colOf(cell) + DX[dir];
		var r = rowOf(cell) + DY[dir];
		if (c < 0 || r < 0 || c >= cols || r >= rows)
			return -1;
		return index(c, r);
	}

	public inline function isOpen(cell:Int, dir:Int):Bool {
		return (open[cell] & (1 << dir)) != 0;
	}

	// Steps from `from` to every cell along the maze's passages (-1 where it cannot be reached).
	public function distances(from:Int):Array<Int> {
		var dist = [for (_ in 0...cols * rows) -1];
		dist[from] = 0;
		var queue = [from];
		var head = 0;
		while (head < queue.length) {
			var cell = queue[head++];
			for (dir in 0...4) {
				if (!isOpen(cell, dir))
					continue;
				var next = neighbour(cell, dir);
				if (dist[next] < 0) {
					dist[next] = dist[cell] + 1;
					queue.push(next);
				}
			}
		}
		return dist;
	}

	// The cell furthest from `from` along the passages: the exit of a level.
	public function furthestFrom(from:Int):Int {
		var dist = distances(from);
		var best = from;
		for (i in 0...dist.length)
			if (dist[i] > dist[best])
				best = i;
		return best;
	}

	public static inline function dx(dir:Int):Int {
		return DX[dir];
	}

	public static inline function dy(dir:Int):Int {
		return DY[dir];
	}
}
