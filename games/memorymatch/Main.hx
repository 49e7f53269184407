package;

import Hud;
import flash.display.Graphics;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.MouseEvent;
import flash.text.TextField;

// One card of the grid; it turns over with a squeeze of its width, swapping faces half way.
private class Card extends Sprite {
	public static inline var W = 96;
	public static inline var H = 76;
	static var SYMBOL_COLOURS = [0xE5483B, 0x2F7FD8, 0x3BAA55, 0x8E54C9, 0xFF8000, 0x1FA5A0, 0xE0529C, 0x8A6A3A];

	public var symbol:Int;
	public var faceUp = false;
	public var matched = false;

	var back:Shape;
	var face:Shape;
	var turning = 0;

	public function new(symbol:Int) {
		super();
		this.symbol = symbol;
		buttonMode = true;
		back = new Shape();
		face = new Shape();
		drawBack(back.graphics);
		drawFace(face.graphics);
		face.visible = false;
		addChild(back);
		addChild(face);
	}

	public function isTurning():Bool {
		return turning > 0;
	}

	public function turn(up:Bool) {
		if (faceUp == up)
			return;
		faceUp = up;
		turning = 10;
	}

	public function markMatched() {
		matched = true;
		buttonMode = false;
		var g = face.graphics;
		g.lineStyle(3, 0x3BAA55);
		g.drawRoundRect(-W / 2 + 2, -H / 2 + 2, W - 4, H - 4, 14, 14);
	}

	public function animate() {
		if (turning == 0)
			return;
		turning--;
		// Ten frames: narrow to nothing, swap the faces, widen again.
		var t = turning >= 5 ? (turning - 5) / 5 : (5 - turning) / 5;
		scaleX = Math.max(t, 0.02);
		if (turning == 5) {
			face.visible = faceUp;
			back.visible = !faceUp;
		}
	}

	function drawBack(g:Graphics) {
		Hud.verticalGradient(g, -W / 2, -H / 2, W, H, 0x4E5A6A, 0x28303A);
		g.lineStyle(2, 0x181D24);
		g.drawRoundRect(-W / 2, -H / 2, W, H, 14, 14);
		g.lineStyle(2, 0xFF8000, 0.9);
		g.moveTo(0, -22);
		g.lineTo(22, 0);
		g.lineTo(0, 22);
		g.lineTo(-22, 0);
		g.lineTo(0, -22);
		g.lineStyle();
		g.beginFill(0xFF8000, 0.9);
		g.drawCircle(0, 0, 6);
		g.endFill();
	}

	function drawFace(g:Graphics) {
		g.lineStyle(2, 0xB0B0B0);
		g.beginFill(0xFFFFFF);
		g.drawRoundRect(-W / 2, -H / 2, W, H, 14, 14);
		g.endFill();
		g.lineStyle();
		g.beginFill(SYMBOL_COLOURS[symbol]);
		switch (symbol) {
			case 0:
				g.drawCircle(0, 0, 20);
			case 1:
				g.drawRect(-18, -18, 36, 36);
			case 2:
				g.moveTo(0, -21);
				g.lineTo(22, 18);
				g.lineTo(-22, 18);
				g.lineTo(0, -21);
			case 3:
				g.moveTo(0, -24);
				g.lineTo(18, 0);
				g.lineTo(0, 24);
				g.lineTo(-18, 0);
				g.lineTo(0, -24);
			case 4:
				Hud.star(g, 0, 2, 24, 10);
			case 5:
				g.drawRect(-20, -7, 40, 14);
				g.endFill();
				g.beginFill(SYMBOL_COLOURS[symbol]);
				g.drawRect(-7, -20, 14, 13);
				g.drawRect(-7, 7, 14, 13);
			case 6:
				// A ring: the inner circle cuts the hole.
				g.drawCircle(0, 0, 21);
				g.drawCircle(0, 0, 11);
			default:
				for (i in 0...7) {
					var a = Math.PI / 6 + i * Math.PI / 3;
					if (i == 0)
						g.moveTo(Math.cos(a) * 21, Math.sin(a) * 21);
					else
						g.lineTo(Math.cos(a) * 21, Math.sin(a) * 21);
				}
		}
		g.endFill();
	}
}

// Memory Match: turn over two cards at a time and find the eight pairs in as few moves as possible.
class Main extends Sprite {
	static inline var COLS = 4;
	static inline var ROWS = 4;
	static inline var GAP = 10;
	static inline var TOP = 50;
	static inline var MISMATCH_FRAMES = 24;

	var board:Sprite;
	var cards:Array<Card> = [];
	var open:Array<Card> = [];
	var hideIn = 0;
	var moves = 0;
	var pairs = 0;
	var frames = 0;
	var playing = false;
	var movesText:TextField;
	var timeText:TextField;
	var pairsText:TextField;
	var overlay:Overlay;

	static function main() {
		flash.Lib.current.addChild(new Main());
	}

	function new() {
		super();
		var back = new Shape();
		Hud.verticalGradient(back.graphics, 0, 0, Hud.WIDTH, Hud.HEIGHT, 0x23604A, 0x123528);
		back.graphics.beginFill(0x000000, 0.3);
		back.graphics.drawRect(0, 0, Hud.WIDTH, 38);
		back.graphics.endFill();
		addChild(back);

		movesText = Hud.label("", 16, 0xFFFFFF, true);
		movesText.x = 12;
		movesText.y = 9;
		pairsText = Hud.label("", 16, 0xFFC070, true, true);
		timeText = Hud.label("", 16, 0xFFFFFF, true);
		addChild(movesText);
		addChild(pairsText);
		addChild(timeText);

		board = new Sprite();
		addChild(board);
		deal();

		overlay = new Overlay(0xFF8000);
		addChild(overlay);
		overlay.show("Memory Match", "Find the eight pairs of pictures.", "Click to start");

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(MouseEvent.MOUSE_DOWN, function(_) {
				if (!playing)
					start();
			});
		});
	}

	function start() {
		if (pairs == COLS * ROWS / 2)
			deal();
		playing = true;
		overlay.hide();
	}

	// Shuffles a fresh set of cards onto the board.
	function deal() {
		for (c in cards)
			board.removeChild(c);
		cards = [];
		open = [];
		moves = 0;
		pairs = 0;
		frames = 0;
		hideIn = 0;
		var symbols = [];
		for (i in 0...(COLS * ROWS)) {
			symbols.push(i >> 1);
		}
		var i = symbols.length;
		while (i > 1) {
			var j = Std.int(Math.random() * i);
			i--;
			var t = symbols[i];
			symbols[i] = symbols[j];
			symbols[j] = t;
		}
		var left = (Hud.WIDTH - (COLS * Card.W + (COLS - 1) * GAP)) / 2;
		for (k in 0...symbols.length) {
			var c = new Card(symbols[k]);
			c.x = left + (k % COLS) * (Card.W + GAP) + Card.W / 2;
			c.y = TOP + Std.int(k / COLS) * (Card.H + GAP) + Card.H / 2;
			c.addEventListener(MouseEvent.CLICK, function(_) pick(c));
			board.addChild(c);
			cards.push(c);
		}
		updateHud();
	}

	function pick(c:Card) {
		if (!playing || c.faceUp || c.matched || c.isTurning() || open.length >= 2)
			return;
		c.turn(true);
		open.push(c);
		if (open.length < 2)
			return;
		moves++;
		if (open[0].symbol == open[1].symbol) {
			for (o in open)
				o.markMatched();
			open = [];
			pairs++;
			if (pairs == COLS * ROWS / 2)
				finish();
		} else {
			hideIn = MISMATCH_FRAMES;
		}
		updateHud();
	}

	function finish() {
		playing = false;
		overlay.show("Well done!", "All pairs in " + moves + " moves and " + seconds() + " seconds.", "Click to play again");
	}

	function seconds():Int {
		return Std.int(frames / 30);
	}

	function updateHud() {
		movesText.text = "Moves " + moves;
		pairsText.text = "Pairs " + pairs + " / " + Std.int(COLS * ROWS / 2);
		Hud.centreOn(pairsText, Hud.WIDTH / 2, 9);
		timeText.text = "Time " + seconds() + " s";
		timeText.x = Hud.WIDTH - 12 - timeText.width;
		timeText.y = 9;
	}

	function tick(_) {
		for (c in cards)
			c.animate();
		if (!playing)
			return;
		frames++;
		if (frames % 30 == 0)
			updateHud();
		if (hideIn > 0 && --hideIn == 0) {
			for (o in open)
				o.turn(false);
			open = [];
		}
	}
}
