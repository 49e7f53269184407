package;

// The minefield's rules, free of any drawing: where the mines are, what is open or flagged, and when the
// game is won or lost. Cells are numbered row by row, index = row * cols + col.
class Field {
	public static inline var HIDDEN = 0;
	public static inline var OPEN = 1;
	public static inline var FLAGGED = 2;

	public var cols(default, null):Int;
	public var rows(default, null):Int;
	public var mines(default, null):Int;
	// Mines are laid on the first opening, so that it never hits one.
	public var laid(default, null) = false;
	public var opened(default, null) = 0;
	public var flags(default, null) = 0;
	// The mine that went off, or -1.
	public var exploded(default, null) = -1;

	var mine:Array<Bool> = [];
	var state:Array<Int> = [];
	var near:Array<Int> = [];
	var random:Int->Int;

	// random(n) answers a whole number from 0 to n - 1; the game passes a random one, the tests a fixed one.
	public function new(cols:Int, rows:Int, mines:Int, ?random:Int->Int) {
		this.cols = cols;
		this.rows = rows;
		this.mines = mines;
		this.random = random != null ? random : function(n) return Std.int(Math.random() * n);
		for (i in 0...cols * rows) {
			mine.push(false);
			state.push(HIDDEN);
			near.push(0);
		}
	}

	public inline function size():Int {
		return cols * rows;
	}

	public function isMine(i:Int):Bool {
		return mine[i];
	}

	public function stateOf(i:Int):Int {
		return state[i];
	}

	// How many mines touch cell i.
	public function minesAround(i:Int):Int {
		return near[i];
	}

	public function isWon():Bool {
		return exploded < 0 && opened == size() - mines;
	}

	public function isLost():Bool {
		return exploded >= 0;
	}

	public function isOver():Bool {
		return isWon() || isLost();
	}

	public function neighbours(i:Int):Array<Int> {
		var out = [];
		var c = i % cols;
		var r = Std.int(i / cols);
		for (dr in -1...2) {
			for (dc in -1...2) {
				var nc = c + dc;
				var nr = r + dr;
				if ((dc != 0 || dr != 0) && nc >= 0 && nc < cols && nr >= 0 && nr < rows)
					out.push(nr * cols + nc);
			}
		}
		return out;
	}

	// Lays the mines anywhere but on cell safe and, where the field has room, its neighbours.
	public function lay(safe:Int) {
		var keepClear = neighbours(safe);
		keepClear.push(safe);
		var free = [];
		for (i in 0...size()) {
			if (keepClear.indexOf(i) < 0 || size() - keepClear.length < mines)
				free.push(i);
		}
		free.remove(safe);
		var count = mines < free.length ? mines : free.length;
		for (k in 0...count) {
			var pick = k + random(free.length - k);
			var t = free[k];
			free[k] = free[pick];
			free[pick] = t;
			mine[free[k]] = true;
		}
		mines = count;
		for (i in 0...size()) {
			var n = 0;
			for (j in neighbours(i))
				if (mine[j])
					n++;
			near[i] = n;
		}
		laid = true;
	}

	// Opens cell i (a flagged cell stays shut); an empty cell opens its neighbours too. Answers the cells that
	// opened, in order.
	public function open(i:Int):Array<Int> {
		var done = [];
		if (isOver() || state[i] != HIDDEN)
			return done;
		if (!laid)
			lay(i);
		if (mine[i]) {
			state[i] = OPEN;
			exploded = i;
			done.push(i);
			return done;
		}
		var todo = [i];
		while (todo.length > 0) {
			var j = todo.pop();
			if (state[j] != HIDDEN || mine[j])
				continue;
			state[j] = OPEN;
			opened++;
			done.push(j);
			if (near[j] == 0)
				for (k in neighbours(j))
					if (state[k] == HIDDEN)
						todo.push(k);
		}
		return done;
	}

	// Flags or unflags a shut cell; false when the cell is open or the game is over.
	public function toggleFlag(i:Int):Bool {
		if (isOver() || state[i] == OPEN)
			return false;
		if (state[i] == FLAGGED) {
			state[i] = HIDDEN;
			flags--;
		} else {
			state[i] = FLAGGED;
			flags++;
		}
		return true;
	}

	// On an open number whose mines are all flagged, opens the other cells around it.
	public function openAround(i:Int):Array<Int> {
		var done = [];
		if (isOver() || state[i] != OPEN || near[i] == 0)
			return done;
		var around = neighbours(i);
		var flagged = 0;
		for (j in around)
			if (state[j] == FLAGGED)
				flagged++;
		if (flagged != near[i])
			return done;
		for (j in around) {
			for (k in open(j))
				done.push(k);
		}
		return done;
	}
}
