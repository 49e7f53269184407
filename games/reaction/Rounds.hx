package;

// The reaction times of one game, free of any drawing: five answers to the signal, and a penalty for
// every press that came before it. The score is the average, penalties included; lower is better.
class Rounds {
	public static inline var COUNT = 5;
	public static inline var PENALTY = 500;
	// An answer slower than this counts as this: the signal was missed.
	public static inline var SLOWEST = 1500;
	// The signal comes this long after a round starts, give or take a random part.
	public static inline var MIN_DELAY = 1500;
	public static inline var DELAY_SPREAD = 2500;

	public var times(default, null):Array<Int> = [];
	public var falseStarts(default, null) = 0;

	public function new() {}

	public function isDone():Bool {
		return times.length >= COUNT;
	}

	// The round being played, from 1.
	public function round():Int {
		return times.length < COUNT ? times.length + 1 : COUNT;
	}

	// Records an answer ms after the signal; answers the time that counts.
	public function answer(ms:Int):Int {
		if (isDone())
			return 0;
		var counted = ms < 0 ? 0 : (ms > SLOWEST ? SLOWEST : ms);
		times.push(counted);
		return counted;
	}

	public function falseStart() {
		if (!isDone())
			falseStarts++;
	}

	public function penalties():Int {
		return falseStarts * PENALTY;
	}

	// The average so far, penalties spread over the rounds answered; 0 before any answer.
	public function average():Int {
		if (times.length == 0)
			return 0;
		var total = penalties();
		for (t in times)
			total += t;
		return Math.round(total / times.length);
	}

	// How long to wait before the signal, for random() between 0 and 1.
	public static function delay(random:Float):Int {
		return MIN_DELAY + Std.int(random * DELAY_SPREAD);
	}

	// A word on an average.
	public static function verdict(average:Int):String {
		if (average < 220)
			return "Lightning!";
		if (average < 280)
			return "Sharp!";
		if (average < 350)
			return "Good.";
		if (average < 500)
			return "Not bad.";
		return "Keep practising.";
	}
}
