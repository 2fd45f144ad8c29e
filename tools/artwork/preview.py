#!/usr/bin/env python3
"""Composites the editor from the generated artwork, the way the editor lays it out, so the
look can be judged before the real renderer draws it.

    python3 tools/artwork/preview.py [--art DIR] [--out FILE] [--value V | --values A,B,C,D]
                                     [--bias V] [--react on|off] [--bypass on|off] [--boxes]

Knob values are 0..1 (0 is -130 degrees from 12 o'clock, 1 is +130). --boxes outlines every
control's area, to check that print and lamp keep clear of them. Writes /tmp/tolvane-preview.png
unless told otherwise.
"""

import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True   # leave no __pycache__ beside the generator
# The layout lives in the generator. Importing it first also moves us to the system python
# when the python3 on PATH lacks cairo (and so, likely, PIL).
import make_artwork as art  # noqa: E402

from PIL import Image, ImageDraw, ImageFont  # noqa: E402


def rotated(im, degrees_clockwise):
    """The image turned about its centre, same size, clipped like the editor's drawing."""
    return im.rotate(-degrees_clockwise, resample=Image.BICUBIC, expand=False)


def knob_angle(v):
    return -art.KNOB_SWEEP + 2.0 * art.KNOB_SWEEP * max(0.0, min(1.0, v))


def frame(strip, index, count):
    w, h = strip.size
    fh = h // count
    return strip.crop((0, index * fh, w, (index + 1) * fh))


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--art", default=art.DEFAULT_OUT)
    p.add_argument("--out", default="/tmp/tolvane-preview.png")
    p.add_argument("--value", type=float, default=None, help="every main knob")
    p.add_argument("--values", default="0.32,0.5,0.5,0.87",
                   help="input gain, tame, output gain, wet")
    p.add_argument("--bias", type=float, default=0.5)
    p.add_argument("--react", choices=("on", "off"), default="on")
    p.add_argument("--bypass", choices=("on", "off"), default="off")
    p.add_argument("--boxes", action="store_true")
    a = p.parse_args()

    if a.value is not None:
        values = [a.value] * 4
    else:
        values = [float(v) for v in a.values.split(",")]

    load = lambda name: Image.open(os.path.join(a.art, name)).convert("RGBA")
    bg = Image.open(os.path.join(a.art, "Tolvanebackground.jpg")).convert("RGBA")
    face = load("Nuppi.png")
    shadow = load("NupikkaVarjo.png")
    overlay = load("NuppiOverlay.png")
    bias = load("BIASNUPPI.png")
    slide = load("LiukuAnim.png")
    flip = load("FlipperAnim.png")
    lamp = load("ledOn.png")

    # the editor is 1630 x 1010; the panel image is drawn from the top left
    view = Image.new("RGBA", (art.PANEL_W, 1010), (0, 0, 0, 255))
    view.alpha_composite(bg.crop((0, 0, art.PANEL_W, 1010)))

    bypass = 1 if a.bypass == "on" else 0
    view.alpha_composite(frame(lamp, bypass, 2), dest=art.LAMP_POS)
    for (label, centre, face_pos, shadow_pos, overlay_pos), v in zip(art.MAIN_KNOBS, values):
        view.alpha_composite(rotated(shadow, knob_angle(v)), dest=shadow_pos)
    for (label, centre, face_pos, shadow_pos, overlay_pos), v in zip(art.MAIN_KNOBS, values):
        view.alpha_composite(rotated(face, knob_angle(v)), dest=face_pos)
        view.alpha_composite(overlay, dest=overlay_pos)
    view.alpha_composite(rotated(bias, knob_angle(a.bias)), dest=art.BIAS_POS)
    view.alpha_composite(frame(slide, 1 if a.react == "on" else 0, 2), dest=art.SLIDE_POS)
    view.alpha_composite(frame(flip, bypass, 2), dest=art.FLIP_POS)

    # what the editor draws itself: the version line and the resize grip
    d = ImageDraw.Draw(view)
    f = ImageFont.truetype(os.path.join(a.art, "Roboto-Regular.ttf"), 20)
    x0, y0, x1, y1 = art.VERSION_AREA
    d.text(((x0 + x1) / 2, (y0 + y1) / 2), "v1.0.0 x86-64 VST2", font=f,
           fill=(255, 255, 255, 255), anchor="mm")
    for k in range(3):
        o = 6 + k * 5
        d.line((1630 - o, 1009, 1629, 1010 - o), fill=(200, 200, 200, 160), width=1)

    if a.boxes:
        boxes = [(art.LAMP_POS, art.LAMP_FRAME, (255, 60, 60, 255)),
                 (art.BIAS_POS, (art.BIAS_SIZE, art.BIAS_SIZE), (60, 255, 60, 255)),
                 (art.SLIDE_POS, art.SLIDE_FRAME, (60, 255, 60, 255)),
                 (art.FLIP_POS, art.FLIP_FRAME, (60, 255, 60, 255))]
        for label, centre, face_pos, shadow_pos, overlay_pos in art.MAIN_KNOBS:
            boxes.append((face_pos, (art.KNOB_SIZE, art.KNOB_SIZE), (60, 255, 60, 255)))
            boxes.append((shadow_pos, art.SHADOW_SIZE, (60, 160, 255, 255)))
            boxes.append((overlay_pos, art.OVERLAY_SIZE, (255, 200, 0, 255)))
        x0, y0, x1, y1 = art.VERSION_AREA
        boxes.append(((x0, y0), (x1 - x0, y1 - y0), (255, 0, 255, 255)))
        for (x, y), (w, h), col in boxes:
            d.rectangle((x, y, x + w - 1, y + h - 1), outline=col, width=1)

    os.makedirs(os.path.dirname(os.path.abspath(a.out)), exist_ok=True)
    view.convert("RGB").save(a.out, "PNG")
    print(a.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
