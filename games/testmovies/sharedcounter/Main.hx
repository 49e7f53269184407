package;

import flash.Lib;
import flash.display.Shape;
import flash.net.SharedObject;

// A test movie, never listed on the portal: the start counter (1 red, 2 green, 3 blue, 4 and more yellow), but
// kept under the local path "/", where Flash lets every movie of a site share it.
class Main {
	static var COLOURS = [0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00];

	static function main() {
		var starts = 1;
		try {
			var save = SharedObject.getLocal("starts", "/");
			var before:Null<Int> = save.data.count;
			starts = before == null ? 1 : before + 1;
			save.data.count = starts;
			save.flush();
		} catch (e:Dynamic) {
			starts = 1;
		}
		var fill = new Shape();
		fill.graphics.beginFill(COLOURS[Std.int(Math.min(starts, COLOURS.length)) - 1]);
		fill.graphics.drawRect(0, 0, 550, 400);
		fill.graphics.endFill();
		Lib.current.addChild(fill);
	}
}
