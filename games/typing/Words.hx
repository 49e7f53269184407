package;

// The words that rain down, and the rules for matching what the player typed against them. LIST is the game's own
// list until a longer one arrives from beside the movie.
class Words {
	public static var LIST = [
		// Three and four letters.
		"sun", "sky", "cat", "dog", "hat", "cup", "map", "ink", "owl", "fox", "bee", "jam", "pen", "key", "box", "egg", "ice",
		"arm", "bus", "car", "fan", "gem", "joy", "kid", "leg", "net", "oak", "pig", "ray", "tea", "van", "web", "zip", "rain",
		"snow", "wind", "leaf", "tree", "frog", "fish", "bird", "moon", "star", "lamp", "door", "book", "cake", "milk", "boat",
		"kite", "drum", "bell", "ring", "rose", "wave", "hill", "rock", "sand", "gold", "blue", "jump", "swim", "sing", "read",
		// Five and six letters.
		"cloud", "storm", "river", "ocean", "apple", "grape", "lemon", "melon", "tiger", "zebra", "panda", "horse", "mouse",
		"piano", "guitar", "candle", "rocket", "planet", "garden", "forest", "island", "bridge", "castle", "dragon", "pirate",
		"pencil", "window", "basket", "button", "jacket", "orange", "yellow", "purple", "silver", "summer", "winter", "spring",
		"autumn", "puddle", "rabbit", "turtle", "parrot", "monkey", "spider", "banana", "cherry", "cookie", "pepper", "butter",
		// Seven letters and more.
		"rainbow", "thunder", "drizzle", "weather", "blanket", "balloon", "chicken", "dolphin", "giraffe", "penguin", "pumpkin",
		"lantern", "journey", "mystery", "captain", "diamond", "library", "picture", "morning", "evening", "holiday", "kitchen",
		"umbrella", "raincoat", "sunshine", "dinosaur", "elephant", "kangaroo", "mountain", "treasure", "keyboard", "notebook",
		"question", "sandwich", "adventure", "butterfly", "chocolate", "lightning", "waterfall", "crocodile", "telescope"
	];

	// Words a list must offer at every level, so that a new word rarely has to wait for a free first letter.
	public static inline var ENOUGH_PER_LEVEL = 26;

	// The word list the game keeps beside its movie (typing/words.txt): one word a line, lines starting with '#'
	// and blank ones skipped, case and spaces ignored; a line that is not a plain word of 3 to 9 letters, or a
	// repeat, is passed over. null when what is left does not serve every level: the game keeps its own list.
	public static function fromText(text:String):Array<String> {
		if (text == null)
			return null;
		var list = [];
		var seen = new Map<String, Bool>();
		for (line in ~/\r?\n/g.split(text)) {
			var word = normalise(line);
			if (StringTools.startsWith(word, "#") || !~/^[a-z]{3,9}$/.match(word) || seen.exists(word))
				continue;
			seen.set(word, true);
			list.push(word);
		}
		for (level in 1...7)
			if (list.filter(w -> w.length <= maxLength(level)).length < ENOUGH_PER_LEVEL)
				return null;
		return list;
	}

	// Longest word length allowed at a level: short words first, every length by level 6.
	public static function maxLength(level:Int):Int {
		return level >= 6 ? 99 : 3 + level;
	}

	// A word for the level that does not start with the same letter as a word already falling, so that
	// the first letters typed always point at one word.
	public static function pick(level:Int, random:Void->Float, falling:Array<String>):String {
		var longest = maxLength(level);
		var choices = LIST.filter(function(w) {
			if (w.length > longest)
				return false;
			for (f in falling)
				if (f.charAt(0) == w.charAt(0))
					return false;
			return true;
		});
		if (choices.length == 0)
			return null;
		return choices[Std.int(random() * choices.length) % choices.length];
	}

	// What the text field holds, as the game compares it: no spaces around it, lower case.
	public static function normalise(typed:String):String {
		return StringTools.trim(typed).toLowerCase();
	}

	// The falling word the text equals, or -1.
	public static function exactMatch(typed:String, falling:Array<String>):Int {
		var t = normalise(typed);
		if (t.length == 0)
			return -1;
		for (i in 0...falling.length)
			if (falling[i] == t)
				return i;
		return -1;
	}

	// How many leading letters of `word` the text has typed correctly so far (0 when it went astray).
	public static function typedPrefix(typed:String, word:String):Int {
		var t = normalise(typed);
		if (t.length == 0 || t.length > word.length || word.substr(0, t.length) != t)
			return 0;
		return t.length;
	}

	// Points for a word: longer words pay more, and so does a run of words without a miss.
	public static function points(word:String, combo:Int):Int {
		return word.length * 10 + Std.int(Math.min(combo, 10)) * 5;
	}
}
