package;

// A ledge in the world. Positions are world pixels: y grows downwards, the start ledge is at START_Y.
class Ledge {
	public var x:Float; // centre
	public var y:Float; // top surface
	public var width:Float;
	public var vx:Float; // sideways drift of a moving ledge, 0 for a still one
	public var coin:Bool;

	public function new(x:Float, y:Float, width:Float, vx:Float, coin:Bool) {
		this.x = x;
		this.y = y;
		this.width = width;
		this.vx = vx;
		this.coin = coin;
	}

	// Moving ledges turn back at the screen sides.
	public function drift(screenWidth:Float) {
		if (vx == 0)
			return;
		x += vx;
		if (x - width / 2 < 4 || x + width / 2 > screenWidth - 4) {
			vx = -vx;
			x += 2 * vx;
		}
	}
}

// The rules of the climb: how the bear moves, and how the ledges above are laid out as it gets higher.
class Course {
	public static inline var GRAVITY = 0.55;
	public static inline var JUMP_SPEED = 11.5;
	public static inline var RUN_SPEED = 5.0;
	public static inline var START_Y = 370.0;
	// How far to either side of a ledge the bear's feet still find it.
	public static inline var FOOT = 9.0;

	// Height of a jump from standing, in pixels.
	public static function jumpHeight():Float {
		return JUMP_SPEED * JUMP_SPEED / (2 * GRAVITY);
	}

	// Climbed height in metres (ten pixels each) for a world y.
	public static function metres(y:Float):Int {
		return Std.int(Math.max(0, (START_Y - y) / 10));
	}

	// Space between one ledge and the next above: it widens as the bear climbs, but always stays well
	// inside one jump.
	public static function gap(metres:Int, random:Void->Float):Float {
		var base = 52 + Math.min(36, metres / 15);
		return base + random() * 14;
	}

	public static function ledgeWidth(metres:Int, random:Void->Float):Float {
		return Math.max(48, 112 - metres / 8) + random() * 24;
	}

	// Camera climb in pixels a frame: slow at first, quicker higher up.
	public static function scrollSpeed(metres:Int):Float {
		return Math.min(1.5, 0.35 + metres / 500);
	}

	// The next ledge above `below`, placed so that it is in reach sideways too.
	public static function next(below:Ledge, screenWidth:Float, random:Void->Float):Ledge {
		var m = metres(below.y);
		var width = ledgeWidth(m, random);
		var y = below.y - gap(m, random);
		var reach = 200.0;
		var lo = Math.max(width / 2 + 6, below.x - reach);
		var hi = Math.min(screenWidth - width / 2 - 6, below.x + reach);
		var x = lo + random() * (hi - lo);
		var moving = m > 40 && random() < Math.min(0.45, m / 600);
		var vx = moving ? (random() < 0.5 ? -1 : 1) * (0.8 + random() * Math.min(1.8, m / 300)) : 0.0;
		return new Ledge(x, y, width, vx, random() < 0.4);
	}

	// Whether feet going from y0 down to y1 at x land on the ledge this frame.
	public static function lands(ledge:Ledge, x:Float, y0:Float, y1:Float):Bool {
		return y0 <= ledge.y + 0.01 && y1 >= ledge.y && Math.abs(x - ledge.x) <= ledge.width / 2 + FOOT;
	}

	public static function score(metres:Int, coins:Int):Int {
		return metres + coins * 10;
	}
}
