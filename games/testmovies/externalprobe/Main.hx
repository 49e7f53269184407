package;

import flash.Lib;

// A test movie, never listed on the portal: it starts by calling the web page it was made for, and draws only
// if that call returns.
class Main {
	static function main() {
		flash.external.ExternalInterface.call("document.title.toString");
		Lib.current.graphics.beginFill(0x00ff00);
		Lib.current.graphics.drawRect(0, 0, 550, 400);
		Lib.current.graphics.endFill();
	}
}
