package;

import flash.Lib;
import flash.display.DisplayObject;
import flash.display.Loader;
import flash.display.Shape;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.SecurityErrorEvent;
import flash.media.Sound;
import flash.net.URLLoader;
import flash.net.URLRequest;

// A test movie, never listed on the portal: it loads one file of each kind from the folder beside it and shows
// how each went in a quarter of the stage, so that a picture of it tells which of its files arrived.
//   top left      companionprobe/colour.txt?v=2 (URLLoader): the colour the text names
//   top right     companionprobe/art/picture.png (Loader): the picture, stretched over the quarter
//   bottom left   companionprobe/sound.mp3 (Sound.load): yellow once the sound is complete
//   bottom right  companionprobe/second.swf (Loader): the movie, stretched over the quarter
// Grey while a file is awaited, red for an input/output error, orange for a security error, white for a text
// that names no colour: a wrong file shows as surely as a missing one.
class Main {
	static inline var W = 275;
	static inline var H = 200;
	public static inline var WAITING = 0x808080;
	public static inline var IO_ERROR = 0xFF0000;
	public static inline var SECURITY_ERROR = 0xFF8000;
	public static inline var NOT_A_COLOUR = 0xFFFFFF;
	public static inline var SOUND_COMPLETE = 0xFFFF00;

	// A quarter of the stage in one colour, under whatever was loaded into it.
	static function quarter(column:Int, row:Int):Shape {
		var square = new Shape();
		square.x = column * W;
		square.y = row * H;
		paint(square, WAITING);
		Lib.current.addChild(square);
		return square;
	}

	static function paint(square:Shape, colour:Int) {
		square.graphics.clear();
		square.graphics.beginFill(colour);
		square.graphics.drawRect(0, 0, W, H);
		square.graphics.endFill();
	}

	static function watchErrors(target:flash.events.IEventDispatcher, square:Shape) {
		target.addEventListener(IOErrorEvent.IO_ERROR, function(_) paint(square, IO_ERROR));
		target.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(_) paint(square, SECURITY_ERROR));
	}

	// The colour a text names: six hexadecimal digits, spaces and line ends around them allowed.
	static function colourOf(text:String):Int {
		var trimmed = StringTools.trim(text == null ? "" : text);
		if (!~/^[0-9a-fA-F]{6}$/.match(trimmed))
			return NOT_A_COLOUR;
		return Std.parseInt("0x" + trimmed);
	}

	// Loads a picture or movie into the quarter and stretches it over it once it is there.
	static function loadInto(path:String, square:Shape) {
		var loader = new Loader();
		loader.x = square.x;
		loader.y = square.y;
		Lib.current.addChild(loader);
		watchErrors(loader.contentLoaderInfo, square);
		loader.contentLoaderInfo.addEventListener(Event.INIT, function(_) {
			var content:DisplayObject = loader.content;
			var info = loader.contentLoaderInfo;
			// A movie's stage size rather than what it has drawn so far.
			content.scaleX = W / info.width;
			content.scaleY = H / info.height;
		});
		loader.load(new URLRequest(path));
	}

	static function main() {
		var text = quarter(0, 0);
		var picture = quarter(1, 0);
		var sound = quarter(0, 1);
		var movie = quarter(1, 1);

		var textLoader = new URLLoader();
		watchErrors(textLoader, text);
		textLoader.addEventListener(Event.COMPLETE, function(_) paint(text, colourOf(textLoader.data)));
		// A query as games add to dodge caches; the file is the same whatever it says.
		textLoader.load(new URLRequest("companionprobe/colour.txt?v=2"));

		loadInto("companionprobe/art/picture.png", picture);

		var music = new Sound();
		watchErrors(music, sound);
		music.addEventListener(Event.COMPLETE, function(_) paint(sound, SOUND_COMPLETE));
		music.load(new URLRequest("companionprobe/sound.mp3"));

		loadInto("companionprobe/second.swf", movie);
	}
}
