package;

import flash.Lib;
import flash.text.TextField;
import flash.text.TextFieldType;
import flash.text.TextFormat;

// A test movie, never listed on the portal: on its own white stage, one row per device font a game may name,
// each with black Chinese text on the left half and black Latin text on the right half, and an empty input
// field at the bottom. Tests look for ink in each half of each row.
class Main {
	static var FONTS = [
		"_sans", "_serif", "_typewriter", "宋体", "SimSun", "黑体", "SimHei", "微软雅黑", "Microsoft YaHei"
	];

	static function field(font:String, text:String, x:Int, y:Int, input:Bool):TextField {
		var f = new TextField();
		f.defaultTextFormat = new TextFormat(font, 28, 0x000000);
		f.embedFonts = false;
		f.x = x;
		f.y = y;
		f.width = 265;
		f.height = 38;
		if (input) {
			f.type = TextFieldType.INPUT;
			f.border = true;
		} else {
			f.selectable = false;
		}
		f.text = text;
		Lib.current.addChild(f);
		return f;
	}

	static function main() {
		// 9 rows of 40 px from y = 4; the input field below them.
		for (i in 0...FONTS.length) {
			field(FONTS[i], "中文游戏", 10, 4 + 40 * i, false);
			field(FONTS[i], "Latin", 285, 4 + 40 * i, false);
		}
		var input = field("_sans", "", 10, 364, true);
		input.width = 530;
		Lib.current.stage.focus = input;
	}
}
