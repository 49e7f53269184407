package;

import Rounds;

// The scoring of the reaction game, run with the Haxe interpreter:
//   haxe -cp games/reaction -cp games/reaction/tests -main ReactionTests --interp
class ReactionTests {
	static var failures = 0;

	static function check(ok:Bool, what:String) {
		if (!ok) {
			failures++;
			Sys.println("FAIL " + what);
		}
	}

	static function main() {
		averagingFiveRounds();
		falseStartsAndMissedSignals();
		delaysAndVerdicts();
		Sys.println(failures == 0 ? "reaction: all passed" : "reaction: " + failures + " failed");
		Sys.exit(failures == 0 ? 0 : 1);
	}

	static function averagingFiveRounds() {
		var r = new Rounds();
		check(r.round() == 1 && r.average() == 0 && !r.isDone(), "a new game waits for round 1");
		for (ms in [200, 300, 250, 260, 241])
			r.answer(ms);
		check(r.isDone() && r.round() == Rounds.COUNT, "five answers end the game");
		check(r.average() == 250, "the average of the five: " + r.average());
		check(r.answer(100) == 0 && r.times.length == Rounds.COUNT, "answers after the end are not counted");

		r = new Rounds();
		r.answer(200);
		r.answer(301);
		check(r.round() == 3 && r.average() == 251, "the average so far is rounded: " + r.average());
	}

	static function falseStartsAndMissedSignals() {
		var r = new Rounds();
		r.falseStart();
		check(r.round() == 1 && r.times.length == 0, "a false start does not use up the round");
		for (i in 0...Rounds.COUNT)
			r.answer(200);
		check(r.penalties() == Rounds.PENALTY, "one false start, one penalty");
		check(r.average() == 200 + Std.int(Rounds.PENALTY / Rounds.COUNT), "the penalty is spread over the rounds: " + r.average());
		r.falseStart();
		check(r.falseStarts == 1, "no false starts once the game is over");

		r = new Rounds();
		check(r.answer(5000) == Rounds.SLOWEST, "a missed signal counts as the slowest answer");
		check(r.answer(-3) == 0, "a time below nought counts as nought");
	}

	static function delaysAndVerdicts() {
		check(Rounds.delay(0) == Rounds.MIN_DELAY, "the shortest wait");
		check(Rounds.delay(0.999) < Rounds.MIN_DELAY + Rounds.DELAY_SPREAD, "the longest wait stays in range");
		check(Rounds.delay(0.5) > Rounds.delay(0.1), "a larger random part waits longer");
		var last = "";
		var changes = 0;
		var ms = 150;
		while (ms < 700) {
			var v = Rounds.verdict(ms);
			if (v != last)
				changes++;
			last = v;
			ms += 10;
		}
		check(changes == 5, "five verdicts from quick to slow, got " + changes);
		check(Rounds.verdict(180) != Rounds.verdict(600), "quick and slow get different words");
	}
}
