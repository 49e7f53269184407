package;

import flash.Lib;
import flash.display.Shape;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.SecurityErrorEvent;
import flash.net.URLLoader;
import flash.net.URLLoaderDataFormat;
import flash.net.URLRequest;

// A test movie for the benchmark of companion files, never listed on the portal: it asks for its 200 files
// (companionbench/000.bin to 199.bin, 50 KB each) all at once, as a game loading its levels does, and fills
// the stage green once every one has arrived whole, red as soon as one failed or came short; grey until then.
class Main {
	public static inline var FILES = 200;
	public static inline var FILE_BYTES = 51200;
	static var fill = new Shape();

	static function paint(colour:Int) {
		fill.graphics.clear();
		fill.graphics.beginFill(colour);
		fill.graphics.drawRect(0, 0, 550, 400);
		fill.graphics.endFill();
	}

	static function main() {
		paint(0x808080);
		Lib.current.addChild(fill);
		var left = FILES;
		var failed = false;
		var fail = function(_) {
			failed = true;
			paint(0xFF0000);
		};
		for (i in 0...FILES) {
			var loader = new URLLoader();
			loader.dataFormat = URLLoaderDataFormat.BINARY;
			loader.addEventListener(IOErrorEvent.IO_ERROR, fail);
			loader.addEventListener(SecurityErrorEvent.SECURITY_ERROR, fail);
			loader.addEventListener(Event.COMPLETE, function(_) {
				if (loader.data.length != FILE_BYTES)
					fail(null);
				else if (--left == 0 && !failed)
					paint(0x00FF00);
			});
			loader.load(new URLRequest("companionbench/" + StringTools.lpad(Std.string(i), "0", 3) + ".bin"));
		}
	}
}
