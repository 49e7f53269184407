#!/usr/bin/env python3
"""Draws the game box's artwork into data/ (button pictures, logo, icon, placeholder picture).

The PNG and GIF files it writes are committed; the build never runs this. Run it again after changing a
drawing: /usr/bin/python3 scripts/make-artwork.py (needs Debian's python3-pil and fonts-dejavu-core).
Everything is drawn at a large scale and reduced, which gives clean antialiased edges at the small sizes.
"""

import os
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
IMAGES = os.path.join(ROOT, "data", "images")
FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT_PLAIN = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

SS = 8  # supersampling factor

# One palette for everything the program draws itself.
SLATE_TOP = (78, 90, 106)
SLATE_BOTTOM = (40, 48, 58)
SLATE_EDGE = (24, 29, 36)
ORANGE = (255, 128, 0)
ORANGE_LIGHT = (255, 166, 64)
ORANGE_DARK = (214, 96, 0)
WHITE = (255, 255, 255)


def gradient(size, top, bottom):
    """A vertical gradient image of the given size."""
    w, h = size
    img = Image.new("RGBA", size)
    px = img.load()
    for y in range(h):
        t = y / max(1, h - 1)
        c = tuple(round(top[i] + (bottom[i] - top[i]) * t) for i in range(3)) + (255,)
        for x in range(w):
            px[x, y] = c
    return img


def rounded_mask(size, radius, inset=0):
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).rounded_rectangle(
        (inset, inset, size[0] - 1 - inset, size[1] - 1 - inset), radius=radius, fill=255)
    return mask


def plate(size, radius, top, bottom, edge, highlight=True):
    """A rounded plate with a border and a soft top highlight, at supersampled size."""
    w, h = size
    img = Image.new("RGBA", size, (0, 0, 0, 0))
    border = Image.new("RGBA", size, edge + (255,))
    img.paste(border, (0, 0), rounded_mask(size, radius))
    inner = SS  # one final pixel of border
    body = gradient(size, top, bottom)
    img.paste(body, (0, 0), rounded_mask(size, radius - inner, inner))
    if highlight:
        # A glossy upper half: a lighter band that fades out towards the middle.
        gloss = Image.new("RGBA", size, (255, 255, 255, 0))
        gd = ImageDraw.Draw(gloss)
        for y in range(inner, h // 2):
            a = round(46 * (1 - (y - inner) / (h // 2 - inner)))
            gd.line((0, y, w, y), fill=(255, 255, 255, a))
        gmask = rounded_mask(size, radius - inner, inner)
        img.alpha_composite(Image.composite(gloss, Image.new("RGBA", size, (0, 0, 0, 0)), gmask))
    return img


def shadowed(glyph, offset=(0, SS), blur=SS, alpha=110):
    """Puts a soft dark shadow under a white glyph layer so that it stands out from the plate."""
    shadow_mask = glyph.getchannel("A").filter(ImageFilter.GaussianBlur(blur))
    shadow = Image.new("RGBA", glyph.size, (0, 0, 0, 0))
    shadow.putalpha(shadow_mask.point(lambda v: v * alpha // 255))
    out = Image.new("RGBA", glyph.size, (0, 0, 0, 0))
    out.alpha_composite(shadow, offset)
    out.alpha_composite(glyph)
    return out


def reduce(img, size):
    return img.resize(size, Image.LANCZOS)


# --- button glyphs, drawn on a 30x30 grid (coordinates in final pixels, scaled by SS) ---


def s(*coords):
    return [c * SS for c in coords]


def glyph_play(d):
    d.polygon(s(11, 8.5, 11, 21.5, 21.5, 15), fill=WHITE)


def glyph_pause(d):
    d.rounded_rectangle(s(9.5, 8.5, 13.5, 21.5), radius=SS, fill=WHITE)
    d.rounded_rectangle(s(16.5, 8.5, 20.5, 21.5), radius=SS, fill=WHITE)


def glyph_rewind(d):
    # Back to the first frame: a bar and two triangles pointing at it.
    d.rounded_rectangle(s(7, 9, 9.5, 21), radius=SS // 2, fill=WHITE)
    d.polygon(s(9.5, 15, 15.5, 9, 15.5, 21), fill=WHITE)
    d.polygon(s(15, 15, 21.5, 9, 21.5, 21), fill=WHITE)


def glyph_forward(d):
    # One frame on: a triangle against a bar.
    d.polygon(s(9, 9, 9, 21, 18, 15), fill=WHITE)
    d.rounded_rectangle(s(19, 9, 21.5, 21), radius=SS // 2, fill=WHITE)


def glyph_full(d):
    # Four corners pointing outwards.
    w = 2.2 * SS
    for (x, y, dx, dy) in ((7.5, 7.5, 1, 1), (22.5, 7.5, -1, 1), (7.5, 22.5, 1, -1), (22.5, 22.5, -1, -1)):
        d.line(s(x, y, x + 6 * dx, y), fill=WHITE, width=round(w))
        d.line(s(x, y, x, y + 6 * dy), fill=WHITE, width=round(w))
        r = w / 2
        d.ellipse((x * SS - r, y * SS - r, x * SS + r, y * SS + r), fill=WHITE)
    d.rounded_rectangle(s(12.5, 12.5, 17.5, 17.5), radius=SS, fill=WHITE)


def glyph_local(d):
    # The library: a shelf of four game tiles, one of them in the accent colour.
    for i, (x, y) in enumerate(((7.5, 7.5), (15.5, 7.5), (7.5, 15.5), (15.5, 15.5))):
        d.rounded_rectangle(s(x, y, x + 7, y + 7), radius=round(1.6 * SS),
                            fill=ORANGE_LIGHT if i == 0 else WHITE)


def button(glyph):
    size = (30 * SS, 30 * SS)
    img = plate(size, 6 * SS, SLATE_TOP, SLATE_BOTTOM, SLATE_EDGE)
    layer = Image.new("RGBA", size, (0, 0, 0, 0))
    glyph(ImageDraw.Draw(layer))
    img.alpha_composite(shadowed(layer))
    # A thin accent line along the bottom edge ties the buttons to the orange of the program.
    accent = Image.new("RGBA", size, (0, 0, 0, 0))
    ImageDraw.Draw(accent).rectangle(s(6, 26.2, 24, 27.2), fill=ORANGE + (200,))
    img.alpha_composite(accent)
    return reduce(img, (30, 30))


def close_picture():
    # 17x15: small enough to sit in the corner of a full-screen game, bright enough to find on black.
    size = (17 * SS, 15 * SS)
    img = plate(size, 3 * SS, (224, 98, 40), (176, 52, 20), (90, 24, 8))
    layer = Image.new("RGBA", size, (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    w = round(2.0 * SS)
    d.line(s(5.3, 4.3, 11.7, 10.7), fill=WHITE, width=w)
    d.line(s(11.7, 4.3, 5.3, 10.7), fill=WHITE, width=w)
    for (x, y) in ((5.3, 4.3), (11.7, 10.7), (11.7, 4.3), (5.3, 10.7)):
        r = w / 2
        d.ellipse((x * SS - r, y * SS - r, x * SS + r, y * SS + r), fill=WHITE)
    img.alpha_composite(shadowed(layer, offset=(0, SS // 2), blur=SS // 2, alpha=90))
    return reduce(img, (17, 15))


def emblem(px):
    """The program's mark: a white game pad on an orange tile."""
    size = (px * SS, px * SS)
    u = px * SS / 64.0  # drawing units: the mark is designed on a 64 grid

    def box(x0, y0, x1, y1):
        # The pad is drawn around (32, 34.5) and placed, a little enlarged, at the tile's centre.
        k = 1.12
        return tuple(v * u for v in (32 + (x0 - 32) * k, 32 + (y0 - 34.5) * k, 32 + (x1 - 32) * k,
                                     32 + (y1 - 34.5) * k))

    img = plate(size, round(14 * u), ORANGE_LIGHT, ORANGE_DARK, (150, 62, 0))
    layer = Image.new("RGBA", size, (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    d.rounded_rectangle(box(8, 20, 56, 42), radius=round(11 * u), fill=WHITE)
    d.ellipse(box(7, 27, 27, 49), fill=WHITE)  # the grips
    d.ellipse(box(37, 27, 57, 49), fill=WHITE)
    d.rectangle(box(15.5, 29, 24.5, 32), fill=ORANGE_DARK)  # the direction cross
    d.rectangle(box(18.5, 26, 21.5, 35), fill=ORANGE_DARK)
    d.ellipse(box(40, 25, 45, 30), fill=ORANGE_DARK)  # two fire buttons
    d.ellipse(box(45, 31, 50, 36), fill=ORANGE_DARK)
    d.rounded_rectangle(box(28, 30, 36, 32), radius=round(1 * u), fill=(232, 196, 160))
    img.alpha_composite(shadowed(layer, offset=(0, round(1.5 * u)), blur=round(1.5 * u), alpha=90))
    return img


def icon(px):
    return reduce(emblem(px), (px, px))


def logo():
    w, h = 177, 71
    size = (w * SS, h * SS)
    img = Image.new("RGBA", size, (0, 0, 0, 0))
    img.alpha_composite(plate(size, 7 * SS, SLATE_TOP, SLATE_BOTTOM, SLATE_EDGE))
    mark = emblem(48)
    img.alpha_composite(mark, (10 * SS, (h - 48) // 2 * SS + SS // 2))

    d = ImageDraw.Draw(img)
    name_font = ImageFont.truetype(FONT_BOLD, 18 * SS)
    game_font = ImageFont.truetype(FONT_BOLD, 12 * SS)
    x = 65 * SS
    # The name, with a faint shadow; "GAME" spaced out below it in the accent colour, over a rule.
    d.text((x + SS // 2, 15 * SS + SS), "Quillabrix", font=name_font, fill=(0, 0, 0, 110))
    d.text((x, 15 * SS), "Quillabrix", font=name_font, fill=WHITE)
    name_width = d.textlength("Quillabrix", font=name_font)
    gx = x
    letters = "GAME"
    spacing = (name_width - sum(d.textlength(c, font=game_font) for c in letters)) / (len(letters) - 1)
    for c in letters:
        d.text((gx, 41 * SS), c, font=game_font, fill=ORANGE_LIGHT)
        gx += d.textlength(c, font=game_font) + spacing
    d.line((x, 38 * SS, x + name_width, 38 * SS), fill=(255, 255, 255, 70), width=SS)
    out = reduce(img, (w, h))
    # The logo sits on the window's light grey: flatten it so that it looks the same in any viewer.
    back = Image.new("RGBA", (w, h), (192, 192, 192, 255))
    back.alpha_composite(out)
    return back.convert("RGB")


def no_picture():
    w, h = 105, 89
    size = (w * SS, h * SS)
    img = Image.new("RGBA", size, (214, 214, 214, 255))
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, size[0] - 1, size[1] - 1), outline=(160, 160, 160, 255), width=SS)
    grey = (150, 150, 150, 255)
    # A picture frame with a mountain and a sun, struck through.
    fx0, fy0, fx1, fy1 = 34, 14, 71, 46
    d.rounded_rectangle(s(fx0, fy0, fx1, fy1), radius=3 * SS, outline=grey, width=round(2.5 * SS))
    d.polygon(s(fx0 + 4, fy1 - 4, fx0 + 15, fy0 + 13, fx0 + 23, fy1 - 9, fx0 + 27, fy1 - 13, fx1 - 4, fy1 - 4),
              fill=grey)
    d.ellipse(s(fx1 - 12, fy0 + 5, fx1 - 6, fy0 + 11), fill=grey)
    d.line(s(fx0 - 3, fy1 + 3, fx1 + 3, fy0 - 3), fill=(214, 214, 214, 255), width=round(5 * SS))
    d.line(s(fx0 - 3, fy1 + 3, fx1 + 3, fy0 - 3), fill=(190, 70, 40, 255), width=round(2.5 * SS))
    font = ImageFont.truetype(FONT_PLAIN, 11 * SS)
    text = "No picture"
    tw = d.textlength(text, font=font)
    d.text(((size[0] - tw) / 2, 58 * SS), text, font=font, fill=(110, 110, 110, 255))
    out = reduce(img, (w, h)).convert("RGB")
    return out.quantize(colors=64, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)


# The desktop menu's icon, at the sizes of the hicolor theme (installed as share/icons/hicolor/NxN/apps).
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def save_desktop_icons():
    folder = os.path.join(ROOT, "data", "icons")
    os.makedirs(folder, exist_ok=True)
    for px in ICON_SIZES:
        icon(px).save(os.path.join(folder, "%d.png" % px), optimize=True)


def main():
    os.makedirs(IMAGES, exist_ok=True)
    buttons = {
        "b_rewind": glyph_rewind,
        "b_play": glyph_play,
        "b_pause": glyph_pause,
        "b_forward": glyph_forward,
        "b_full": glyph_full,
        "b_local": glyph_local,
    }
    for name, glyph in buttons.items():
        button(glyph).save(os.path.join(IMAGES, name + ".png"), optimize=True)
    close_picture().save(os.path.join(IMAGES, "b_exit.png"), optimize=True)
    logo().save(os.path.join(IMAGES, "logo.png"), optimize=True)
    icon(64).save(os.path.join(IMAGES, "icon.png"), optimize=True)
    save_desktop_icons()
    no_picture().save(os.path.join(ROOT, "data", "no.gif"), optimize=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
