package;

import flash.Lib;

// A test movie, never listed on the portal: it draws its green frame into a bitmap first, as some game
// engines draw everything, so it shows only where the renderer can draw into bitmaps.
class Main {
	static function main() {
		var shape = new flash.display.Shape();
		shape.graphics.beginFill(0x00ff00);
		shape.graphics.drawRect(0, 0, 550, 400);
		shape.graphics.endFill();
		var bitmap = new flash.display.BitmapData(550, 400, false, 0x000000);
		bitmap.draw(shape);
		Lib.current.addChild(new flash.display.Bitmap(bitmap));
	}
}
