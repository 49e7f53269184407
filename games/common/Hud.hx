package;

import flash.display.GradientType;
import flash.display.Graphics;
import flash.display.Sprite;
import flash.events.KeyboardEvent;
import flash.geom.Matrix;
import flash.text.TextField;
import flash.text.TextFieldAutoSize;
import flash.text.TextFormat;
import flash.text.TextFormatAlign;

// Text, backgrounds and keyboard state shared by the demo games (stage 550x400, 30 frames a second).
class Hud {
	public static inline var WIDTH = 550;
	public static inline var HEIGHT = 400;

	public static inline var KEY_LEFT = 37;
	public static inline var KEY_RIGHT = 39;
	public static inline var KEY_SPACE = 32;

	static var held:Map<Int, Bool> = new Map();

	// Device text: the player always has a sans-serif face, so no font is embedded.
	public static function label(text:String, size:Int, color:Int, bold = false, centred = false):TextField {
		var tf = new TextField();
		var format = new TextFormat("_sans", size, color, bold);
		if (centred)
			format.align = TextFormatAlign.CENTER;
		tf.defaultTextFormat = format;
		tf.selectable = false;
		tf.mouseEnabled = false;
		tf.autoSize = centred ? TextFieldAutoSize.CENTER : TextFieldAutoSize.LEFT;
		tf.text = text;
		return tf;
	}

	// Places a centred label so that its middle sits on x.
	public static function centreOn(tf:TextField, x:Float, y:Float) {
		tf.x = x - tf.width / 2;
		tf.y = y;
	}

	public static function verticalGradient(g:Graphics, x:Float, y:Float, w:Float, h:Float, top:Int, bottom:Int) {
		var m = new Matrix();
		m.createGradientBox(w, h, Math.PI / 2, x, y);
		g.beginGradientFill(GradientType.LINEAR, [top, bottom], [1, 1], [0, 255], m);
		g.drawRect(x, y, w, h);
		g.endFill();
	}

	// A five-pointed star around (cx, cy).
	public static function star(g:Graphics, cx:Float, cy:Float, outer:Float, inner:Float, turn = 0.0) {
		for (i in 0...10) {
			var r = (i % 2 == 0) ? outer : inner;
			var a = turn - Math.PI / 2 + i * Math.PI / 5;
			var px = cx + Math.cos(a) * r;
			var py = cy + Math.sin(a) * r;
			if (i == 0)
				g.moveTo(px, py);
			else
				g.lineTo(px, py);
		}
	}

	// Remembers which keys are down, so that a game can move while an arrow key is held.
	public static function trackKeys(target:flash.events.IEventDispatcher, onPress:Int->Void) {
		target.addEventListener(KeyboardEvent.KEY_DOWN, function(e:KeyboardEvent) {
			var code:Int = e.keyCode;
			if (!held.exists(code) || !held.get(code))
				onPress(code);
			held.set(code, true);
		});
		target.addEventListener(KeyboardEvent.KEY_UP, function(e:KeyboardEvent) {
			var code:Int = e.keyCode;
			held.set(code, false);
		});
	}

	public static function isDown(code:Int):Bool {
		return held.exists(code) && held.get(code);
	}

	public static function clamp(v:Float, lo:Float, hi:Float):Float {
		return v < lo ? lo : (v > hi ? hi : v);
	}
}

// A dimmed card with a title and two lines, shown before a round starts and when it ends.
class Overlay extends Sprite {
	var title:TextField;
	var line:TextField;
	var hint:TextField;

	public function new(accent:Int) {
		super();
		mouseEnabled = false;
		mouseChildren = false;
		graphics.beginFill(0x000000, 0.55);
		graphics.drawRect(0, 0, Hud.WIDTH, Hud.HEIGHT);
		graphics.endFill();
		graphics.lineStyle(2, accent);
		graphics.beginFill(0x1E242B, 0.92);
		graphics.drawRoundRect(95, 120, 360, 160, 22, 22);
		graphics.endFill();
		title = Hud.label("", 30, 0xFFFFFF, true, true);
		line = Hud.label("", 15, 0xE0E0E0, false, true);
		hint = Hud.label("", 14, accent, true, true);
		addChild(title);
		addChild(line);
		addChild(hint);
	}

	public function show(titleText:String, lineText:String, hintText:String) {
		title.text = titleText;
		line.text = lineText;
		hint.text = hintText;
		Hud.centreOn(title, Hud.WIDTH / 2, 140);
		Hud.centreOn(line, Hud.WIDTH / 2, 192);
		Hud.centreOn(hint, Hud.WIDTH / 2, 236);
		visible = true;
	}

	public function hide() {
		visible = false;
	}
}
