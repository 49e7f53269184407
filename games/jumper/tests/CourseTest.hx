import Course;

// Checks the climbing rules. From the repository root:
//   haxe -cp games/jumper -cp games/jumper/tests -main CourseTest --interp
class CourseTest {
	static var failures = 0;

	static function check(ok:Bool, what:String) {
		if (!ok) {
			failures++;
			Sys.println("FAIL " + what);
		}
	}

	static function lcg(seed:Int):Void->Float {
		var s = seed;
		return function() {
			s = (s * 1103515245 + 12345) & 0x7fffffff;
			return s / 2147483648.0;
		};
	}

	static function main() {
		var jump = Course.jumpHeight();
		check(jump > 110, "a jump clears more than a ledge gap");
		// Climb a long course: every ledge is within a jump above the last, inside the screen, and wide enough.
		for (seed in 1...6) {
			var rnd = lcg(seed);
			var l = new Ledge(275, Course.START_Y, 542, 0, false);
			var moving = 0;
			for (_ in 0...2000) {
				var n = Course.next(l, 550, rnd);
				var rise = l.y - n.y;
				check(rise > 20 && rise < jump - 10, 'gap $rise at ${Course.metres(n.y)} m');
				check(n.x - n.width / 2 >= 0 && n.x + n.width / 2 <= 550, "ledge on screen");
				check(n.width >= 48, "ledge wide enough");
				check(Math.abs(n.x - l.x) <= 200 + 1e-9, "ledge in reach sideways");
				if (n.vx != 0)
					moving++;
				if (Course.metres(n.y) < 40)
					check(n.vx == 0, "no moving ledges near the start");
				l = n;
			}
			check(moving > 100, "moving ledges appear higher up");
		}
		// A moving ledge turns back at the edges and never leaves the screen.
		var m = new Ledge(500, 0, 80, 3, false);
		for (_ in 0...1000) {
			m.drift(550);
			check(m.x - m.width / 2 >= 0 && m.x + m.width / 2 <= 550, "drifting ledge stays on screen");
		}
		// Landing: only when falling through the surface, only over the ledge (with a little foot room).
		var ledge = new Ledge(100, 200, 60, 0, false);
		check(Course.lands(ledge, 100, 195, 205), "falls onto the ledge");
		check(Course.lands(ledge, 100, 200, 201), "standing exactly on the top");
		check(!Course.lands(ledge, 100, 205, 215), "already below the surface");
		check(!Course.lands(ledge, 100, 185, 195), "still above");
		check(Course.lands(ledge, 100 + 30 + Course.FOOT, 195, 205), "edge of the foot room");
		check(!Course.lands(ledge, 100 + 31 + Course.FOOT, 195, 205), "past the edge");
		// Metres, scroll and score.
		check(Course.metres(Course.START_Y) == 0 && Course.metres(Course.START_Y + 50) == 0, "no metres below the start");
		check(Course.metres(Course.START_Y - 125) == 12, "ten pixels a metre");
		check(Course.scrollSpeed(0) < Course.scrollSpeed(300) && Course.scrollSpeed(100000) <= 1.5, "scroll grows, capped");
		check(Course.score(12, 3) == 42, "coins are worth ten metres");
		Sys.println(failures == 0 ? "jumper tests passed" : failures + " failures");
		Sys.exit(failures == 0 ? 0 : 1);
	}
}
