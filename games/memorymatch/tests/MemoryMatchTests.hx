package;

import MatchScore;

// How Memory Match scores, run with the Haxe interpreter:
//   haxe -cp games/memorymatch -cp games/memorymatch/tests -main MemoryMatchTests --interp
class MemoryMatchTests {
	static var failures = 0;

	static function check(ok:Bool, what:String) {
		if (!ok) {
			failures++;
			Sys.println("FAIL " + what);
		}
	}

	static function main() {
		var s = new MatchScore();
		check(s.miss() == 0 && s.points == 0, "a miss before any points costs nothing");
		check(s.pair() == MatchScore.PAIR, "a first pair");
		check(s.pair() == MatchScore.PAIR + MatchScore.STREAK, "a pair right after another earns more");
		check(s.pair() == MatchScore.PAIR + 2 * MatchScore.STREAK, "and more again");
		var before = s.points;
		check(s.miss() == MatchScore.MISS && s.points == before - MatchScore.MISS, "a miss costs points");
		check(s.streak == 0 && s.pair() == MatchScore.PAIR, "a miss ends the run of pairs");

		// A perfect game: eight pairs in a row.
		s = new MatchScore();
		for (i in 0...8)
			s.pair();
		check(s.points == 8 * MatchScore.PAIR + 28 * MatchScore.STREAK, "eight pairs in a row: " + s.points);
		check(s.finish(MatchScore.PAR_SECONDS - 10) == 10 * MatchScore.BONUS_PER_SECOND, "ten seconds under par");
		var total = s.points;
		check(s.finish(MatchScore.PAR_SECONDS + 30) == 0 && s.points == total, "no bonus over par");

		Sys.println(failures == 0 ? "memorymatch: all passed" : "memorymatch: " + failures + " failed");
		Sys.exit(failures == 0 ? 0 : 1);
	}
}
