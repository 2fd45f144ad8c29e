#!/usr/bin/env python3
"""Draws the editor artwork of Tolvane.

    python3 tools/artwork/make_artwork.py [OUTDIR]      (default: src/tolvane/resources/)

Writes the eight images the editor loads, plus the Roboto font it prints with and that font's
licence. Everything is drawn from code: shapes with cairo, textures, blurs and print with PIL.
The output is deterministic: every texture comes from a seeded generator, PNG files carry no
extra chunks and the JPEG carries no EXIF, so two runs give byte-identical files.

The panel is a dark graphite plate, brushed horizontally and lit from the top left, with cream
print and an amber accent. Knob faces and their shadows rotate in the editor, so their shading
is kept round; the light that must stay put (rim light, the sheen of the spun metal, the
contact shadow) lives in the fixed knob overlay.
"""

import math
import os
import random
import shutil
import sys

try:
    import cairo
except ImportError:
    # python3-cairo belongs to the system interpreter; a python3 found earlier on PATH may
    # not have it. Run again under the system one.
    _SYSTEM_PYTHON = "/usr/bin/python3"
    if (os.path.exists(_SYSTEM_PYTHON) and not os.environ.get("TOLVANE_ARTWORK_REEXEC")
            and os.path.realpath(sys.executable) != os.path.realpath(_SYSTEM_PYTHON)):
        os.environ["TOLVANE_ARTWORK_REEXEC"] = "1"
        os.execv(_SYSTEM_PYTHON, [_SYSTEM_PYTHON] + sys.argv)
    raise

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.normpath(os.path.join(HERE, "..", ".."))
DEFAULT_OUT = os.path.join(REPO, "src", "tolvane", "resources")

ROBOTO_DIR = "/usr/share/fonts/truetype/roboto/unhinted"
FONT_REGULAR = os.path.join(ROBOTO_DIR, "RobotoTTF", "Roboto-Regular.ttf")
FONT_MEDIUM = os.path.join(ROBOTO_DIR, "RobotoTTF", "Roboto-Medium.ttf")
FONT_LIGHT = os.path.join(ROBOTO_DIR, "RobotoTTF", "Roboto-Light.ttf")
FONT_COND_BOLD = os.path.join(ROBOTO_DIR, "RobotoCondensed-Bold.ttf")
FONT_LICENSE_SOURCE = "/usr/share/common-licenses/Apache-2.0"
FONT_COPYRIGHT_SOURCE = "/usr/share/doc/fonts-roboto-unhinted/copyright"

# ---------------------------------------------------------------------------------------------
# Editor layout (design space 1630 x 1010; the panel image is two pixels taller).

PANEL_W, PANEL_H = 1630, 1012

KNOB_SIZE = 246                      # Nuppi.png
KNOB_R = 122.6                       # radius of the knob's silhouette
SHADOW_SIZE = (252, 247)             # NupikkaVarjo.png
OVERLAY_SIZE = (268, 294)            # NuppiOverlay.png
# Where the knob's centre falls in the overlay: the four overlays sit within a pixel of this.
OVERLAY_CENTRE = (133.0, 136.5)
BIAS_SIZE = 58                       # BIASNUPPI.png
SLIDE_FRAME = (254, 154)             # LiukuAnim.png, two frames
FLIP_FRAME = (66, 151)               # FlipperAnim.png, two frames
LAMP_POS = (824, 0)                  # ledOn.png, two frames
LAMP_FRAME = (806, 935)

# (label, knob centre, face top-left, shadow top-left, overlay top-left)
MAIN_KNOBS = [
    ("INPUT GAIN", (260, 329), (137, 206), (137, 286), (126, 192)),
    ("TAME", (260, 726), (137, 603), (137, 683), (126, 590)),
    ("OUTPUT GAIN", (1014, 726), (891, 603), (891, 683), (882, 590)),
    ("WET", (1369, 726), (1246, 603), (1246, 683), (1237, 590)),
]
BIAS_POS = (558, 630)
BIAS_CENTRE = (587, 659)
SLIDE_POS = (516, 752)
FLIP_POS = (1339, 354)
KNOB_SWEEP = 130.0                   # degrees either side of 12 o'clock

# Where the pilot lamp sits on the panel (inside the lamp image's area).
LAMP_CENTRE = (1372, 246)
LAMP_BEZEL_R = 31.0
LAMP_LENS_R = 20.5

# Where the editor prints its version line and puts its resize grip.
VERSION_AREA = (1480, 980, 1630, 1010)

# ---------------------------------------------------------------------------------------------
# Palette. One light, from the top left; cream print; amber for what glows.

INK = (236, 226, 204)                # cream print
AMBER = (255, 164, 48)
AMBER_DEEP = (226, 98, 18)
SKIRT = (33, 33, 36)                 # knob skirt, black anodised
SILVER = (176, 178, 182)             # knob caps, spun aluminium


def rgb(c, a=None):
    """A 0..255 colour as cairo's 0..1 components (with alpha when given)."""
    t = tuple(v / 255.0 for v in c[:3])
    return t if a is None else t + (a,)


# ---------------------------------------------------------------------------------------------
# Small helpers between cairo and PIL.

def surface(w, h):
    s = cairo.ImageSurface(cairo.FORMAT_ARGB32, w, h)
    c = cairo.Context(s)
    c.set_antialias(cairo.ANTIALIAS_BEST)
    return s, c


def to_image(s):
    """A cairo ARGB32 surface as a straight-alpha PIL RGBA image."""
    s.flush()
    w, h = s.get_width(), s.get_height()
    return Image.frombuffer("RGBA", (w, h), bytes(s.get_data()), "raw", "BGRa",
                            s.get_stride(), 1).copy()


def draw(w, h, fn):
    """Runs fn(ctx) on a fresh transparent w x h surface and gives the result as an image."""
    s, c = surface(w, h)
    fn(c)
    return to_image(s)


def blur(im, radius):
    if radius <= 0:
        return im
    if im.mode == "RGBA":
        # Blur premultiplied so that transparent pixels carry no colour into the edges.
        pm = im.convert("RGBa").filter(ImageFilter.GaussianBlur(radius))
        return pm.convert("RGBA")
    return im.filter(ImageFilter.GaussianBlur(radius))


def noise(w, h, seed):
    return Image.frombytes("L", (w, h), random.Random(seed).randbytes(w * h))


def contrast(im, k, centre=128):
    lut = [max(0, min(255, int(round(centre + (v - 128) * k)))) for v in range(256)]
    return im.point(lut)


def scale_alpha(im, k):
    r, g, b, a = im.split()
    a = a.point([max(0, min(255, int(round(v * k)))) for v in range(256)])
    return Image.merge("RGBA", (r, g, b, a))


def solid(size, colour, mask):
    """A layer of one colour whose alpha is `mask` (an L image)."""
    layer = Image.new("RGBA", size, tuple(colour[:3]) + (0,))
    layer.putalpha(mask)
    return layer


def over(base, layer, pos=(0, 0)):
    """Composites `layer` over `base` in place (both RGBA)."""
    base.alpha_composite(layer, dest=(int(pos[0]), int(pos[1])))
    return base


def clean(im):
    """Zeroes the colour of fully transparent pixels: smaller files, no stray colour."""
    a = im.getchannel("A")
    bare = Image.new("RGBA", im.size, (0, 0, 0, 0))
    return Image.composite(im, bare, a.point(lambda v: 255 if v else 0))


def ring_path(c, cx, cy, r0, r1):
    c.new_sub_path()
    c.arc(cx, cy, r1, 0, 2 * math.pi)
    c.close_path()
    c.new_sub_path()
    c.arc_negative(cx, cy, r0, 2 * math.pi, 0)
    c.close_path()


def rounded_rect(c, x, y, w, h, r):
    c.new_sub_path()
    c.arc(x + w - r, y + r, r, -math.pi / 2, 0)
    c.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
    c.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
    c.arc(x + r, y + r, r, math.pi, 1.5 * math.pi)
    c.close_path()


def falloff_radial(cx, cy, r0, r1, colour, a0, a1=0.0, shape=1.0, steps=24):
    """A radial gradient whose alpha eases from a0 at r0 to a1 at r1 (smoothstep, bent by
    `shape`: above 1 keeps it bright longer)."""
    g = cairo.RadialGradient(cx, cy, r0, cx, cy, r1)
    for i in range(steps + 1):
        t = i / steps
        u = t ** shape
        s = u * u * (3 - 2 * u)
        g.add_color_stop_rgba(t, *rgb(colour), a0 + (a1 - a0) * s)
    return g


def gaussian_radial(cx, cy, r, colour, a0, sigma, steps=32):
    """Alpha a0 * exp(-(d / sigma)^2 / 2) out to radius r."""
    g = cairo.RadialGradient(cx, cy, 0, cx, cy, r)
    for i in range(steps + 1):
        t = i / steps
        d = t * r
        g.add_color_stop_rgba(t, *rgb(colour), a0 * math.exp(-0.5 * (d / sigma) ** 2))
    return g


def linear_light(x0, y0, x1, y1, stops):
    """A linear gradient from (x0, y0) to (x1, y1); stops are (t, colour, alpha)."""
    g = cairo.LinearGradient(x0, y0, x1, y1)
    for t, col, a in stops:
        g.add_color_stop_rgba(t, *rgb(col), a)
    return g


def top_left_light(cx, cy, r, lit=(255, 255, 255), lit_a=0.3, dark=(0, 0, 0), dark_a=0.4):
    """Shading across a round shape lit from the top left."""
    d = r / math.sqrt(2)
    return linear_light(cx - d, cy - d, cx + d, cy + d,
                        [(0.0, lit, lit_a), (0.45, lit, 0.0), (0.55, dark, 0.0),
                         (1.0, dark, dark_a)])


def angular_fill(c, cx, cy, r, fn, step_deg=2.0):
    """Fills the disc of radius r with a colour that depends only on the angle: fn(a) gives
    (r, g, b, alpha) in 0..1 for a in radians, clockwise from 12 o'clock. Drawn as a mesh,
    so there are no seams between the segments."""
    m = cairo.MeshPattern()
    n = int(round(360 / step_deg))
    rr = r * 1.02
    for i in range(n):
        a0 = math.radians(i * step_deg)
        a1 = math.radians((i + 1) * step_deg)
        c0, c1 = fn(a0), fn(a1)
        p0 = (cx + rr * math.sin(a0), cy - rr * math.cos(a0))
        p1 = (cx + rr * math.sin(a1), cy - rr * math.cos(a1))
        m.begin_patch()
        m.move_to(cx, cy)
        m.line_to(*p0)
        m.line_to(*p1)
        m.line_to(cx, cy)
        m.set_corner_color_rgba(0, *c0)
        m.set_corner_color_rgba(1, *c0)
        m.set_corner_color_rgba(2, *c1)
        m.set_corner_color_rgba(3, *c1)
        m.end_patch()
    c.save()
    c.arc(cx, cy, r, 0, 2 * math.pi)
    c.clip()
    c.set_source(m)
    c.paint()
    c.restore()


# ---------------------------------------------------------------------------------------------
# Text. Printed with PIL from the Roboto files themselves, letter-spaced by hand.

_fonts = {}


def font(path, px):
    key = (path, px)
    if key not in _fonts:
        _fonts[key] = ImageFont.truetype(path, px)
    return _fonts[key]


def text_width(text, fnt, tracking):
    adv = [fnt.getlength(ch) for ch in text]
    return sum(adv) + tracking * (len(text) - 1)


def print_text(mask, text, fnt, x, baseline, tracking=0.0, align="centre", fill=255):
    """Draws `text` into the L image `mask` with its baseline at `baseline`; x is the centre,
    left or right edge by `align`. Returns the drawn (left, right)."""
    w = text_width(text, fnt, tracking)
    if align == "centre":
        left = x - w / 2.0
    elif align == "right":
        left = x - w
    else:
        left = x
    d = ImageDraw.Draw(mask)
    pen = left
    for ch in text:
        d.text((pen, baseline), ch, font=fnt, fill=fill, anchor="ls")
        pen += fnt.getlength(ch) + tracking
    return left, left + w


# ---------------------------------------------------------------------------------------------
# Hardware shared by several images.

def draw_hex_screw(c, cx, cy, r, seed=0):
    """A domed cap screw with a hex socket, lit from the top left, with its shadow."""
    rnd = random.Random(seed)
    # shadow on the plate
    c.set_source(gaussian_radial(cx + 1.5, cy + 2.5, r * 1.9, (0, 0, 0), 0.75, r * 0.62))
    c.arc(cx + 1.5, cy + 2.5, r * 1.9, 0, 2 * math.pi)
    c.fill()
    # counterbore
    c.set_source_rgba(0, 0, 0, 0.55)
    c.arc(cx, cy, r + 1.6, 0, 2 * math.pi)
    c.fill()
    # head
    g = cairo.RadialGradient(cx - r * 0.45, cy - r * 0.5, r * 0.1, cx, cy, r * 1.05)
    g.add_color_stop_rgb(0.0, *rgb((240, 241, 243)))
    g.add_color_stop_rgb(0.5, *rgb((172, 173, 177)))
    g.add_color_stop_rgb(1.0, *rgb((72, 72, 76)))
    c.set_source(g)
    c.arc(cx, cy, r, 0, 2 * math.pi)
    c.fill()
    # rim
    c.set_line_width(1.0)
    c.set_source(top_left_light(cx, cy, r, lit_a=0.5, dark_a=0.6))
    c.arc(cx, cy, r - 0.5, 0, 2 * math.pi)
    c.stroke()
    # hex socket, turned a little differently on every screw
    rot = rnd.uniform(0, math.pi / 3)
    hr = r * 0.36
    pts = [(cx + hr * math.cos(rot + k * math.pi / 3), cy + hr * math.sin(rot + k * math.pi / 3))
           for k in range(6)]
    c.move_to(*pts[0])
    for p in pts[1:]:
        c.line_to(*p)
    c.close_path()
    g = linear_light(cx - hr, cy - hr, cx + hr, cy + hr,
                     [(0.0, (8, 8, 9), 1.0), (1.0, (52, 52, 56), 1.0)])
    c.set_source(g)
    c.fill_preserve()
    c.set_line_width(0.8)
    c.set_source_rgba(0, 0, 0, 0.8)
    c.stroke()
    # specular glint
    c.set_source(gaussian_radial(cx - r * 0.42, cy - r * 0.48, r * 0.6, (255, 255, 255), 0.7,
                                 r * 0.18))
    c.arc(cx - r * 0.42, cy - r * 0.48, r * 0.6, 0, 2 * math.pi)
    c.fill()


# ---------------------------------------------------------------------------------------------
# Main knob: face (rotates), shadow (rotates), overlay (fixed).

def spun_rings(c, cx, cy, r_max, seed, strength=0.07, step=0.5, r_min=None):
    """Fine concentric rings of spun aluminium."""
    rnd = random.Random(seed)
    c.set_line_width(step * 1.3)
    r = step if r_min is None else r_min
    while r < r_max:
        v = rnd.gauss(0.0, 1.0)
        a = min(1.0, abs(v) * strength)
        if v > 0:
            c.set_source_rgba(1, 1, 1, a)
        else:
            c.set_source_rgba(0, 0, 0, a * 1.2)
        c.arc(cx, cy, r, 0, 2 * math.pi)
        c.stroke()
        r += step


def knurl(c, cx, cy, r0, r1, count, light_a=0.22, dark_a=0.55, width=1.0):
    """Straight knurling on a tapered skirt: a lit edge and a dark groove per ridge."""
    for i in range(count):
        a = 2 * math.pi * i / count
        b = a + math.pi / count
        for ang, col, alpha, lw in ((a, (1, 1, 1), light_a, width),
                                    (b, (0, 0, 0), dark_a, width * 1.35)):
            s, co = math.sin(ang), -math.cos(ang)
            c.move_to(cx + r0 * s, cy + r0 * co)
            c.line_to(cx + r1 * s, cy + r1 * co)
            c.set_source_rgba(*col, alpha)
            c.set_line_width(lw)
            c.stroke()


def make_knob_face():
    size = KNOB_SIZE
    cx = cy = size / 2.0
    R = KNOB_R
    r_skirt = 103.5       # where the black skirt meets the cap
    r_cap = 99.0          # the flat top of the cap; a chamfer runs out to r_skirt - 1

    def paint(c):
        # skirt: black anodised, tapering outward, a touch lighter where it turns up
        g = cairo.RadialGradient(cx, cy, r_skirt, cx, cy, R)
        g.add_color_stop_rgb(0.0, *rgb((60, 60, 64)))
        g.add_color_stop_rgb(0.35, *rgb(SKIRT))
        g.add_color_stop_rgb(0.85, *rgb((26, 26, 28)))
        g.add_color_stop_rgb(1.0, *rgb((14, 14, 15)))
        c.set_source(g)
        c.arc(cx, cy, R, 0, 2 * math.pi)
        c.fill()
        c.save()
        ring_path(c, cx, cy, r_skirt + 1.5, R - 0.8)
        c.clip()
        knurl(c, cx, cy, r_skirt + 1.5, R, 120, light_a=0.20, dark_a=0.6, width=0.9)
        c.restore()
        # the step down from cap to skirt
        c.set_source_rgba(0, 0, 0, 0.7)
        c.set_line_width(2.2)
        c.arc(cx, cy, r_skirt + 0.6, 0, 2 * math.pi)
        c.stroke()
        # cap: spun aluminium
        g = cairo.RadialGradient(cx, cy, 0, cx, cy, r_skirt)
        g.add_color_stop_rgb(0.0, *rgb((186, 188, 192)))
        g.add_color_stop_rgb(0.85, *rgb(SILVER))
        g.add_color_stop_rgb(0.96, *rgb((196, 198, 202)))
        g.add_color_stop_rgb(1.0, *rgb((120, 121, 125)))
        c.set_source(g)
        c.arc(cx, cy, r_skirt - 0.4, 0, 2 * math.pi)
        c.fill()
        c.save()
        c.arc(cx, cy, r_cap, 0, 2 * math.pi)
        c.clip()
        spun_rings(c, cx, cy, r_cap, seed=11, strength=0.075, step=0.5)
        c.restore()
        # the edge between the flat top and the chamfer
        c.set_line_width(0.9)
        c.set_source_rgba(0, 0, 0, 0.28)
        c.arc(cx, cy, r_cap, 0, 2 * math.pi)
        c.stroke()
        # turning centre
        c.set_source(gaussian_radial(cx, cy, 9, (60, 60, 64), 0.45, 2.6))
        c.arc(cx, cy, 9, 0, 2 * math.pi)
        c.fill()
        # pointer: an engraved groove filled black, its cut edge catching light
        top, bottom = cy - 93.0, cy - 34.0
        c.set_line_cap(cairo.LINE_CAP_ROUND)
        c.set_source_rgba(1, 1, 1, 0.45)
        c.set_line_width(9.0)
        c.move_to(cx, bottom)
        c.line_to(cx, top)
        c.stroke()
        c.set_source_rgba(*rgb((10, 10, 12)), 1.0)
        c.set_line_width(6.4)
        c.move_to(cx, bottom)
        c.line_to(cx, top)
        c.stroke()
        # the same line carried onto the skirt in cream
        c.set_line_cap(cairo.LINE_CAP_BUTT)
        c.set_source_rgba(*rgb(INK), 1.0)
        c.set_line_width(4.0)
        c.move_to(cx, cy - (r_skirt + 3.0))
        c.line_to(cx, cy - (R - 2.0))
        c.stroke()
        # hairline at the silhouette
        c.set_source_rgba(0, 0, 0, 0.6)
        c.set_line_width(1.0)
        c.arc(cx, cy, R - 0.5, 0, 2 * math.pi)
        c.stroke()

    im = draw(size, size, paint)
    # a little grain on the metal, so it reads as a photograph rather than a vector drawing
    grain = contrast(noise(size, size, 21), 0.10)
    r, g, b, a = im.split()
    rgbim = ImageChops.overlay(Image.merge("RGB", (r, g, b)),
                               Image.merge("RGB", (grain, grain, grain)))
    im = Image.merge("RGBA", tuple(rgbim.split()) + (a,))
    return clean(im)


def make_knob_shadow():
    w, h = SHADOW_SIZE
    cx, cy = w / 2.0, h / 2.0

    def paint(c):
        g = cairo.RadialGradient(cx, cy, 0, cx, cy, min(cx, cy))
        steps = 40
        for i in range(steps + 1):
            t = i / steps
            d = t * min(cx, cy)
            a = 0.78 * math.exp(-((d / 80.0) ** 2.4))
            a *= 1.0 - max(0.0, (d - 100.0) / 23.5) ** 2 if d > 100.0 else 1.0
            g.add_color_stop_rgba(t, 0.02, 0.02, 0.03, max(0.0, a))
        c.set_source(g)
        c.arc(cx, cy, min(cx, cy), 0, 2 * math.pi)
        c.fill()

    return clean(draw(w, h, paint))


def make_knob_overlay():
    w, h = OVERLAY_SIZE
    cx, cy = OVERLAY_CENTRE
    R = KNOB_R
    r_skirt = 103.5
    r_cap = 99.0

    # Contact shadow and ambient occlusion on the panel around the knob.
    def contact(c):
        # an oval, longer downward, that stays inside the overlay's own bounds
        ox, oy, rx, ry = cx + 1.5, cy + 12.0, R + 8.0, R + 18.0
        c.save()
        c.translate(ox, oy)
        c.scale(rx, ry)
        c.set_source(falloff_radial(0, 0, 0.86, 1.0, (0, 0, 0), 0.72, 0.0, shape=0.8))
        c.arc(0, 0, 1.0, 0, 2 * math.pi)
        c.fill()
        c.restore()
        c.set_source(falloff_radial(cx, cy, R - 2.0, R + 7.0, (0, 0, 0), 0.85, 0.0))
        c.arc(cx, cy, R + 7.0, 0, 2 * math.pi)
        c.fill()

    shadow = draw(w, h, contact)
    # keep the knob itself clear: the panel shadow only shows outside the silhouette
    hole = draw(w, h, lambda c: (c.arc(cx, cy, R - 0.8, 0, 2 * math.pi),
                                 c.set_source_rgba(0, 0, 0, 1), c.fill()))
    keep = ImageChops.invert(hole.getchannel("A"))
    shadow.putalpha(ImageChops.multiply(shadow.getchannel("A"), keep))

    def light(c):
        c.save()
        c.arc(cx, cy, R - 0.6, 0, 2 * math.pi)
        c.clip()
        # the whole knob: brighter toward the light, falling away at the bottom right
        c.set_source(top_left_light(cx, cy, R, lit_a=0.16, dark_a=0.42))
        c.paint()
        # skirt: the tapered side facing the light picks it up, the far side goes dark
        c.save()
        ring_path(c, cx, cy, r_skirt + 1.0, R)
        c.clip()
        c.set_source(top_left_light(cx, cy, R, lit_a=0.20, dark_a=0.35))
        c.paint()
        c.restore()
        # sheen of the spun metal: bright toward the light and opposite it
        def sheen(a):
            rel = a - math.radians(-45.0)
            lobe = math.cos(rel) ** 2
            bright = lobe ** 6
            near = 0.5 + 0.5 * math.cos(rel)          # the lobe facing the light is stronger
            dark = (math.sin(rel) ** 2) ** 4
            alpha = 0.55 * bright * (0.55 + 0.45 * near)
            if alpha > 0.02:
                return (1.0, 1.0, 1.0, alpha)
            return (0.0, 0.0, 0.0, 0.22 * dark)
        angular_fill(c, cx, cy, r_cap - 0.5, sheen, step_deg=1.0)
        # chamfer round the cap: a bright crescent toward the light, dull on the far side
        c.set_line_width(r_skirt - r_cap)
        d = R / math.sqrt(2)
        c.set_source(linear_light(cx - d, cy - d, cx + d, cy + d,
                                  [(0.0, (255, 255, 255), 0.85), (0.35, (255, 255, 255), 0.25),
                                   (0.6, (0, 0, 0), 0.05), (1.0, (0, 0, 0), 0.45)]))
        c.arc(cx, cy, (r_skirt + r_cap) / 2.0, 0, 2 * math.pi)
        c.stroke()
        # rim light on the skirt's outer edge
        c.set_line_width(2.4)
        c.set_source(linear_light(cx - d, cy - d, cx + d, cy + d,
                                  [(0.0, (255, 255, 255), 0.55), (0.4, (255, 255, 255), 0.0),
                                   (0.7, (0, 0, 0), 0.0), (1.0, (0, 0, 0), 0.5)]))
        c.arc(cx, cy, R - 3.2, 0, 2 * math.pi)
        c.stroke()
        # soft gloss high on the cap
        gx, gy = cx - 34.0, cy - 40.0
        c.set_source(gaussian_radial(gx, gy, 70.0, (255, 255, 255), 0.16, 26.0))
        c.arc(gx, gy, 70.0, 0, 2 * math.pi)
        c.fill()
        c.restore()

    lit = draw(w, h, light)
    out = shadow
    out.alpha_composite(lit)
    return clean(out)


# ---------------------------------------------------------------------------------------------
# Bias knob: small, no overlay of its own, so its light is baked in and kept nearly round.

def make_bias_knob():
    size = BIAS_SIZE
    cx = cy = size / 2.0
    R = size / 2.0 - 0.4
    r_skirt = 21.5
    r_cap = 19.5

    def paint(c):
        g = cairo.RadialGradient(cx, cy, r_skirt, cx, cy, R)
        g.add_color_stop_rgb(0.0, *rgb((64, 64, 68)))
        g.add_color_stop_rgb(0.4, *rgb(SKIRT))
        g.add_color_stop_rgb(1.0, *rgb((14, 14, 15)))
        c.set_source(g)
        c.arc(cx, cy, R, 0, 2 * math.pi)
        c.fill()
        c.save()
        ring_path(c, cx, cy, r_skirt + 0.8, R - 0.5)
        c.clip()
        knurl(c, cx, cy, r_skirt + 0.8, R, 48, light_a=0.22, dark_a=0.6, width=0.8)
        c.restore()
        # lighting kept gentle: the knob turns, the light does not
        c.save()
        c.arc(cx, cy, R, 0, 2 * math.pi)
        c.clip()
        c.set_source(top_left_light(cx, cy, R, lit_a=0.10, dark_a=0.22))
        c.paint()
        c.restore()
        c.set_source_rgba(0, 0, 0, 0.7)
        c.set_line_width(1.2)
        c.arc(cx, cy, r_skirt + 0.4, 0, 2 * math.pi)
        c.stroke()
        g = cairo.RadialGradient(cx, cy, 0, cx, cy, r_skirt)
        g.add_color_stop_rgb(0.0, *rgb((190, 192, 196)))
        g.add_color_stop_rgb(0.86, *rgb(SILVER))
        g.add_color_stop_rgb(0.93, *rgb((212, 214, 218)))
        g.add_color_stop_rgb(1.0, *rgb((118, 119, 123)))
        c.set_source(g)
        c.arc(cx, cy, r_skirt, 0, 2 * math.pi)
        c.fill()
        c.save()
        c.arc(cx, cy, r_cap, 0, 2 * math.pi)
        c.clip()
        spun_rings(c, cx, cy, r_cap, seed=12, strength=0.09, step=0.35, r_min=2.5)
        c.set_source(top_left_light(cx, cy, r_cap, lit_a=0.18, dark_a=0.18))
        c.paint()

        # the spun sheen, baked in lightly: at the centre of its range it falls where the
        # big knobs' overlay puts it
        def sheen(a):
            rel = a - math.radians(-45.0)
            bright = (math.cos(rel) ** 2) ** 5
            dark = (math.sin(rel) ** 2) ** 4
            if bright > 0.05:
                return (1.0, 1.0, 1.0, 0.38 * bright)
            return (0.0, 0.0, 0.0, 0.16 * dark)
        angular_fill(c, cx, cy, r_cap, sheen, step_deg=2.0)
        c.restore()
        c.set_line_cap(cairo.LINE_CAP_ROUND)
        c.set_source_rgba(1, 1, 1, 0.4)
        c.set_line_width(3.8)
        c.move_to(cx, cy - 6.5)
        c.line_to(cx, cy - 17.5)
        c.stroke()
        c.set_source_rgba(*rgb((10, 10, 12)), 1.0)
        c.set_line_width(2.6)
        c.move_to(cx, cy - 6.5)
        c.line_to(cx, cy - 17.5)
        c.stroke()
        c.set_line_cap(cairo.LINE_CAP_BUTT)
        c.set_source_rgba(*rgb(INK), 1.0)
        c.set_line_width(2.0)
        c.move_to(cx, cy - (r_skirt + 1.6))
        c.line_to(cx, cy - (R - 1.0))
        c.stroke()
        c.set_source_rgba(0, 0, 0, 0.6)
        c.set_line_width(0.8)
        c.arc(cx, cy, R - 0.4, 0, 2 * math.pi)
        c.stroke()

    return clean(draw(size, size, paint))


# ---------------------------------------------------------------------------------------------
# React: a slide switch on a small black plate. Frame 0 off (slider left), frame 1 on (slider
# right, its amber lamp lit).

def make_slide_switch():
    fw, fh = SLIDE_FRAME
    frames = []
    px, py, pw, ph = 12.0, 16.0, 230.0, 122.0        # plate
    sx, sy, sw, sh = 73.0, 68.0, 108.0, 18.0         # slot, its ends under the slider
    cap_w, cap_h = 50.0, 70.0
    cap_x = {False: 91.0, True: 163.0}               # slider centre, off / on
    cap_y = 77.0

    # plate, shared by both frames
    def plate(c):
        rounded_rect(c, px, py, pw, ph, 9.0)
        c.set_source(linear_light(px, py, px + pw * 0.4, py + ph * 1.2,
                                  [(0.0, (46, 46, 50), 1.0), (1.0, (22, 22, 24), 1.0)]))
        c.fill()
        # bevel
        c.set_line_width(1.6)
        rounded_rect(c, px + 0.8, py + 0.8, pw - 1.6, ph - 1.6, 8.2)
        c.set_source(linear_light(px, py, px + pw * 0.25, py + ph,
                                  [(0.0, (255, 255, 255), 0.30), (0.5, (255, 255, 255), 0.04),
                                   (1.0, (0, 0, 0), 0.5)]))
        c.stroke()
        # slot: cut through, dark, lit on its lower lip
        rounded_rect(c, sx, sy, sw, sh, sh / 2.0)
        c.set_source_rgb(*rgb((6, 6, 7)))
        c.fill()
        c.save()
        rounded_rect(c, sx, sy, sw, sh, sh / 2.0)
        c.clip()
        c.set_source(linear_light(0, sy, 0, sy + sh,
                                  [(0.0, (0, 0, 0), 0.9), (0.6, (0, 0, 0), 0.0),
                                   (1.0, (255, 255, 255), 0.10)]))
        c.paint()
        c.restore()
        c.set_line_width(1.0)
        rounded_rect(c, sx - 0.5, sy - 0.5, sw + 1.0, sh + 1.0, sh / 2.0 + 0.5)
        c.set_source(linear_light(0, sy, 0, sy + sh,
                                  [(0.0, (0, 0, 0), 0.6), (0.7, (255, 255, 255), 0.05),
                                   (1.0, (255, 255, 255), 0.28)]))
        c.stroke()
        draw_hex_screw(c, px + 17.0, py + ph / 2.0, 5.2, seed=41)
        draw_hex_screw(c, px + pw - 17.0, py + ph / 2.0, 5.2, seed=42)

    plate_shadow = blur(draw(fw, fh, lambda c: (rounded_rect(c, px + 2, py + 4, pw, ph, 9.0),
                                                  c.set_source_rgba(0, 0, 0, 0.7), c.fill())),
                        4.0)
    plate_im = draw(fw, fh, plate)
    # brushed grain on the plate
    tex = brushed_texture(fw, fh, seed=43, amount=0.5)
    r, g, b, a = plate_im.split()
    rgbim = ImageChops.overlay(Image.merge("RGB", (r, g, b)), tex.convert("RGB"))
    plate_im = Image.merge("RGBA", tuple(rgbim.split()) + (a,))
    # OFF / ON on the plate, above the two ends of the slider's travel
    ink = Image.new("L", (fw, fh), 0)
    f = font(FONT_COND_BOLD, 13)
    print_text(ink, "OFF", f, cap_x[False], py + 17.0, tracking=1.5)
    print_text(ink, "ON", f, cap_x[True], py + 17.0, tracking=1.5)
    plate_im.alpha_composite(solid((fw, fh), INK, ink.point(lambda v: v * 225 // 255)))

    for on in (False, True):
        x0 = cap_x[on] - cap_w / 2.0
        y0 = cap_y - cap_h / 2.0

        def cap_shadow(c):
            rounded_rect(c, x0 + 3.0, y0 + 6.0, cap_w, cap_h, 6.0)
            c.set_source_rgba(0, 0, 0, 0.75)
            c.fill()

        def cap(c):
            # body: machined aluminium, lit from above
            rounded_rect(c, x0, y0, cap_w, cap_h, 6.0)
            c.set_source(linear_light(x0, y0, x0 + cap_w * 0.35, y0 + cap_h,
                                      [(0.0, (214, 216, 220), 1.0), (0.5, (160, 162, 166), 1.0),
                                       (1.0, (96, 97, 101), 1.0)]))
            c.fill()
            # a raised top face inset from the chamfered edges
            ix, iy, iw, ih = x0 + 4.0, y0 + 4.0, cap_w - 8.0, cap_h - 8.0
            rounded_rect(c, ix, iy, iw, ih, 3.5)
            c.set_source(linear_light(ix, iy, ix, iy + ih,
                                      [(0.0, (190, 192, 196), 1.0), (1.0, (134, 136, 140), 1.0)]))
            c.fill()
            # grip ridges, vertical: the slider is pushed sideways
            c.save()
            rounded_rect(c, ix, iy + 18.0, iw, ih - 22.0, 2.0)
            c.clip()
            n = 7
            for k in range(n):
                xx = ix + 3.0 + k * (iw - 6.0) / (n - 1)
                c.set_line_width(1.6)
                c.set_source_rgba(0, 0, 0, 0.45)
                c.move_to(xx + 0.9, iy)
                c.line_to(xx + 0.9, iy + ih)
                c.stroke()
                c.set_line_width(1.0)
                c.set_source_rgba(1, 1, 1, 0.45)
                c.move_to(xx - 0.6, iy)
                c.line_to(xx - 0.6, iy + ih)
                c.stroke()
            c.restore()
            # edges
            c.set_line_width(1.0)
            rounded_rect(c, x0 + 0.5, y0 + 0.5, cap_w - 1.0, cap_h - 1.0, 5.5)
            c.set_source(linear_light(x0, y0, x0 + cap_w * 0.3, y0 + cap_h,
                                      [(0.0, (255, 255, 255), 0.7), (0.45, (255, 255, 255), 0.1),
                                       (1.0, (0, 0, 0), 0.6)]))
            c.stroke()
            # indicator lamp in the cap
            lx, ly, lr = cap_x[on], y0 + 12.5, 4.2
            c.set_source_rgba(0, 0, 0, 0.7)
            c.arc(lx, ly, lr + 1.3, 0, 2 * math.pi)
            c.fill()
            if on:
                g = cairo.RadialGradient(lx - 1.0, ly - 1.0, 0.3, lx, ly, lr)
                g.add_color_stop_rgb(0.0, *rgb((255, 246, 214)))
                g.add_color_stop_rgb(0.4, *rgb((255, 196, 92)))
                g.add_color_stop_rgb(1.0, *rgb(AMBER_DEEP))
            else:
                g = cairo.RadialGradient(lx - 1.2, ly - 1.2, 0.3, lx, ly, lr)
                g.add_color_stop_rgb(0.0, *rgb((120, 72, 36)))
                g.add_color_stop_rgb(0.5, *rgb((64, 30, 10)))
                g.add_color_stop_rgb(1.0, *rgb((30, 12, 4)))
            c.set_source(g)
            c.arc(lx, ly, lr, 0, 2 * math.pi)
            c.fill()
            c.set_source_rgba(1, 1, 1, 0.75 if not on else 0.9)
            c.arc(lx - 1.5, ly - 1.6, 1.0, 0, 2 * math.pi)
            c.fill()

        def glow(c):
            lx, ly = cap_x[on], y0 + 12.5
            c.set_source(gaussian_radial(lx, ly, 26.0, AMBER, 0.75, 7.5))
            c.arc(lx, ly, 26.0, 0, 2 * math.pi)
            c.fill()

        frame = Image.new("RGBA", (fw, fh), (0, 0, 0, 0))
        frame.alpha_composite(plate_shadow)
        frame.alpha_composite(plate_im)
        frame.alpha_composite(blur(draw(fw, fh, cap_shadow), 3.5))
        frame.alpha_composite(draw(fw, fh, cap))
        if on:
            frame.alpha_composite(draw(fw, fh, glow))
        frames.append(clean(frame))
    return frames


# ---------------------------------------------------------------------------------------------
# Bypass: a bat-handle toggle through a hex nut. Frame 0 lever up (active), frame 1 down
# (bypassed).

def make_flip_switch():
    fw, fh = FLIP_FRAME
    cx, cy = fw / 2.0, fh / 2.0
    frames = []

    def mount(c):
        # shadow of washer and nut on the panel
        c.set_source(gaussian_radial(cx + 2.0, cy + 3.5, 30.0, (0, 0, 0), 0.8, 10.0))
        c.arc(cx + 2.0, cy + 3.5, 30.0, 0, 2 * math.pi)
        c.fill()
        # washer
        g = cairo.LinearGradient(cx - 20, cy - 20, cx + 20, cy + 20)
        g.add_color_stop_rgb(0.0, *rgb((232, 233, 236)))
        g.add_color_stop_rgb(0.5, *rgb((138, 140, 144)))
        g.add_color_stop_rgb(1.0, *rgb((62, 62, 66)))
        c.set_source(g)
        c.arc(cx, cy, 25.0, 0, 2 * math.pi)
        c.fill()
        c.set_line_width(1.0)
        c.set_source_rgba(0, 0, 0, 0.55)
        c.arc(cx, cy, 24.5, 0, 2 * math.pi)
        c.stroke()
        c.set_source_rgba(0, 0, 0, 0.25)
        c.arc(cx, cy, 20.5, 0, 2 * math.pi)
        c.stroke()
        # hex nut, one flat up; each flat shaded by where it faces
        hr = 18.5
        pts = [(cx + hr * math.cos(math.radians(30 + 60 * k)),
                cy + hr * math.sin(math.radians(30 + 60 * k))) for k in range(6)]
        c.move_to(*pts[0])
        for p in pts[1:]:
            c.line_to(*p)
        c.close_path()
        c.set_source(linear_light(cx - hr, cy - hr, cx + hr, cy + hr,
                                  [(0.0, (214, 216, 220), 1.0), (1.0, (86, 87, 92), 1.0)]))
        c.fill()
        inner = 14.0
        light_dir = (-0.62, -0.78)
        for k in range(6):
            a0 = math.radians(30 + 60 * k)
            a1 = math.radians(30 + 60 * (k + 1))
            mid = (a0 + a1) / 2.0
            nx, ny = math.cos(mid), math.sin(mid)
            lum = nx * light_dir[0] + ny * light_dir[1]
            c.move_to(cx + hr * math.cos(a0), cy + hr * math.sin(a0))
            c.line_to(cx + hr * math.cos(a1), cy + hr * math.sin(a1))
            c.line_to(cx + inner * math.cos(a1), cy + inner * math.sin(a1))
            c.line_to(cx + inner * math.cos(a0), cy + inner * math.sin(a0))
            c.close_path()
            if lum > 0:
                c.set_source_rgba(1, 1, 1, 0.55 * lum)
            else:
                c.set_source_rgba(0, 0, 0, 0.55 * -lum)
            c.fill()
        c.set_line_width(0.8)
        c.move_to(*pts[0])
        for p in pts[1:]:
            c.line_to(*p)
        c.close_path()
        c.set_source_rgba(0, 0, 0, 0.5)
        c.stroke()
        # threaded bushing
        g = cairo.LinearGradient(cx - 11, cy - 11, cx + 11, cy + 11)
        g.add_color_stop_rgb(0.0, *rgb((200, 202, 206)))
        g.add_color_stop_rgb(1.0, *rgb((70, 71, 75)))
        c.set_source(g)
        c.arc(cx, cy, 11.0, 0, 2 * math.pi)
        c.fill()
        c.set_line_width(0.6)
        for rr in (8.2, 9.3, 10.4):
            c.set_source_rgba(0, 0, 0, 0.35)
            c.arc(cx, cy, rr, 0, 2 * math.pi)
            c.stroke()
        c.set_source(gaussian_radial(cx, cy, 7.5, (0, 0, 0), 1.0, 5.0))
        c.arc(cx, cy, 7.5, 0, 2 * math.pi)
        c.fill()

    lever_len = 54.0      # centre of the ball end from the pivot
    ball_r = 7.4

    def lever_outline(c, up, dx=0.0, dy=0.0):
        """The bat's shaft, widening from the bushing to the ball, plus the ball."""
        s = -1.0 if up else 1.0
        base_w, tip_w = 4.0, 5.6
        tip_y = cy + s * lever_len
        c.move_to(cx - base_w + dx, cy + dy)
        c.line_to(cx - tip_w + dx, tip_y + dy)
        c.line_to(cx + tip_w + dx, tip_y + dy)
        c.line_to(cx + base_w + dx, cy + dy)
        c.close_path()
        c.new_sub_path()
        c.arc(cx + dx, tip_y + dy, ball_r, 0, 2 * math.pi)
        c.close_path()

    for up in (True, False):
        s = -1.0 if up else 1.0
        tip_y = cy + s * lever_len

        def shadow(c):
            c.set_fill_rule(cairo.FILL_RULE_WINDING)
            lever_outline(c, up, 4.5, 6.5)
            c.set_source_rgba(0, 0, 0, 0.62)
            c.fill()

        def lever(c):
            base_w, tip_w = 4.0, 5.6
            c.move_to(cx - base_w, cy)
            c.line_to(cx - tip_w, tip_y)
            c.line_to(cx + tip_w, tip_y)
            c.line_to(cx + base_w, cy)
            c.close_path()
            g = cairo.LinearGradient(cx - 6, 0, cx + 6, 0)
            g.add_color_stop_rgb(0.0, *rgb((70, 71, 75)))
            g.add_color_stop_rgb(0.22, *rgb((170, 172, 176)))
            g.add_color_stop_rgb(0.36, *rgb((250, 250, 252)))
            g.add_color_stop_rgb(0.56, *rgb((146, 148, 152)))
            g.add_color_stop_rgb(1.0, *rgb((48, 49, 53)))
            c.set_source(g)
            c.fill_preserve()
            c.set_line_width(0.7)
            c.set_source_rgba(0, 0, 0, 0.5)
            c.stroke()
            # the shaft darkens where it sinks into the bushing
            c.set_source(linear_light(cx, cy, cx, tip_y,
                                      [(0.0, (0, 0, 0), 0.65), (0.28, (0, 0, 0), 0.0),
                                       (1.0, (0, 0, 0), 0.0)]))
            c.move_to(cx - base_w, cy)
            c.line_to(cx - tip_w, tip_y)
            c.line_to(cx + tip_w, tip_y)
            c.line_to(cx + base_w, cy)
            c.close_path()
            c.fill()
            # ball end, polished
            g = cairo.RadialGradient(cx - 2.6, tip_y - 2.8, 0.3, cx, tip_y, ball_r)
            g.add_color_stop_rgb(0.0, *rgb((255, 255, 255)))
            g.add_color_stop_rgb(0.3, *rgb((214, 216, 220)))
            g.add_color_stop_rgb(0.75, *rgb((126, 128, 132)))
            g.add_color_stop_rgb(1.0, *rgb((58, 59, 63)))
            c.set_source(g)
            c.arc(cx, tip_y, ball_r, 0, 2 * math.pi)
            c.fill()
            c.set_line_width(0.7)
            c.set_source_rgba(0, 0, 0, 0.5)
            c.arc(cx, tip_y, ball_r - 0.35, 0, 2 * math.pi)
            c.stroke()

        frame = Image.new("RGBA", (fw, fh), (0, 0, 0, 0))
        frame.alpha_composite(draw(fw, fh, mount))
        frame.alpha_composite(blur(draw(fw, fh, shadow), 2.5))
        frame.alpha_composite(draw(fw, fh, lever))
        frames.append(clean(frame))
    return frames


# ---------------------------------------------------------------------------------------------
# The pilot lamp: an amber jewel in a chrome bezel. Frame 0 dark, frame 1 lit with its halo.

def make_lamp():
    fw, fh = LAMP_FRAME
    lx = LAMP_CENTRE[0] - LAMP_POS[0]
    ly = LAMP_CENTRE[1] - LAMP_POS[1]
    RB, RL = LAMP_BEZEL_R, LAMP_LENS_R
    frames = []

    def bezel_shadow(c):
        c.set_source(gaussian_radial(lx + 2.0, ly + 3.5, RB + 12.0, (0, 0, 0), 0.7, RB * 0.62))
        c.arc(lx + 2.0, ly + 3.5, RB + 12.0, 0, 2 * math.pi)
        c.fill()

    def bezel(c):
        g = cairo.LinearGradient(lx - RB, ly - RB, lx + RB, ly + RB)
        g.add_color_stop_rgb(0.0, *rgb((236, 237, 240)))
        g.add_color_stop_rgb(0.45, *rgb((132, 134, 138)))
        g.add_color_stop_rgb(1.0, *rgb((44, 44, 48)))
        c.set_source(g)
        c.arc(lx, ly, RB, 0, 2 * math.pi)
        c.fill()
        # knurled grip ring
        c.save()
        ring_path(c, lx, ly, RB - 6.5, RB - 0.5)
        c.clip()
        knurl(c, lx, ly, RB - 7.0, RB, 64, light_a=0.35, dark_a=0.45, width=0.8)
        c.restore()
        c.set_line_width(1.0)
        c.set_source_rgba(0, 0, 0, 0.6)
        c.arc(lx, ly, RB - 0.5, 0, 2 * math.pi)
        c.stroke()
        # inner polished bevel, falling toward the lens (lit from the opposite side)
        c.set_line_width(3.6)
        d = RB
        c.set_source(linear_light(lx - d, ly - d, lx + d, ly + d,
                                  [(0.0, (0, 0, 0), 0.55), (0.5, (120, 120, 124), 0.0),
                                   (1.0, (255, 255, 255), 0.65)]))
        c.arc(lx, ly, RL + 2.4, 0, 2 * math.pi)
        c.stroke()
        c.set_source_rgba(0, 0, 0, 0.9)
        c.arc(lx, ly, RL + 0.6, 0, 2 * math.pi)
        c.fill()

    def facets(c, lit):
        """A cut jewel: a flat table ringed by two rows of facets, each facet bright or dark
        by how squarely it faces the light (top left), with a little scatter from the cut."""
        rnd = random.Random(77)
        light = math.radians(-135.0)      # screen angle toward the top left
        rings = [(0.36, 0.68, 8, 0.0), (0.68, 1.0, 16, math.pi / 16)]
        for r0f, r1f, n, off in rings:
            r0, r1 = RL * r0f, RL * r1f
            for k in range(n):
                a0 = off + 2 * math.pi * k / n
                a1 = off + 2 * math.pi * (k + 1) / n
                am = (a0 + a1) / 2.0
                # facets on the near side of the dome face the light; the inner row is
                # steeper, so it swings harder between light and dark
                v = math.cos(am - light) * (0.8 if r0f > 0.5 else 1.0) + rnd.uniform(-0.3, 0.3)
                c.move_to(lx + r0 * math.cos(a0), ly + r0 * math.sin(a0))
                c.line_to(lx + r1 * math.cos(a0), ly + r1 * math.sin(a0))
                c.line_to(lx + r1 * math.cos(a1), ly + r1 * math.sin(a1))
                c.line_to(lx + r0 * math.cos(a1), ly + r0 * math.sin(a1))
                c.close_path()
                if v > 0:
                    c.set_source_rgba(1, 0.93, 0.8, (0.20 if lit else 0.16) * v)
                else:
                    c.set_source_rgba(0.12, 0.03, 0, (0.22 if lit else 0.45) * -v)
                c.fill()
            # facet edges
            c.set_line_width(0.5)
            for k in range(n):
                a0 = off + 2 * math.pi * k / n
                c.move_to(lx + r0 * math.cos(a0), ly + r0 * math.sin(a0))
                c.line_to(lx + r1 * math.cos(a0), ly + r1 * math.sin(a0))
            c.set_source_rgba(1, 0.88, 0.66, 0.30 if lit else 0.14)
            c.stroke()
            c.arc(lx, ly, r0, 0, 2 * math.pi)
            c.set_source_rgba(1, 0.88, 0.66, 0.26 if lit else 0.12)
            c.stroke()

    def lens(c, lit):
        c.save()
        c.arc(lx, ly, RL, 0, 2 * math.pi)
        c.clip()
        g = cairo.RadialGradient(lx - 3.0, ly - 3.0, 0.5, lx, ly, RL)
        if lit:
            g.add_color_stop_rgb(0.0, *rgb((255, 250, 226)))
            g.add_color_stop_rgb(0.3, *rgb((255, 214, 120)))
            g.add_color_stop_rgb(0.7, *rgb((252, 150, 36)))
            g.add_color_stop_rgb(1.0, *rgb((196, 70, 8)))
        else:
            g.add_color_stop_rgb(0.0, *rgb((118, 62, 22)))
            g.add_color_stop_rgb(0.5, *rgb((70, 30, 8)))
            g.add_color_stop_rgb(1.0, *rgb((28, 10, 3)))
        c.set_source(g)
        c.paint()
        facets(c, lit)
        # reflection of the room on the dome
        c.set_source(gaussian_radial(lx - 7.0, ly - 8.0, 12.0, (255, 255, 255),
                                     0.75 if not lit else 0.6, 3.6))
        c.arc(lx - 7.0, ly - 8.0, 12.0, 0, 2 * math.pi)
        c.fill()
        c.set_source(gaussian_radial(lx + 8.0, ly + 9.0, 8.0, (255, 255, 255), 0.18, 3.0))
        c.arc(lx + 8.0, ly + 9.0, 8.0, 0, 2 * math.pi)
        c.fill()
        c.restore()

    def halo(c):
        # light spilling over the panel, wide and faint, then a hot bloom round the lens
        c.set_source(gaussian_radial(lx, ly, 230.0, AMBER, 0.32, 70.0))
        c.arc(lx, ly, 230.0, 0, 2 * math.pi)
        c.fill()
        c.set_source(gaussian_radial(lx, ly, 90.0, (255, 190, 90), 0.55, 26.0))
        c.arc(lx, ly, 90.0, 0, 2 * math.pi)
        c.fill()

    def bloom(c):
        c.set_source(gaussian_radial(lx, ly, 44.0, (255, 226, 160), 0.5, 14.0))
        c.arc(lx, ly, 44.0, 0, 2 * math.pi)
        c.fill()

    for lit in (False, True):
        frame = Image.new("RGBA", (fw, fh), (0, 0, 0, 0))
        frame.alpha_composite(draw(fw, fh, bezel_shadow))
        if lit:
            frame.alpha_composite(draw(fw, fh, halo))
        frame.alpha_composite(draw(fw, fh, bezel))
        if lit:
            # the bezel's inner bevel picks up the lamp's colour
            def tint(c):
                c.set_line_width(6.0)
                c.set_source_rgba(*rgb(AMBER), 0.45)
                c.arc(lx, ly, RL + 3.0, 0, 2 * math.pi)
                c.stroke()
            frame.alpha_composite(draw(fw, fh, tint))
        frame.alpha_composite(draw(fw, fh, lambda c: lens(c, lit)))
        if lit:
            frame.alpha_composite(draw(fw, fh, bloom))
        frames.append(clean(frame))
    return frames


# ---------------------------------------------------------------------------------------------
# The panel.

def brushed_texture(w, h, seed, amount=1.0):
    """Horizontal brushing around mid grey (128 = no change under an overlay blend)."""
    base = noise(w, h, seed)
    long_streaks = base.resize((max(1, w // 160), h), Image.BOX).resize((w, h), Image.BILINEAR)
    long_streaks = contrast(long_streaks, 6.0 * amount)
    mid_streaks = noise(w, h, seed + 1).resize((max(1, w // 40), h), Image.BOX)
    mid_streaks = contrast(mid_streaks.resize((w, h), Image.BILINEAR), 2.6 * amount)
    fine = noise(w, h, seed + 2).resize((max(1, w // 4), h), Image.BOX)
    fine = contrast(fine.resize((w, h), Image.BILINEAR), 0.8 * amount)
    tex = Image.blend(long_streaks, mid_streaks, 0.5)
    tex = Image.blend(tex, fine, 0.4)
    # rows of real brushing are not quite independent
    return tex.filter(ImageFilter.GaussianBlur(0.45))


def tick_angles(n_major, minor_per):
    out = []
    steps = (n_major - 1) * minor_per
    for i in range(steps + 1):
        a = -KNOB_SWEEP + 2 * KNOB_SWEEP * i / steps
        out.append((a, i % minor_per == 0))
    return out


def draw_scale(c, cx, cy, r0, r_minor, r_major, n_major=11, minor_per=2, w_major=2.4,
               w_minor=1.4):
    c.set_line_cap(cairo.LINE_CAP_BUTT)
    for a, major in tick_angles(n_major, minor_per):
        t = math.radians(a)
        s, co = math.sin(t), -math.cos(t)
        r1 = r_major if major else r_minor
        c.set_line_width(w_major if major else w_minor)
        c.move_to(cx + r0 * s, cy + r0 * co)
        c.line_to(cx + r1 * s, cy + r1 * co)
        c.stroke()


def make_background(lamp_off):
    W, H = PANEL_W, PANEL_H

    # --- the plate, lit from the top left --------------------------------------------------
    def light(c):
        g = cairo.RadialGradient(330, 120, 40, 560, 420, 1500)
        g.add_color_stop_rgb(0.0, *rgb((80, 79, 79)))
        g.add_color_stop_rgb(0.35, *rgb((58, 57, 58)))
        g.add_color_stop_rgb(0.7, *rgb((41, 40, 42)))
        g.add_color_stop_rgb(1.0, *rgb((24, 24, 26)))
        c.set_source(g)
        c.paint()
        # brushed metal throws the light into a broad band across the brushing
        c.set_source(linear_light(120, 0, 980, 0,
                                  [(0.0, (255, 255, 255), 0.0), (0.45, (255, 255, 255), 0.07),
                                   (1.0, (255, 255, 255), 0.0)]))
        c.paint()

    panel = draw(W, H, light).convert("RGB")
    tex = brushed_texture(W, H, seed=1)
    panel = ImageChops.overlay(panel, Image.merge("RGB", (tex, tex, tex)))
    grain = contrast(noise(W, H, 5), 0.06)
    panel = ImageChops.overlay(panel, Image.merge("RGB", (grain, grain, grain)))
    panel = panel.convert("RGBA")

    # --- hardware seating: shallow wells under the knobs and the bias knob ------------------
    def seats(c):
        bx, by = BIAS_CENTRE
        c.set_source(falloff_radial(bx + 1.5, by + 3.0, 26.0, 40.0, (0, 0, 0), 0.8, 0.0))
        c.arc(bx + 1.5, by + 3.0, 40.0, 0, 2 * math.pi)
        c.fill()
        c.set_source(falloff_radial(bx + 0.5, by + 9.0, 20.0, 44.0, (0, 0, 0), 0.4, 0.0))
        c.arc(bx + 0.5, by + 9.0, 44.0, 0, 2 * math.pi)
        c.fill()

    panel.alpha_composite(draw(W, H, seats))

    # --- print --------------------------------------------------------------------------------
    ink = Image.new("L", (W, H), 0)

    def scales(c):
        c.set_source_rgba(1, 1, 1, 1)
        for _, (cx, cy), *_ in MAIN_KNOBS:
            draw_scale(c, cx, cy, 143.0, 151.0, 159.0)
            # a dot beyond each end of the travel
            for a in (-KNOB_SWEEP, KNOB_SWEEP):
                t = math.radians(a)
                c.arc(cx + 168.0 * math.sin(t), cy - 168.0 * math.cos(t), 2.6, 0, 2 * math.pi)
                c.fill()
        bx, by = BIAS_CENTRE
        draw_scale(c, bx, by, 35.0, 39.0, 43.0, n_major=11, minor_per=1, w_major=1.6,
                   w_minor=1.6)
        # the centre of the bias range
        c.set_line_width(2.2)
        c.move_to(bx, by - 35.0)
        c.line_to(bx, by - 47.0)
        c.stroke()

    ink = ImageChops.lighter(ink, draw(W, H, scales).getchannel("A"))

    label_font = font(FONT_MEDIUM, 23)
    small_font = font(FONT_MEDIUM, 17)
    tiny_font = font(FONT_COND_BOLD, 14)
    for label, (cx, cy), *_ in MAIN_KNOBS:
        baseline = cy - 174.0 if cy < 500 else 555.0
        print_text(ink, label, label_font, cx, baseline, tracking=4.0)
    bx, by = BIAS_CENTRE
    print_text(ink, "BIAS", small_font, bx, by - 56.0, tracking=3.0)
    for a, sign in ((-KNOB_SWEEP, "\u2212"), (KNOB_SWEEP, "+")):
        t = math.radians(a)
        print_text(ink, sign, font(FONT_MEDIUM, 16), bx + 55.0 * math.sin(t),
                   by - 55.0 * math.cos(t) + 6.0)
    slide_cx = SLIDE_POS[0] + SLIDE_FRAME[0] / 2.0
    print_text(ink, "REACT", small_font, slide_cx, SLIDE_POS[1] + SLIDE_FRAME[1] + 26.0,
               tracking=3.0)
    flip_cx = FLIP_POS[0] + FLIP_FRAME[0] / 2.0
    print_text(ink, "BYPASS", label_font, flip_cx, FLIP_POS[1] - 14.0, tracking=4.0)
    print_text(ink, "OFF", tiny_font, FLIP_POS[0] + FLIP_FRAME[0] + 8.0, FLIP_POS[1] + 22.0,
               tracking=1.5, align="left")
    print_text(ink, "ON", tiny_font, FLIP_POS[0] + FLIP_FRAME[0] + 8.0,
               FLIP_POS[1] + FLIP_FRAME[1] - 10.0, tracking=1.5, align="left")

    # name and the line under it
    name_font = font(FONT_LIGHT, 124)
    name_cx, name_base = 842.0, 318.0
    left, right = print_text(ink, "TOLVANE", name_font, name_cx, name_base, tracking=30.0)
    sub_font = font(FONT_MEDIUM, 19)
    sub_base = name_base + 50.0
    sl, sr = print_text(ink, "STEREO SATURATOR", sub_font, name_cx, sub_base, tracking=9.0)

    # the print itself: cream ink with a whisper of thickness
    ink_shadow = blur(solid((W, H), (0, 0, 0), ink.point(lambda v: v * 150 // 255)), 1.2)
    panel.alpha_composite(ink_shadow)
    ink_layer = solid((W, H), INK, ink.point(lambda v: v * 238 // 255))
    panel.alpha_composite(ink_layer)

    # amber rules either side of the subtitle
    def rules(c):
        c.set_source_rgba(*rgb(AMBER), 0.9)
        c.set_line_width(2.0)
        y = sub_base - 7.0
        c.move_to(left + 12.0, y)
        c.line_to(sl - 22.0, y)
        c.move_to(sr + 22.0, y)
        c.line_to(right - 12.0, y)
        c.stroke()

    panel.alpha_composite(draw(W, H, rules))

    # --- edges and screws ----------------------------------------------------------------------
    def edges(c):
        # a machined chamfer round the plate: lit along the top and left, in shade along the
        # bottom and right
        bev = 7.0
        sides = [
            ([(0, 0), (W, 0), (W - bev, bev), (bev, bev)], (0, 0, 0, bev), (255, 255, 255), 0.20),
            ([(0, 0), (bev, bev), (bev, H - bev), (0, H)], (0, 0, bev, 0), (255, 255, 255), 0.14),
            ([(W, 0), (W, H), (W - bev, H - bev), (W - bev, bev)], (W, 0, W - bev, 0), (0, 0, 0),
             0.45),
            ([(0, H), (bev, H - bev), (W - bev, H - bev), (W, H)], (0, H, 0, H - bev), (0, 0, 0),
             0.55),
        ]
        for pts, (x0, y0, x1, y1), col, a in sides:
            c.move_to(*pts[0])
            for p in pts[1:]:
                c.line_to(*p)
            c.close_path()
            c.set_source(linear_light(x0, y0, x1, y1, [(0.0, col, a), (1.0, col, a * 0.35)]))
            c.fill()
        # the crease where the chamfer meets the face, and the outer arris
        c.set_line_width(1.0)
        c.set_source_rgba(0, 0, 0, 0.35)
        c.rectangle(bev + 0.5, bev + 0.5, W - 2 * bev - 1, H - 2 * bev - 1)
        c.stroke()
        c.set_source_rgba(1, 1, 1, 0.08)
        c.rectangle(bev + 1.5, bev + 1.5, W - 2 * bev - 3, H - 2 * bev - 3)
        c.stroke()
        c.set_source_rgba(0, 0, 0, 0.95)
        c.rectangle(0.5, 0.5, W - 1, H - 1)
        c.stroke()
        for i, (x, y) in enumerate(((34, 40), (W - 34, 40), (34, H - 64), (W - 34, H - 64))):
            draw_hex_screw(c, x, y, 12.5, seed=100 + i)

    panel.alpha_composite(draw(W, H, edges))

    # --- photographic falloff: vignette, darker toward the bottom right --------------------
    def vignette(c):
        g = cairo.RadialGradient(620, 360, 200, 760, 480, 1150)
        g.add_color_stop_rgba(0.0, 0, 0, 0, 0.0)
        g.add_color_stop_rgba(0.55, 0, 0, 0, 0.18)
        g.add_color_stop_rgba(0.85, 0, 0, 0, 0.5)
        g.add_color_stop_rgba(1.0, 0, 0, 0, 0.72)
        c.set_source(g)
        c.paint()

    panel.alpha_composite(draw(W, H, vignette))

    # the lamp, unlit, so the panel is complete even where the lamp is not drawn
    panel.alpha_composite(lamp_off, dest=LAMP_POS)
    return panel.convert("RGB")


# ---------------------------------------------------------------------------------------------

def save_png(im, path):
    im.save(path, "PNG", optimize=True)


def stack(frames):
    w, h = frames[0].size
    out = Image.new("RGBA", (w, h * len(frames)), (0, 0, 0, 0))
    for i, f in enumerate(frames):
        out.paste(f, (0, i * h))
    return out


def write_font(out_dir):
    shutil.copyfile(FONT_REGULAR, os.path.join(out_dir, "Roboto-Regular.ttf"))
    copyright_line = "Copyright 2015 Google Inc."
    with open(FONT_COPYRIGHT_SOURCE, encoding="utf-8") as f:
        for line in f:
            if line.startswith("Copyright:"):
                copyright_line = "Copyright " + line.split(":", 1)[1].strip().replace(",", "")
                break
    with open(FONT_LICENSE_SOURCE, encoding="utf-8") as f:
        licence = f.read()
    header = (
        "Roboto-Regular.ttf: the Roboto typeface, Regular weight.\n"
        + copyright_line + "\n"
        + "Taken unchanged from the Debian package fonts-roboto-unhinted\n"
        + "(/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf).\n"
        + "Licensed under the Apache License, Version 2.0, reproduced below.\n"
        + "\n" + "-" * 78 + "\n\n")
    with open(os.path.join(out_dir, "Roboto-LICENSE.txt"), "w", encoding="utf-8",
              newline="\n") as f:
        f.write(header + licence)


def main(argv):
    out_dir = os.path.abspath(argv[1]) if len(argv) > 1 else DEFAULT_OUT
    os.makedirs(out_dir, exist_ok=True)

    lamp = make_lamp()
    save_png(stack(lamp), os.path.join(out_dir, "ledOn.png"))
    save_png(stack(make_slide_switch()), os.path.join(out_dir, "LiukuAnim.png"))
    save_png(stack(make_flip_switch()), os.path.join(out_dir, "FlipperAnim.png"))
    save_png(make_knob_face(), os.path.join(out_dir, "Nuppi.png"))
    save_png(make_knob_shadow(), os.path.join(out_dir, "NupikkaVarjo.png"))
    save_png(make_knob_overlay(), os.path.join(out_dir, "NuppiOverlay.png"))
    save_png(make_bias_knob(), os.path.join(out_dir, "BIASNUPPI.png"))
    background = make_background(lamp[0])
    background.save(os.path.join(out_dir, "Tolvanebackground.jpg"), "JPEG", quality=90,
                    optimize=True, subsampling=0)
    write_font(out_dir)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
