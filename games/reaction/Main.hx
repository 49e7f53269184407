package;

import Hud;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.MouseEvent;
import flash.events.TimerEvent;
import flash.media.Sound;
import flash.net.SharedObject;
import flash.text.TextField;
import flash.utils.Timer;

// Blips made for this game (22050 Hz, 8-bit mono): the signal, a false start and a counted answer.
@:sound("go.wav") private class GoSound extends Sound {}
@:sound("early.wav") private class EarlySound extends Sound {}
@:sound("tap.wav") private class TapSound extends Sound {}

// The card in the lower half of the screen: a title, up to three lines and a hint, for the title and the end.
private class Panel extends Sprite {
	static inline var TOP = 206;
	static inline var HEIGHT = 180;

	var title:TextField;
	var lines:Array<TextField> = [];
	var hint:TextField;

	public function new(accent:Int) {
		super();
		mouseEnabled = false;
		mouseChildren = false;
		graphics.lineStyle(2, accent);
		graphics.beginFill(0x1A1F2B, 0.95);
		graphics.drawRoundRect(60, TOP, Hud.WIDTH - 120, HEIGHT, 22, 22);
		graphics.endFill();
		title = Hud.label("", 28, 0xFFFFFF, true, true);
		addChild(title);
		for (i in 0...3) {
			var tf = Hud.label("", 14, 0xDDE3EA, false, true);
			lines.push(tf);
			addChild(tf);
		}
		hint = Hud.label("", 15, accent, true, true);
		addChild(hint);
	}

	public function show(titleText:String, texts:Array<String>, hintText:String) {
		title.text = titleText;
		Hud.centreOn(title, Hud.WIDTH / 2, TOP + 10);
		for (i in 0...lines.length) {
			lines[i].text = i < texts.length ? texts[i] : "";
			Hud.centreOn(lines[i], Hud.WIDTH / 2, TOP + 56 + i * 21);
		}
		hint.text = hintText;
		Hud.centreOn(hint, Hud.WIDTH / 2, TOP + HEIGHT - 34);
		visible = true;
	}

	// The hint breathes, so that the screen is alive while it waits.
	public function pulse(frame:Int) {
		hint.alpha = 0.6 + 0.4 * Math.cos(frame * 0.21);
	}
}

// Who's Fastest?: wait for the lamp to turn green, then click or press Space at once. Five rounds; a press
// before the signal costs half a second. The best score is the lowest average, in milliseconds.
class Main extends Sprite {
	static inline var KEY_ENTER = 13;
	static inline var LAMP_X = 275;
	static inline var LAMP_Y = 128;
	static inline var LAMP_R = 74;
	static inline var RED = 0xE23B3B;
	static inline var AMBER = 0xFFB02E;
	static inline var GREEN = 0x2FD36B;
	// A press this soon after a round starts is the one that started it, not an answer.
	static inline var GRACE_MS = 250;
	static inline var RESULT_MS = 1300;
	static inline var OVER_PAUSE_MS = 700;

	static inline var TITLE = 0;
	static inline var WAITING = 1;
	static inline var SIGNAL = 2;
	static inline var RESULT = 3;
	static inline var OVER = 4;

	var mode = TITLE;
	var rounds:Rounds;
	var delay:Timer;
	var since = 0;
	var signalAt = 0;
	var frame = 0;
	var best = 0;
	var store:SharedObject;

	var lamp:Shape;
	var hand:Shape;
	var panel:Panel;
	var status:TextField;
	var detail:TextField;
	var roundText:TextField;
	var averageText:TextField;
	var bestText:TextField;
	var slots:Array<TextField> = [];
	var slotMarks:Shape;
	var penaltyText:TextField;

	var goSound:Sound;
	var earlySound:Sound;
	var tapSound:Sound;

	static function main() {
		flash.Lib.current.addChild(new Main());
	}

	function new() {
		super();
		var back = new Shape();
		Hud.verticalGradient(back.graphics, 0, 0, Hud.WIDTH, Hud.HEIGHT, 0x23283A, 0x10131C);
		back.graphics.beginFill(0x000000, 0.3);
		back.graphics.drawRect(0, 0, Hud.WIDTH, 36);
		back.graphics.endFill();
		// The lamp's housing.
		back.graphics.beginFill(0x0B0D13);
		back.graphics.drawCircle(LAMP_X, LAMP_Y, LAMP_R + 12);
		back.graphics.endFill();
		back.graphics.lineStyle(3, 0x4A5266);
		back.graphics.drawCircle(LAMP_X, LAMP_Y, LAMP_R + 12);
		back.graphics.lineStyle();
		addChild(back);

		lamp = new Shape();
		lamp.x = LAMP_X;
		lamp.y = LAMP_Y;
		addChild(lamp);
		// A stopwatch hand over the lamp, sweeping while the title waits.
		hand = new Shape();
		hand.graphics.lineStyle(4, 0xFFFFFF, 0.85);
		hand.graphics.moveTo(0, 10);
		hand.graphics.lineTo(0, -LAMP_R + 12);
		hand.graphics.lineStyle();
		hand.graphics.beginFill(0xFFFFFF);
		hand.graphics.drawCircle(0, 0, 7);
		hand.graphics.endFill();
		hand.x = LAMP_X;
		hand.y = LAMP_Y;
		addChild(hand);

		status = Hud.label("", 32, 0xFFFFFF, true, true);
		detail = Hud.label("", 15, 0xC8D0DE, false, true);
		addChild(status);
		addChild(detail);
		slotMarks = new Shape();
		addChild(slotMarks);
		for (i in 0...Rounds.COUNT) {
			var tf = Hud.label("", 15, 0xFFFFFF, true, true);
			slots.push(tf);
			addChild(tf);
		}
		penaltyText = Hud.label("", 13, 0xFF7A6A, true, true);
		addChild(penaltyText);

		roundText = Hud.label("", 16, 0xFFFFFF, true);
		roundText.x = 12;
		roundText.y = 7;
		averageText = Hud.label("", 16, AMBER, true, true);
		bestText = Hud.label("", 14, 0xB8C4D8);
		bestText.y = 9;
		addChild(roundText);
		addChild(averageText);
		addChild(bestText);

		goSound = new GoSound();
		earlySound = new EarlySound();
		tapSound = new TapSound();
		delay = new Timer(1000, 1);
		delay.addEventListener(TimerEvent.TIMER, function(_) signal());

		loadBest();
		panel = new Panel(AMBER);
		addChild(panel);
		showTitle();

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(MouseEvent.MOUSE_DOWN, function(_) press());
			Hud.trackKeys(stage, function(code) {
				if (code == Hud.KEY_SPACE || code == KEY_ENTER)
					press();
			});
		});
	}

	function loadBest() {
		try {
			store = SharedObject.getLocal("reaction");
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

	static function play(sound:Sound) {
		// Without an audio device play() gives nothing back; the game goes on silently.
		try {
			sound.play();
		} catch (e:Dynamic) {}
	}

	function now():Int {
		return flash.Lib.getTimer();
	}

	function showTitle() {
		mode = TITLE;
		rounds = new Rounds();
		status.text = "";
		detail.text = "";
		panel.show("Who's Fastest?", [
			"When the lamp turns green, click or press Space at once.",
			"Five rounds. Pressing before green costs " + Rounds.PENALTY + " ms.",
			best > 0 ? "Best average so far: " + best + " ms" : "Your score is your average time: lower is better.",
		], "Click or press Space to start");
		updateHud();
	}

	function press() {
		var t = now();
		switch (mode) {
			case TITLE:
				start();
			case WAITING:
				if (t - since >= GRACE_MS)
					tooSoon();
			case SIGNAL:
				answer(t - signalAt);
			case RESULT:
				if (t - since >= GRACE_MS * 2)
					nextRound();
			default:
				if (t - since >= OVER_PAUSE_MS)
					start();
		}
	}

	function start() {
		rounds = new Rounds();
		panel.visible = false;
		hand.visible = false;
		nextRound();
	}

	function nextRound() {
		if (rounds.isDone()) {
			finish();
			return;
		}
		mode = WAITING;
		since = now();
		delay.reset();
		delay.delay = Rounds.delay(Math.random());
		delay.start();
		drawLamp(RED, 1);
		say("Wait for green...", "Round " + rounds.round() + " of " + Rounds.COUNT);
		updateHud();
	}

	function signal() {
		if (mode != WAITING)
			return;
		mode = SIGNAL;
		signalAt = now();
		drawLamp(GREEN, 1);
		say("NOW!", "Click or press Space");
		play(goSound);
	}

	function tooSoon() {
		delay.stop();
		rounds.falseStart();
		play(earlySound);
		mode = RESULT;
		since = now();
		drawLamp(AMBER, 1);
		say("Too soon!", "+" + Rounds.PENALTY + " ms penalty. The round starts again.");
		updateHud();
	}

	function answer(ms:Int) {
		var counted = rounds.answer(ms);
		play(tapSound);
		mode = RESULT;
		since = now();
		drawLamp(GREEN, 0.45);
		say(counted + " ms", ms > Rounds.SLOWEST ? "Too slow: counted as " + Rounds.SLOWEST + " ms." : Rounds.verdict(counted));
		updateHud();
	}

	function finish() {
		mode = OVER;
		since = now();
		var average = rounds.average();
		var record = best == 0 || average < best;
		if (record) {
			best = average;
			saveBest();
		}
		status.text = "";
		detail.text = "";
		drawLamp(record ? GREEN : AMBER, 0.6);
		var penalty = rounds.falseStarts == 0 ? "No false starts." : rounds.falseStarts + " false start"
			+ (rounds.falseStarts > 1 ? "s" : "") + ": +" + rounds.penalties() + " ms.";
		panel.show("Average " + average + " ms", [
			Rounds.verdict(average) + "  " + penalty,
			"Your times: " + rounds.times.join(", ") + " ms",
			record ? "A new best average!" : "Best average: " + best + " ms",
		], "Click or press Space to play again");
		updateHud();
	}

	function say(big:String, small:String) {
		status.text = big;
		Hud.centreOn(status, Hud.WIDTH / 2, 226);
		detail.text = small;
		Hud.centreOn(detail, Hud.WIDTH / 2, 272);
	}

	function tick(_) {
		frame++;
		switch (mode) {
			case TITLE:
				// The lamp runs through its colours and the hand sweeps round.
				var colours = [RED, AMBER, GREEN];
				drawLamp(colours[Std.int(frame / 15) % 3], 0.85);
				hand.rotation = (frame * 12) % 360;
			case SIGNAL:
				if (now() - signalAt > Rounds.SLOWEST + 500)
					answer(now() - signalAt);
			case RESULT:
				if (now() - since >= RESULT_MS)
					nextRound();
			default:
		}
		if (panel.visible)
			panel.pulse(frame);
	}

	function drawLamp(colour:Int, strength:Float) {
		var g = lamp.graphics;
		g.clear();
		g.beginFill(colour, strength);
		g.drawCircle(0, 0, LAMP_R);
		g.endFill();
		g.beginFill(0xFFFFFF, 0.18 * strength);
		g.drawEllipse(-LAMP_R * 0.55, -LAMP_R * 0.75, LAMP_R * 0.9, LAMP_R * 0.6);
		g.endFill();
	}

	function updateHud() {
		roundText.text = mode == TITLE ? "Round -" : "Round " + rounds.round() + " / " + Rounds.COUNT;
		var average = rounds.average();
		averageText.text = "Average " + (average > 0 ? average + " ms" : "-");
		Hud.centreOn(averageText, Hud.WIDTH / 2, 7);
		bestText.text = "Best " + (best > 0 ? best + " ms" : "-");
		bestText.x = Hud.WIDTH - 12 - bestText.width;

		// One box a round along the bottom, with its time once answered.
		var g = slotMarks.graphics;
		g.clear();
		var show = mode != TITLE && mode != OVER;
		for (i in 0...Rounds.COUNT) {
			var x = 75 + i * 84;
			var done = i < rounds.times.length;
			if (show) {
				g.lineStyle(2, done ? GREEN : (i == rounds.times.length ? AMBER : 0x4A5266));
				g.beginFill(0x0B0D13, 0.8);
				g.drawRoundRect(x, 320, 76, 40, 12, 12);
				g.endFill();
			}
			slots[i].text = show ? (done ? rounds.times[i] + " ms" : "" + (i + 1)) : "";
			slots[i].textColor = done ? 0xFFFFFF : 0x6A7388;
			Hud.centreOn(slots[i], x + 38, 330);
		}
		g.lineStyle();
		penaltyText.text = "False starts: " + rounds.falseStarts + " (+" + rounds.penalties() + " ms)";
		Hud.centreOn(penaltyText, Hud.WIDTH / 2, 368);
		penaltyText.visible = show && rounds.falseStarts > 0;
	}
}
