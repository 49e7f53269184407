package;

import flash.Lib;

// A test movie, never listed on the portal: it draws only with Stage3D, so it needs WebGL.
class Main {
	static function main() {
		var stage3d = Lib.current.stage.stage3Ds[0];
		stage3d.addEventListener(flash.events.Event.CONTEXT3D_CREATE, function(_) {
			stage3d.context3D.clear(0, 1, 0);
			stage3d.context3D.present();
		});
		stage3d.requestContext3D();
	}
}
