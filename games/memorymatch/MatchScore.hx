package;

// How a game of Memory Match scores: every pair found is worth more when it follows another one, a miss
// costs a little, and a quick finish earns a time bonus.
class MatchScore {
	public static inline var PAIR = 100;
	public static inline var STREAK = 50;
	public static inline var MISS = 10;
	public static inline var PAR_SECONDS = 120;
	public static inline var BONUS_PER_SECOND = 5;

	public var points(default, null) = 0;
	// Pairs found in a row, without a miss between them.
	public var streak(default, null) = 0;

	public function new() {}

	// A pair found; answers the points it earned.
	public function pair():Int {
		var gain = PAIR + STREAK * streak;
		streak++;
		points += gain;
		return gain;
	}

	// Two cards that do not match; answers the points it cost (never more than there are).
	public function miss():Int {
		streak = 0;
		var loss = points < MISS ? points : MISS;
		points -= loss;
		return loss;
	}

	// The board cleared after seconds; answers the time bonus.
	public function finish(seconds:Int):Int {
		var bonus = seconds < PAR_SECONDS ? (PAR_SECONDS - seconds) * BONUS_PER_SECOND : 0;
		points += bonus;
		return bonus;
	}
}
