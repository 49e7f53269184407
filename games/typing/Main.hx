package;

import Hud;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.KeyboardEvent;
import flash.events.MouseEvent;
import flash.events.SecurityErrorEvent;
import flash.net.SharedObject;
import flash.net.URLLoader;
import flash.net.URLRequest;
import flash.text.TextField;
import flash.text.TextFieldType;
import flash.text.TextFormat;

// One falling word in its raindrop bubble.
private class Drop extends Sprite {
	public var word(default, null):String;
	public var speed:Float;

	var label:TextField;
	var shown = -1;

	public function new(word:String, speed:Float) {
		super();
		this.word = word;
		this.speed = speed;
		mouseEnabled = false;
		mouseChildren = false;
		label = Hud.label(word, 18, 0xFFFFFF, true);
		var w = label.width + 16;
		graphics.lineStyle(1.5, 0x9FD8FF, 0.9);
		graphics.beginFill(0x1C4E80, 0.85);
		graphics.drawRoundRect(-w / 2, -14, w, 28, 26, 26);
		graphics.endFill();
		// The drop's tip on top.
		graphics.lineStyle();
		graphics.beginFill(0x9FD8FF, 0.9);
		graphics.moveTo(-5, -14);
		graphics.lineTo(0, -24);
		graphics.lineTo(5, -14);
		graphics.endFill();
		label.x = -label.width / 2;
		label.y = -label.height / 2;
		addChild(label);
	}

	public function halfWidth():Float {
		return width / 2;
	}

	// Colours the letters already typed.
	public function showTyped(count:Int) {
		if (count == shown)
			return;
		shown = count;
		label.setTextFormat(new TextFormat("_sans", 18, 0xFFFFFF, true), 0, word.length);
		if (count > 0)
			label.setTextFormat(new TextFormat("_sans", 18, 0xFFD23F, true), 0, count);
	}
}

// Type Rain: words fall from the clouds; type each one into the box before it reaches the ground.
class Main extends Sprite {
	static inline var GROUND = 322;
	static inline var START_LIVES = 5;
	static inline var WORDS_PER_LEVEL = 8;

	static inline var TITLE = 0;
	static inline var PLAYING = 1;
	static inline var OVER = 2;

	var state = TITLE;
	var rain:Shape;
	var streaks:Array<{x:Float, y:Float, v:Float}> = [];
	var drops:Array<Drop> = [];
	var layer:Sprite;
	var popups:Array<TextField> = [];
	var missText:TextField;
	var splashes:Array<{s:Shape, life:Int}> = [];
	var input:TextField;
	var inputBox:Shape;
	var scoreText:TextField;
	var bestText:TextField;
	var levelText:TextField;
	var lifeIcons:Shape;
	var card:Sprite;
	var cardTitle:TextField;
	var cardLines:TextField;
	var cardHint:TextField;

	var score = 0;
	var best = 0;
	var bestBefore = 0;
	var lives = START_LIVES;
	var level = 1;
	var typedWords = 0;
	var combo = 0;
	var spawnIn = 0;
	var clock = 0;
	var waitFrames = 0;
	var saved:SharedObject;

	static function main() {
		flash.Lib.current.addChild(new Main());
	}

	function new() {
		super();
		var back = new Shape();
		Hud.verticalGradient(back.graphics, 0, 0, Hud.WIDTH, GROUND, 0x1B2B44, 0x3F5F86);
		// Clouds along the top.
		for (i in 0...9) {
			// One fill per cloud: overlapping parts of a single fill would cut holes in each other.
			back.graphics.beginFill(0x55657E);
			back.graphics.drawEllipse(-30 + i * 66, -26 + (i % 3) * 6, 110, 58);
			back.graphics.endFill();
		}
		back.graphics.beginFill(0x2E4A36);
		back.graphics.drawRect(0, GROUND, Hud.WIDTH, Hud.HEIGHT - GROUND);
		back.graphics.endFill();
		back.graphics.beginFill(0x3E6B4A);
		back.graphics.drawRect(0, GROUND, Hud.WIDTH, 6);
		back.graphics.endFill();
		// Puddles.
		back.graphics.beginFill(0x5C8FC0, 0.6);
		back.graphics.drawEllipse(40, GROUND + 16, 90, 10);
		back.graphics.drawEllipse(420, GROUND + 20, 100, 10);
		back.graphics.endFill();
		addChild(back);

		rain = new Shape();
		addChild(rain);
		for (_ in 0...70)
			streaks.push({x: Math.random() * Hud.WIDTH, y: Math.random() * GROUND, v: 7 + Math.random() * 5});
		layer = new Sprite();
		layer.mouseEnabled = false;
		layer.mouseChildren = false;
		addChild(layer);

		inputBox = new Shape();
		inputBox.graphics.lineStyle(2, 0x9FD8FF);
		inputBox.graphics.beginFill(0x0E1A2A);
		inputBox.graphics.drawRoundRect(150, 344, 250, 36, 12, 12);
		inputBox.graphics.endFill();
		addChild(inputBox);
		input = new TextField();
		input.defaultTextFormat = new TextFormat("_sans", 20, 0xFFFFFF, true);
		input.type = TextFieldType.INPUT;
		input.maxChars = 16;
		input.restrict = "a-zA-Z";
		input.x = 160;
		input.y = 348;
		input.width = 230;
		input.height = 30;
		addChild(input);
		input.addEventListener(Event.CHANGE, function(_) typed(false));

		scoreText = Hud.label("", 16, 0xFFFFFF, true);
		scoreText.x = 12;
		scoreText.y = 8;
		levelText = Hud.label("", 14, 0xCFE6FF, true);
		levelText.x = 12;
		levelText.y = 30;
		bestText = Hud.label("", 13, 0xCFE6FF);
		bestText.y = 10;
		lifeIcons = new Shape();
		addChild(scoreText);
		addChild(levelText);
		addChild(bestText);
		addChild(lifeIcons);

		card = new Sprite();
		card.mouseEnabled = false;
		card.mouseChildren = false;
		card.graphics.lineStyle(2, 0x9FD8FF);
		card.graphics.beginFill(0x0E1A2A, 0.97);
		card.graphics.drawRoundRect(100, 96, 350, 200, 22, 22);
		card.graphics.endFill();
		cardTitle = Hud.label("", 32, 0xFFFFFF, true, true);
		cardLines = Hud.label("", 14, 0xD8E6F5, false, true);
		cardHint = Hud.label("", 15, 0xFFD23F, true, true);
		card.addChild(cardTitle);
		card.addChild(cardLines);
		card.addChild(cardHint);
		addChild(card);

		best = loadBest();
		loadWords();
		showCard("TYPE RAIN", "Words fall from the clouds: type each one\nin the box at the bottom before it lands.\nEnter clears the box. Five misses and it's over.",
			"Click or press Enter to start");
		setInputActive(false);
		updateHud();

		addEventListener(Event.ENTER_FRAME, tick);
		addEventListener(Event.ADDED_TO_STAGE, function(_) {
			stage.addEventListener(MouseEvent.MOUSE_DOWN, function(_) {
				if (state == PLAYING)
					stage.focus = input;
				else
					begin();
			});
			stage.addEventListener(KeyboardEvent.KEY_DOWN, keyDown);
		});
	}

	// The longer word list kept beside the movie; the game plays with its own until it is there, and on without it
	// when it cannot be had.
	function loadWords() {
		var loader = new URLLoader();
		loader.addEventListener(Event.COMPLETE, function(_) {
			var list = Words.fromText(Std.string(loader.data));
			if (list != null)
				Words.LIST = list;
		});
		loader.addEventListener(IOErrorEvent.IO_ERROR, function(_) {});
		loader.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(_) {});
		try {
			loader.load(new URLRequest("typing/words.txt"));
		} catch (e:Dynamic) {} // a player that allows no requests at all
	}

	function showCard(title:String, lines:String, hint:String) {
		cardTitle.text = title;
		cardLines.text = lines;
		cardHint.text = hint;
		Hud.centreOn(cardTitle, Hud.WIDTH / 2, 110);
		Hud.centreOn(cardLines, Hud.WIDTH / 2, 162);
		Hud.centreOn(cardHint, Hud.WIDTH / 2, 252);
		card.visible = true;
	}

	function setInputActive(on:Bool) {
		input.type = on ? TextFieldType.INPUT : TextFieldType.DYNAMIC;
		input.selectable = on;
		input.text = "";
		input.alpha = on ? 1 : 0.4;
		inputBox.alpha = on ? 1 : 0.4;
		if (stage != null)
			stage.focus = on ? input : null;
	}

	function keyDown(e:KeyboardEvent) {
		if (state == PLAYING) {
			if (e.keyCode == 13)
				typed(true);
		} else if (e.keyCode == 13 || e.keyCode == 32) {
			begin();
		}
	}

	function begin() {
		if (state == PLAYING || (state == OVER && waitFrames > 0))
			return;
		for (d in drops)
			layer.removeChild(d);
		drops = [];
		score = 0;
		bestBefore = best;
		lives = START_LIVES;
		level = 1;
		typedWords = 0;
		combo = 0;
		spawnIn = 15;
		state = PLAYING;
		card.visible = false;
		setInputActive(true);
		updateHud();
	}

	// Reads the text box: a finished word scores at once; Enter on anything else is a miss and clears it.
	function typed(enter:Bool) {
		if (state != PLAYING)
			return;
		var words = [for (d in drops) d.word];
		var hit = Words.exactMatch(input.text, words);
		if (hit >= 0) {
			var d = drops[hit];
			combo++;
			var gained = Words.points(d.word, combo - 1);
			score += gained;
			typedWords++;
			level = 1 + Std.int(typedWords / WORDS_PER_LEVEL);
			popup("+" + gained, d.x, d.y, 0xFFD23F);
			splash(d.x, d.y, 0xFFD23F);
			removeDrop(hit);
			input.text = "";
			updateHud();
		} else if (enter) {
			if (Words.normalise(input.text).length > 0) {
				combo = 0;
				if (missText == null || missText.alpha < 0.5)
					missText = popup("miss", Hud.WIDTH / 2, 330, 0xFF8A7A);
			}
			input.text = "";
		}
		for (d in drops)
			d.showTyped(Words.typedPrefix(input.text, d.word));
	}

	function tick(_) {
		clock++;
		animateRain();
		updateEffects();
		switch (state) {
			case PLAYING:
				play();
			case TITLE:
				cardHint.alpha = 0.55 + 0.45 * Math.sin(clock / 5);
				drift();
			default:
				if (waitFrames > 0 && --waitFrames == 0)
					cardHint.text = "Click or press Enter to play again";
				cardHint.alpha = 0.55 + 0.45 * Math.sin(clock / 5);
				drift();
		}
	}

	function animateRain() {
		var g = rain.graphics;
		g.clear();
		g.lineStyle(1, 0xBFD9F2, 0.45);
		for (s in streaks) {
			s.y += s.v;
			s.x -= s.v * 0.15;
			if (s.y > GROUND) {
				s.y = -10;
				s.x = Math.random() * (Hud.WIDTH + 60);
			}
			g.moveTo(s.x, s.y);
			g.lineTo(s.x + 2, s.y - 10);
		}
	}

	// Between games a few words drift past behind the card.
	function drift() {
		if (drops.length < 4 && clock % 40 == 0)
			spawn(1, 1.3);
		var i = drops.length;
		while (i-- > 0) {
			drops[i].y += drops[i].speed;
			if (drops[i].y > GROUND - 14) {
				splash(drops[i].x, GROUND - 6, 0x9FD8FF);
				removeDrop(i);
			}
		}
	}

	function play() {
		if (stage != null && stage.focus != input)
			stage.focus = input;
		if (--spawnIn <= 0) {
			spawn(level, 0.55 + 0.1 * level + Math.random() * 0.25);
			spawnIn = Std.int(Math.max(38, 105 - level * 8) + Math.random() * 30);
		}
		var i = drops.length;
		while (i-- > 0) {
			var d = drops[i];
			d.y += d.speed;
			if (d.y > GROUND - 14) {
				splash(d.x, GROUND - 6, 0xFF6A5A);
				popup("-1", d.x, GROUND - 40, 0xFF8A7A);
				removeDrop(i);
				combo = 0;
				lives--;
				updateHud();
				if (lives <= 0) {
					gameOver();
					return;
				}
			}
		}
	}

	function spawn(forLevel:Int, speed:Float) {
		var word = Words.pick(forLevel, Math.random, [for (d in drops) d.word]);
		if (word == null)
			return;
		var d = new Drop(word, speed);
		var half = d.halfWidth();
		d.x = half + 10 + Math.random() * (Hud.WIDTH - 2 * half - 20);
		d.y = 62;
		layer.addChild(d);
		drops.push(d);
		if (state == PLAYING)
			d.showTyped(Words.typedPrefix(input.text, word));
	}

	function removeDrop(i:Int) {
		layer.removeChild(drops[i]);
		drops.splice(i, 1);
	}

	function gameOver() {
		state = OVER;
		waitFrames = 30;
		setInputActive(false);
		if (score > best) {
			best = score;
			saveBest();
		}
		showCard(score > bestBefore ? "New best!" : "Game over", "Score " + score + "     Best " + best + "\n" + typedWords
			+ (typedWords == 1 ? " word" : " words") + " typed, level " + level, "");
		updateHud();
	}

	function popup(text:String, x:Float, y:Float, colour:Int):TextField {
		var tf = Hud.label(text, 18, colour, true, true);
		Hud.centreOn(tf, Hud.clamp(x, 30, Hud.WIDTH - 30), y - 10);
		addChild(tf);
		popups.push(tf);
		return tf;
	}

	function splash(x:Float, y:Float, colour:Int) {
		var s = new Shape();
		s.graphics.lineStyle(2, colour);
		s.graphics.drawEllipse(-16, -5, 32, 10);
		for (k in 0...6) {
			var a = Math.PI + k * Math.PI / 5;
			s.graphics.moveTo(Math.cos(a) * 10, Math.sin(a) * 6);
			s.graphics.lineTo(Math.cos(a) * 18, Math.sin(a) * 14);
		}
		s.x = x;
		s.y = y;
		addChild(s);
		splashes.push({s: s, life: 18});
	}

	function updateEffects() {
		var i = popups.length;
		while (i-- > 0) {
			var tf = popups[i];
			tf.y -= 1.2;
			tf.alpha -= 0.03;
			if (tf.alpha <= 0) {
				removeChild(tf);
				popups.splice(i, 1);
			}
		}
		i = splashes.length;
		while (i-- > 0) {
			var sp = splashes[i];
			sp.life--;
			sp.s.scaleX += 0.06;
			sp.s.scaleY += 0.06;
			sp.s.alpha = sp.life / 18;
			if (sp.life <= 0) {
				removeChild(sp.s);
				splashes.splice(i, 1);
			}
		}
	}

	function updateHud() {
		var playing = state != TITLE;
		scoreText.visible = playing;
		levelText.visible = playing;
		lifeIcons.visible = playing;
		scoreText.text = "Score " + score;
		levelText.text = "Level " + level + (combo > 1 ? "   Combo x" + combo : "");
		bestText.text = "Best " + best;
		bestText.x = Hud.WIDTH - 12 - bestText.width;
		var g = lifeIcons.graphics;
		g.clear();
		for (i in 0...START_LIVES) {
			// A raindrop per life, grey once lost.
			var cx = Hud.WIDTH - 20 - i * 20;
			g.beginFill(i < lives ? 0x5CC8FF : 0x4A5570);
			g.moveTo(cx, 30);
			g.curveTo(cx + 7, 42, cx, 46);
			g.curveTo(cx - 7, 42, cx, 30);
			g.endFill();
		}
	}

	function saveBest() {
		if (saved == null)
			return;
		try {
			saved.data.best = best;
			saved.flush();
		} catch (e:Dynamic) {}
	}

	function loadBest():Int {
		try {
			saved = SharedObject.getLocal("typing");
			var value:Dynamic = saved.data.best;
			if (value != null)
				return Std.int(value);
		} catch (e:Dynamic) {}
		return 0;
	}
}
