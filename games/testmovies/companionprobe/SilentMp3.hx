package;

// Writes a short silent MP3 for the companion probe at build time: MPEG-1 Layer III frames, 128 kbit/s,
// 44.1 kHz, mono, with no side information or sound data, which every decoder plays as silence.
//   haxe -cp games/testmovies/companionprobe --run SilentMp3 OUT.mp3
class SilentMp3 {
	static inline var FRAMES = 20; // about half a second
	static inline var FRAME_BYTES = 417; // 144 * 128000 / 44100, without the padding byte

	static function main() {
		var out = new haxe.io.BytesBuffer();
		for (_ in 0...FRAMES) {
			// Sync, MPEG-1, Layer III, no CRC; 128 kbit/s, 44.1 kHz, no padding; mono.
			for (b in [0xFF, 0xFB, 0x90, 0xC0])
				out.addByte(b);
			for (_ in 4...FRAME_BYTES)
				out.addByte(0);
		}
		sys.io.File.saveBytes(Sys.args()[0], out.getBytes());
	}
}
