package;

import flash.Lib;
import flash.display.Shape;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.SecurityErrorEvent;
import flash.net.URLLoader;
import flash.net.URLRequest;

// A test movie, never listed on the portal: the top half shows the kind of address the movie runs under
// (green a web address, blue the player's own, red anything else), the bottom half whether the file sibling.txt
// beside it could be read (green when it holds "ok", red on an error, grey while it is awaited).
class Main {
	static function half(top:Bool, colour:Int):Shape {
		var shape = new Shape();
		shape.graphics.beginFill(colour);
		shape.graphics.drawRect(0, top ? 0 : 200, 550, 200);
		shape.graphics.endFill();
		Lib.current.addChild(shape);
		return shape;
	}

	static function main() {
		var url = Lib.current.loaderInfo.url;
		half(true, StringTools.startsWith(url, "http:") ? 0x00FF00 : StringTools.startsWith(url, "qbplayer:") ? 0x0000FF : 0xFF0000);
		half(false, 0x808080);
		var loader = new URLLoader();
		loader.addEventListener(Event.COMPLETE, function(_) half(false, StringTools.trim(loader.data) == "ok" ? 0x00FF00 : 0xFF0000));
		loader.addEventListener(IOErrorEvent.IO_ERROR, function(_) half(false, 0xFF0000));
		loader.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(_) half(false, 0xFF0000));
		loader.load(new URLRequest("sibling.txt"));
	}
}
