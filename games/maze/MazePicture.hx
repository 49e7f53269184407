package;

import flash.display.BitmapData;
import flash.geom.Rectangle;

// Paints a maze into a bitmap: solid wall colour everywhere, then the floor of every cell and of every
// open passage between two cells. A cell is `size` pixels from one wall line to the next.
class MazePicture {
	public static inline var WALL = 0x27304A;
	public static inline var FLOOR = 0xE9E2CC;
	public static inline var TRAIL = 0xF6CF8A;
	public static inline var GEM = 0x2FB7D8;
	public static inline var GEM_LIGHT = 0xB8F0FF;

	public var bitmapData(default, null):BitmapData;
	public var size(default, null):Int;
	public var wall(default, null):Int;

	var maze:Maze;
	var rect = new Rectangle();

	public function new(maze:Maze, size:Int) {
		this.maze = maze;
		this.size = size;
		wall = Levels.wallFor(size);
		bitmapData = new BitmapData(maze.cols * size + wall, maze.rows * size + wall, false, WALL);
	}

	public function paintAll() {
		fill(0, 0, bitmapData.width, bitmapData.height, WALL);
		for (cell in 0...maze.cols * maze.rows)
			paintCell(cell, FLOOR);
	}

	// The floor of one cell and of the passages leading out of it.
	public function paintCell(cell:Int, colour:Int) {
		var x = maze.colOf(cell) * size;
		var y = maze.rowOf(cell) * size;
		var inner = size - wall;
		fill(x + wall, y + wall, inner, inner, colour);
		if (maze.isOpen(cell, Maze.NORTH))
			fill(x + wall, y, inner, wall, colour);
		if (maze.isOpen(cell, Maze.WEST))
			fill(x, y + wall, wall, inner, colour);
		if (maze.isOpen(cell, Maze.SOUTH))
			fill(x + wall, y + size, inner, wall, colour);
		if (maze.isOpen(cell, Maze.EAST))
			fill(x + size, y + wall, wall, inner, colour);
	}

	// Wipes the inside of a cell back to plain floor (a gem picked up there).
	public function clearInside(cell:Int) {
		var inner = size - wall;
		fill(maze.colOf(cell) * size + wall, maze.rowOf(cell) * size + wall, inner, inner, FLOOR);
	}

	// Marks the way from one cell into its neighbour in direction `dir`.
	public function paintStep(cell:Int, dir:Int, colour:Int) {
		var x = maze.colOf(cell) * size;
		var y = maze.rowOf(cell) * size;
		var inner = size - wall;
		var mark = Std.int(Math.max(2, inner * 0.36));
		var off = Std.int((inner - mark) / 2);
		// A band through the middle of both cells, across the wall gap between them.
		var cx = x + wall + off;
		var cy = y + wall + off;
		switch (dir) {
			case Maze.EAST:
				fill(cx, cy, size + mark, mark, colour);
			case Maze.WEST:
				fill(cx - size, cy, size + mark, mark, colour);
			case Maze.SOUTH:
				fill(cx, cy, mark, size + mark, colour);
			default:
				fill(cx, cy - size, mark, size + mark, colour);
		}
	}

	// A small cut gem in the middle of a cell, drawn a pixel row at a time.
	public function paintGem(cell:Int) {
		var inner = size - wall;
		var cx = maze.colOf(cell) * size + wall + Std.int(inner / 2);
		var cy = maze.rowOf(cell) * size + wall + Std.int(inner / 2);
		var half = Std.int(Math.max(2, inner * 0.3));
		for (i in -half...half + 1) {
			var w = half - Std.int(Math.abs(i));
			fill(cx - w, cy + i, 2 * w + 1, 1, GEM);
		}
		var glint = Std.int(Math.max(1, half / 3));
		fill(cx - glint, cy - glint - Std.int(half / 3), glint, glint, GEM_LIGHT);
	}

	public function centreX(cell:Int):Float {
		return maze.colOf(cell) * size + wall + (size - wall) / 2;
	}

	public function centreY(cell:Int):Float {
		return maze.rowOf(cell) * size + wall + (size - wall) / 2;
	}

	inline function fill(x:Float, y:Float, w:Float, h:Float, colour:Int) {
		rect.x = x;
		rect.y = y;
		rect.width = w;
		rect.height = h;
		bitmapData.fillRect(rect, colour);
	}
}
