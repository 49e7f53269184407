package;

import flash.Lib;
import flash.display.Shape;
import flash.events.KeyboardEvent;
import flash.ui.Keyboard;

// A test movie, never listed on the portal: a red stage that turns green when Space reaches the movie and
// blue for any other key, so a picture of it tells whether the user's keys arrive.
class Main {
	static var fill = new Shape();

	static function paint(colour:Int) {
		fill.graphics.clear();
		fill.graphics.beginFill(colour);
		fill.graphics.drawRect(0, 0, 550, 400);
		fill.graphics.endFill();
	}

	static function main() {
		paint(0xFF0000);
		Lib.current.addChild(fill);
		Lib.current.stage.addEventListener(KeyboardEvent.KEY_DOWN, function(e:KeyboardEvent) {
			paint(e.keyCode == Keyboard.SPACE ? 0x00FF00 : 0x0000FF);
		});
	}
}
