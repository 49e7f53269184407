package;

import Hud;
import flash.display.Graphics;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.MouseEvent;
import flash.net.SharedObject;
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

// The card in the middle of the screen: a title, up to three lines and a hint, for the title and the end.
private class Panel extends Sprite {
	static inline var TOP = 104;
	static inline var HEIGHT = 196;

	var title:TextField;
	var lines:Array<TextField> = [];
	var hint:TextField;

	public function new(accent:Int) {
		super();
		mouseEnabled = false;
		mouseChildren = false;
		graphics.beginFill(0x000000, 0.45);
		graphics.drawRect(0, 0, Hud.WIDTH, Hud.HEIGHT);
		graphics.endFill();
		graphics.lineStyle(2, accent);
		graphics.beginFill(0x1E242B, 0.94);
		graphics.drawRoundRect(75, TOP, Hud.WIDTH - 150, HEIGHT, 22, 22);
		graphics.endFill();
		title = Hud.label("", 30, 0xFFFFFF, true, true);
		addChild(title);
		for (i in 0...3) {
			var tf = Hud.label("", 14, 0xE0E0E0, false, true);
			lines.push(tf);
			addChild(tf);
		}
		hint = Hud.label("", 15, accent, true, true);
		addChild(hint);
	}

	public function show(titleText:String, texts:Array<String>, hintText:String) {
		title.text = titleText;
		Hud.centreOn(title, Hud.WIDTH / 2, TOP + 14);
		for (i in 0...lines.length) {
			lines[i].text = i < texts.length ? texts[i] : "";
			Hud.centreOn(lines[i], Hud.WIDTH / 2, TOP + 66 + i * 22);
		}
		hint.text = hintText;
		Hud.centreOn(hint, Hud.WIDTH / 2, TOP + HEIGHT - 36);
		visible = true;
	}

	// The hint breathes, so that the screen is alive while it waits.
	public function pulse(frame:Int) {
		hint.alpha = 0.6 + 0.4 * Math.cos(frame * 0.21);
	}
}

// Memory Match: turn over two cards at a time and find the eight pairs. Pairs in a row score more, misses
// cost a little and a quick finish earns a bonus; the best score is kept.
class Main extends Sprite {
	static inline var COLS = 4;
	static inline var ROWS = 4;
	static inline var GAP = 10;
	static inline var TOP = 50;
	static inline var MISMATCH_FRAMES = 24;
	static inline var OVER_PAUSE = 20;
	static inline var KEY_ENTER = 13;

	static inline var TITLE = 0;
	static inline var PLAYING = 1;
	static inline var OVER = 2;

	var mode = TITLE;
	var board:Sprite;
	var cards:Array<Card> = [];
	var open:Array<Card> = [];
	var hideIn = 0;
	var moves = 0;
	var pairs = 0;
	var frames = 0;
	var frame = 0;
	var overFrames = 0;
	var score:MatchScore;
	var best = 0;
	var store:SharedObject;
	// The title screen's card on show, and when it turns back.
	var demoCard:Card;
	var demoFrames = 0;

	var scoreText:TextField;
	var bestText:TextField;
	var movesText:TextField;
	var timeText:TextField;
	var pairsText:TextField;
	var popups:Array<TextField> = [];
	var panel:Panel;

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

		scoreText = Hud.label("", 16, 0xFFFFFF, true);
		scoreText.x = 12;
		scoreText.y = 9;
		bestText = Hud.label("", 13, 0xB8DCC8);
		bestText.x = 118;
		bestText.y = 11;
		pairsText = Hud.label("", 16, 0xFFC070, true, true);
		movesText = Hud.label("", 13, 0xB8DCC8);
		movesText.y = 11;
		timeText = Hud.label("", 16, 0xFFFFFF, true);
		timeText.y = 9;
		addChild(scoreText);
		addChild(bestText);
		addChild(pairsText);
		addChild(movesText);
		addChild(timeText);

		board = new Sprite();
		addChild(board);
		score = new MatchScore();
		deal();

		loadBest();
		panel = new Panel(0xFF8000);
		addChild(panel);
		showTitle();

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(MouseEvent.MOUSE_DOWN, function(_) press());
			Hud.trackKeys(stage, function(code) {
				if (code == Hud.KEY_SPACE || code == KEY_ENTER) {
					if (mode == TITLE || (mode == OVER && overFrames >= OVER_PAUSE))
						start();
				}
			});
		});
	}

	function loadBest() {
		try {
			store = SharedObject.getLocal("memorymatch");
			var saved:Dynamic = store.data.best;
			if (saved != null && Std.int(saved) > 0)
				best = Std.int(saved);
		} catch (e:Dynamic) {
			store = null;
		}
	}

	function saveBest() {
		if (store == null)
			return;
		try {
			store.data.best = best;
			store.flush();
		} catch (e:Dynamic) {}
	}

	function showTitle() {
		mode = TITLE;
		panel.show("Memory Match", [
			"Click a card to turn it over, then find its twin.",
			"Pairs in a row score more; a miss costs " + MatchScore.MISS + " points.",
			best > 0 ? "Best score so far: " + best : "Finish quickly for a time bonus.",
		], "Click or press Space to start");
		updateHud();
	}

	// A click starts a game from the title or the end; in play it picks the card under the pointer.
	function press() {
		switch (mode) {
			case TITLE:
				start();
			case OVER:
				if (overFrames >= OVER_PAUSE)
					start();
			default:
				for (c in cards)
					if (c.hitTestPoint(stage.mouseX, stage.mouseY))
						pick(c);
		}
	}

	function start() {
		deal();
		mode = PLAYING;
		panel.visible = false;
		updateHud();
	}

	// Shuffles a fresh set of cards onto the board.
	function deal() {
		for (c in cards)
			board.removeChild(c);
		for (p in popups)
			removeChild(p);
		popups = [];
		cards = [];
		open = [];
		moves = 0;
		pairs = 0;
		frames = 0;
		hideIn = 0;
		demoCard = null;
		demoFrames = 0;
		score = new MatchScore();
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
			board.addChild(c);
			cards.push(c);
		}
		updateHud();
	}

	function pick(c:Card) {
		if (mode != PLAYING || c.faceUp || c.matched || c.isTurning() || open.length >= 2)
			return;
		c.turn(true);
		open.push(c);
		if (open.length < 2)
			return;
		moves++;
		if (open[0].symbol == open[1].symbol) {
			for (o in open)
				o.markMatched();
			popup("+" + score.pair(), c, 0xFFE070);
			open = [];
			pairs++;
			if (pairs == COLS * ROWS / 2)
				finish();
		} else {
			var lost = score.miss();
			if (lost > 0)
				popup("-" + lost, c, 0xFF9A8A);
			hideIn = MISMATCH_FRAMES;
		}
		updateHud();
	}

	function finish() {
		mode = OVER;
		overFrames = 0;
	}

	function showResult() {
		var bonus = score.finish(seconds());
		var record = score.points > best;
		if (record) {
			best = score.points;
			saveBest();
		}
		panel.show("Score " + score.points, [
			"All pairs in " + moves + " moves and " + seconds() + " seconds.",
			bonus > 0 ? "Time bonus: +" + bonus + " points." : "No time bonus: finish within " + MatchScore.PAR_SECONDS + " s for one.",
			record ? "A new best score!" : "Best score: " + best,
		], "Click or press Space to play again");
		updateHud();
	}

	function seconds():Int {
		return Std.int(frames / 30);
	}

	function updateHud() {
		scoreText.text = "Score " + score.points;
		bestText.text = "Best " + best;
		pairsText.text = "Pairs " + pairs + " / " + Std.int(COLS * ROWS / 2);
		Hud.centreOn(pairsText, Hud.WIDTH / 2, 9);
		timeText.text = "Time " + seconds() + " s";
		timeText.x = Hud.WIDTH - 12 - timeText.width;
		movesText.text = "Moves " + moves;
		movesText.x = timeText.x - 14 - movesText.width;
	}

	function popup(text:String, near:Card, colour:Int) {
		var tf = Hud.label(text, 20, colour, true, true);
		Hud.centreOn(tf, near.x, near.y - 16);
		addChildAt(tf, getChildIndex(panel));
		popups.push(tf);
	}

	// On the title screen the cards take turns to peek.
	function demoStep() {
		demoFrames++;
		if (demoCard == null) {
			if (demoFrames >= 3) {
				// Only the top and bottom rows, which the title card leaves in view.
				var k = Std.int(Math.random() * COLS * 2);
				demoCard = cards[k < COLS ? k : k + COLS * (ROWS - 2)];
				demoCard.turn(true);
				demoFrames = 0;
			}
		} else if (demoFrames >= 22) {
			demoCard.turn(false);
			demoCard = null;
			demoFrames = 0;
		}
	}

	function tick(_) {
		frame++;
		for (c in cards)
			c.animate();
		var i = popups.length;
		while (i-- > 0) {
			var tf = popups[i];
			tf.y -= 1;
			tf.alpha -= 0.04;
			if (tf.alpha <= 0) {
				removeChild(tf);
				popups.splice(i, 1);
			}
		}
		if (panel.visible)
			panel.pulse(frame);
		switch (mode) {
			case TITLE:
				demoStep();
			case OVER:
				overFrames++;
				if (overFrames == OVER_PAUSE)
					showResult();
			default:
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
}
