package;

import flash.Lib;
import flash.display.Shape;
import flash.display.StageDisplayState;
import flash.events.Event;
import flash.events.KeyboardEvent;
import flash.ui.Keyboard;

// A test movie, never listed on the portal: Space asks for full screen, and from then on the movie asks for it
// again on every frame it is not in full screen, as a pushy game would; N leaves full screen and stops asking.
// Its picture tells its state and moves on every frame: red and yellow in a window, green and blue in full
// screen.
class Main {
	static var fill = new Shape();
	static var wanted = false;
	static var frame = 0;

	static function ask(state:StageDisplayState) {
		try {
			Lib.current.stage.displayState = state;
		} catch (e:Dynamic) {} // refused: asked again next frame
	}

	static function main() {
		Lib.current.addChild(fill);
		var stage = Lib.current.stage;
		stage.addEventListener(KeyboardEvent.KEY_DOWN, function(e:KeyboardEvent) {
			if (e.keyCode == Keyboard.SPACE) {
				wanted = true;
				ask(StageDisplayState.FULL_SCREEN);
			} else if (e.keyCode == 78) { // N
				wanted = false;
				ask(StageDisplayState.NORMAL);
			}
		});
		stage.addEventListener(Event.ENTER_FRAME, function(_) {
			var full = stage.displayState != StageDisplayState.NORMAL;
			if (wanted && !full)
				ask(StageDisplayState.FULL_SCREEN);
			++frame;
			fill.graphics.clear();
			fill.graphics.beginFill(full ? (frame % 2 == 0 ? 0x00FF00 : 0x0000FF) : (frame % 2 == 0 ? 0xFF0000 : 0xFFFF00));
			fill.graphics.drawRect(0, 0, 550, 400);
			fill.graphics.endFill();
		});
	}
}
