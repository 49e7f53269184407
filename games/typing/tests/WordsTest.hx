// Checks the word list and the matching rules. From the repository root:
//   haxe -cp games/typing -cp games/typing/tests -main WordsTest --interp
class WordsTest {
	static var failures = 0;

	static function check(ok:Bool, what:String) {
		if (!ok) {
			failures++;
			Sys.println("FAIL " + what);
		}
	}

	static function main() {
		// The list: lower-case letters only (the box accepts letters only), no repeats, every level served.
		var seen = new Map<String, Bool>();
		for (w in Words.LIST) {
			check(~/^[a-z]{3,9}$/.match(w), 'plain word $w');
			check(!seen.exists(w), 'repeated $w');
			seen.set(w, true);
		}
		for (level in 1...8) {
			var fit = Words.LIST.filter(w -> w.length <= Words.maxLength(level)).length;
			check(fit >= Words.ENOUGH_PER_LEVEL, 'level $level has enough words ($fit)');
		}
		// Picking never repeats a first letter already falling, and gives up cleanly when none is left.
		var r = 0.0;
		var next = () -> { r = (r + 0.37) % 1.0; return r; };
		var falling = [];
		for (_ in 0...8) {
			var w = Words.pick(1, next, falling);
			check(w != null && w.length <= 4, 'level 1 word $w');
			for (f in falling)
				check(f.charAt(0) != w.charAt(0), 'first letters differ: $f $w');
			falling.push(w);
		}
		var everyLetter = [for (c in "abcdefghijklmnopqrstuvwxyz".split("")) c + "xx"];
		check(Words.pick(3, next, everyLetter) == null, "no word when every first letter is taken");
		check(Words.pick(1, () -> 0.99999999999, []) != null, "top-of-range random");
		// The list kept beside the movie: plain words only, once each; one that leaves a level short is refused.
		var text = "# words\r\n" + [for (w in Words.LIST) w].join("\n") + "\n  Rain \nsun\nno\ntwo words\nx-ray\n\n";
		var parsed = Words.fromText(text);
		check(parsed != null && parsed.length == Words.LIST.length, "kept list read");
		check(Words.fromText([for (w in Words.LIST) if (w.length > 4) w].join("\n")) == null, "level 1 left short");
		check(Words.fromText("") == null && Words.fromText(null) == null, "nothing to read");
		var shipped = Words.fromText(sys.io.File.getContent("companion/words.txt"));
		check(shipped != null && shipped.length > Words.LIST.length, "the shipped list is read and longer");
		// Matching what was typed.
		var words = ["rain", "cloud", "sun"];
		check(Words.exactMatch("cloud", words) == 1, "exact");
		check(Words.exactMatch("  Cloud ", words) == 1, "case and spaces ignored");
		check(Words.exactMatch("clou", words) == -1, "a prefix is not a hit");
		check(Words.exactMatch("", words) == -1 && Words.exactMatch("   ", []) == -1, "empty box");
		check(Words.typedPrefix("CL", "cloud") == 2, "prefix counted");
		check(Words.typedPrefix("cx", "cloud") == 0, "wrong letter");
		check(Words.typedPrefix("cloudy", "cloud") == 0, "typed past the word");
		check(Words.typedPrefix("", "cloud") == 0, "nothing typed");
		// Scoring: longer words and runs pay more, runs are capped.
		check(Words.points("rainbow", 0) > Words.points("rain", 0), "length pays");
		check(Words.points("rain", 3) > Words.points("rain", 0), "combo pays");
		check(Words.points("rain", 50) == Words.points("rain", 10), "combo capped");
		Sys.println(failures == 0 ? "typing tests passed" : failures + " failures");
		Sys.exit(failures == 0 ? 0 : 1);
	}
}
