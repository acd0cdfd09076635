#!/usr/bin/python3
"""Draws every picture, icon and cursor shown by the tester's main window.

Everything here is drawn from scratch with Pillow; nothing is loaded from
outside except the installed CJK fonts.  The outputs are committed next to
this script and are compiled into the program by ui/CMakeLists.txt, so building the
program needs none of the tools used here.

Pictures (JPEG):
    background.jpg        483x391  sky, crescent moon, feathers, bubbles
    splash.jpg            393x173  start-up banner with the product name
    portrait.jpg           46x73   cartoon head-and-shoulders avatar
    messenger_badge.jpg    76x26   penguin mascot, contact name, "在线"
    banner.jpg            548x52   green band with chevrons and web address
    face_*.jpg             84/89x28 green button faces (one plain, six lettered)
Icons and cursor (made with icotool from icoutils):
    app.ico       pink smiling face, 16/24/32/48 px at 8 and 32 bpp,
                  64/72/96/128 px at 32 bpp (PNG-compressed)
    hand.cur      1 bpp 32x32 pointing hand, hot spot at (6, 0)
    globe.ico     16 px globe with a star, 32 bpp
    penguin.ico   penguin mascot, 16/32 px at 4, 8 and 32 bpp, 48 px at 32 bpp
    printer.ico   receipt printer, 32 and 48 px at 32 bpp

Rerun from the repository root after changing a drawing:
    /usr/bin/python3 ui/assets/make_assets.py
Needs Pillow, icotool and the Noto Sans CJK fonts.  The output is the same
on every run: all random placement uses fixed seeds, and scratch files live
in a temporary directory outside the repository.
"""

import math
import random
import subprocess
import sys
import tempfile
from pathlib import Path

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

HERE = Path(__file__).resolve().parent

NOTO_BOLD = "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc"
NOTO_REGULAR = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
NOTO_SC = 2  # face index of "Noto Sans CJK SC" inside the collections

JPEG_QUALITY = 90
BUTTON_BACKGROUND = (192, 255, 192)

TRANSPARENT = (0, 0, 0, 0)


# ---------------------------------------------------------------- helpers


def font(path, size):
    return ImageFont.truetype(path, size, index=NOTO_SC)


def mix(a, b, t):
    """Colour between a and b; t = 0 gives a, t = 1 gives b."""
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def ramp(stops, t):
    """Colour at t along a list of (position, colour) stops."""
    t = min(max(t, 0.0), 1.0)
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, (t - p0) / (p1 - p0) if p1 > p0 else 0.0)
    return stops[-1][1]


def rgba(colour, alpha=255):
    return tuple(colour[:3]) + (alpha,)


def vertical_gradient(width, height, stops):
    column = Image.new("RGBA", (1, height))
    for y in range(height):
        column.putpixel((0, y), rgba(ramp(stops, y / max(height - 1, 1))))
    return column.resize((width, height), Image.NEAREST)


def field_gradient(width, height, stops, field):
    """Gradient whose position at each pixel is field(x, y) in 0..1."""
    img = Image.new("RGBA", (width, height))
    img.putdata([rgba(ramp(stops, field(x / (width - 1), y / (height - 1))))
                 for y in range(height) for x in range(width)])
    return img


def fill_masked(base, mask, fill):
    """Composite a colour or an RGBA image onto base through an L mask."""
    if isinstance(fill, tuple):
        layer = Image.new("RGBA", base.size, rgba(fill, fill[3] if len(fill) > 3 else 255))
    else:
        layer = fill.copy()
    layer.putalpha(ImageChops.multiply(layer.getchannel("A"), mask))
    base.alpha_composite(layer)


def new_mask(size):
    return Image.new("L", size, 0)


def ellipse_box(cx, cy, rx, ry=None):
    ry = rx if ry is None else ry
    return (cx - rx, cy - ry, cx + rx, cy + ry)


def shrink(img, width, height):
    """Downsample a supersampled drawing; box filtering gives clean edges."""
    return img.resize((width, height), Image.BOX)


def soft_shadow(layer, colour, alpha, radius, offset):
    """A blurred, offset silhouette of layer, to be composited beneath it."""
    shadow = Image.new("RGBA", layer.size, rgba(colour, 0))
    a = layer.getchannel("A").point(lambda v: v * alpha // 255)
    shadow.putalpha(a)
    shadow = shadow.filter(ImageFilter.GaussianBlur(radius))
    moved = Image.new("RGBA", layer.size, TRANSPARENT)
    moved.paste(shadow, offset)
    return moved


def text_size(draw, text, fnt, stroke=0):
    left, top, right, bottom = draw.textbbox((0, 0), text, font=fnt, stroke_width=stroke)
    return left, top, right - left, bottom - top


def save_jpeg(img, name, size):
    assert img.size == size, (name, img.size, size)
    img.convert("RGB").save(HERE / name, "JPEG", quality=JPEG_QUALITY,
                            subsampling=0, optimize=True)


def star_points(cx, cy, outer, inner, points=5, rotation=-90.0):
    pts = []
    for i in range(points * 2):
        r = outer if i % 2 == 0 else inner
        a = math.radians(rotation + i * 180.0 / points)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def leaf_points(p0, p1, width, bulge=0.5, steps=40):
    """A pointed leaf from p0 to p1; width is the half-width at its widest."""
    (x0, y0), (x1, y1) = p0, p1
    length = math.hypot(x1 - x0, y1 - y0)
    tx, ty = (x1 - x0) / length, (y1 - y0) / length
    nx, ny = -ty, tx
    side_a, side_b = [], []
    for i in range(steps + 1):
        t = i / steps
        w = width * math.sin(math.pi * t) ** bulge
        px, py = x0 + (x1 - x0) * t, y0 + (y1 - y0) * t
        side_a.append((px + nx * w, py + ny * w))
        side_b.append((px - nx * w, py - ny * w))
    return side_a + side_b[::-1]


# ------------------------------------------------------------- background


def draw_feather(size, base, tip, bend, width, seed, s):
    """One soft white feather on its own layer (all lengths in canvas px)."""
    rng = random.Random(seed)
    layer = Image.new("RGBA", size, TRANSPARENT)
    d = ImageDraw.Draw(layer)
    (bx, by), (tx, ty) = base, tip
    length = math.hypot(tx - bx, ty - by)
    nx, ny = -(ty - by) / length, (tx - bx) / length
    cx = (bx + tx) / 2 + nx * bend * length
    cy = (by + ty) / 2 + ny * bend * length

    def point(t):
        u = 1 - t
        return (u * u * bx + 2 * u * t * cx + t * t * tx,
                u * u * by + 2 * u * t * cy + t * t * ty)

    def tangent(t):
        dx = 2 * (1 - t) * (cx - bx) + 2 * t * (tx - cx)
        dy = 2 * (1 - t) * (cy - by) + 2 * t * (ty - cy)
        n = math.hypot(dx, dy)
        return dx / n, dy / n

    def profile(u):
        # Widest a third of the way up, closing to a rounded point at the tip.
        return (u ** 0.3 * (1 - u) ** 0.45) / 0.6

    notches = [(rng.uniform(0.3, 0.75), side, rng.uniform(0.35, 0.6))
               for side in (1, -1) for _ in range(rng.randint(1, 2))]
    t0, steps, slant = 0.15, 220, math.radians(38)
    sides = {1: [], -1: []}
    for i in range(steps + 1):
        t = t0 + (1 - t0) * i / steps
        u = (t - t0) / (1 - t0)
        px, py = point(t)
        ux, uy = tangent(t)
        for side, scale in ((1, 1.0), (-1, 0.78)):
            w = width * scale * profile(u)
            for nu, nside, depth in notches:
                if nside == side:
                    w *= 1 - depth * max(0.0, 1 - abs(u - nu) / 0.04)
            a = slant * (1 - 0.6 * u * u)
            vx = side * -uy * math.cos(a) + ux * math.sin(a)
            vy = side * ux * math.cos(a) + uy * math.sin(a)
            reach = w / math.cos(a)
            sides[side].append(((px, py), (px + vx * reach, py + vy * reach)))

    outline = [point(t0)] + [e for _, e in sides[1]] + [point(1.0)]
    outline += [e for _, e in reversed(sides[-1])]
    d.polygon(outline, fill=(255, 255, 255, 205))
    # A faint blue shade on the narrow side gives the vane some body.
    d.polygon([point(t0)] + [e for _, e in sides[-1]] + [point(1.0)],
              fill=(214, 228, 248, 120))
    # Barbs: fine lighter strokes from the shaft to the edge of the vane.
    for side in (1, -1):
        for k, (start, end) in enumerate(sides[side]):
            if k % 3 == 0:
                d.line([start, end], fill=(255, 255, 255, 225), width=max(1, s // 3))
    # Down near the quill.
    for _ in range(14):
        t = rng.uniform(0.1, 0.2)
        px, py = point(t)
        ux, uy = tangent(t)
        side = rng.choice((1, -1))
        reach = width * rng.uniform(0.35, 0.7)
        curl = rng.uniform(-0.5, 0.5)
        ex = px + side * -uy * reach + ux * reach * curl
        ey = py + side * ux * reach + uy * reach * curl
        d.line([(px, py), ((px + ex) / 2 + ux * s, (py + ey) / 2 + uy * s), (ex, ey)],
               fill=(255, 255, 255, 150), width=max(1, s // 2), joint="curve")
    # The shaft, tapering from the quill to the tip.
    shaft = [point(i / 100) for i in range(101)]
    for i in range(100):
        w = 2.2 * s * (1 - i / 100) + 0.5 * s
        d.line([shaft[i], shaft[i + 1]], fill=(244, 247, 252, 255), width=max(1, round(w)))
    for i in range(12, 100):
        d.line([shaft[i], shaft[i + 1]], fill=(196, 210, 232, 200), width=max(1, s // 3))
    return layer


def draw_bubble(d, cx, cy, r, s):
    d.ellipse(ellipse_box(cx, cy, r), fill=(255, 255, 255, 30),
              outline=(240, 248, 255, 150), width=max(1, round(0.9 * s)))
    d.ellipse(ellipse_box(cx, cy, r * 0.9), outline=(200, 230, 255, 45),
              width=max(1, round(1.5 * s)))
    d.arc(ellipse_box(cx, cy, r * 0.78), 15, 75, fill=(255, 255, 255, 110),
          width=max(1, round(r * 0.08)))
    d.ellipse(ellipse_box(cx - r * 0.42, cy - r * 0.42, r * 0.2, r * 0.13),
              fill=(255, 255, 255, 215))
    d.ellipse(ellipse_box(cx - r * 0.15, cy - r * 0.62, r * 0.07),
              fill=(255, 255, 255, 160))


def make_background():
    w, h, s = 483, 391, 4
    W, H = w * s, h * s
    img = vertical_gradient(W, H, [(0.0, (58, 128, 214)), (0.45, (118, 176, 236)),
                                   (0.78, (214, 234, 252)), (1.0, (255, 255, 255))])

    # Soft haze along the bottom edge.
    haze = Image.new("RGBA", (W, H), (255, 255, 255, 0))
    hd = ImageDraw.Draw(haze)
    rng = random.Random(7)
    for _ in range(9):
        cx = rng.uniform(-0.05, 1.05) * W
        cy = rng.uniform(0.86, 1.02) * H
        hd.ellipse(ellipse_box(cx, cy, rng.uniform(60, 120) * s, rng.uniform(18, 30) * s),
                   fill=(255, 255, 255, 150))
    img.alpha_composite(haze.filter(ImageFilter.GaussianBlur(14 * s)))

    # Crescent moon with a faint glow, upper right.
    mx, my, mr = 400 * s, 70 * s, 29 * s
    glow = Image.new("RGBA", (W, H), (255, 255, 235, 0))
    ImageDraw.Draw(glow).ellipse(ellipse_box(mx, my, mr * 1.5), fill=(255, 255, 235, 70))
    img.alpha_composite(glow.filter(ImageFilter.GaussianBlur(12 * s)))
    crescent = new_mask((W, H))
    cd = ImageDraw.Draw(crescent)
    cd.ellipse(ellipse_box(mx, my, mr), fill=255)
    cd.ellipse(ellipse_box(mx - mr * 0.46, my - mr * 0.26, mr * 0.9), fill=0)
    fill_masked(img, crescent, vertical_gradient(W, H, [(0.0, (255, 253, 238)),
                                                       (0.1, (250, 242, 206))]))

    # Two feathers drifting down, each with a soft shadow.
    for base, tip, bend, width, seed in (((62 * s, 300 * s), (196 * s, 128 * s), 0.08, 24 * s, 11),
                                         ((318 * s, 292 * s), (424 * s, 214 * s), -0.1, 16 * s, 23)):
        feather = draw_feather((W, H), base, tip, bend, width, seed, s)
        img.alpha_composite(soft_shadow(feather, (30, 70, 140), 70, 4 * s, (4 * s, 6 * s)))
        img.alpha_composite(feather)

    # A few bubbles, kept clear of the moon and the feathers.
    bubbles = Image.new("RGBA", (W, H), TRANSPARENT)
    bd = ImageDraw.Draw(bubbles)
    for cx, cy, r in ((262, 64, 17), (300, 118, 9), (232, 128, 6), (110, 70, 12),
                      (60, 150, 7), (356, 150, 13), (440, 150, 6), (250, 260, 15),
                      (206, 298, 8), (452, 286, 10)):
        draw_bubble(bd, cx * s, cy * s, r * s, s)
    img.alpha_composite(bubbles)

    save_jpeg(shrink(img, w, h), "background.jpg", (w, h))


# ----------------------------------------------------------------- splash


def draw_emblem(img, cx, cy, r, s):
    """The company mark: a sprouting grain leaf over a stream, in a ring."""
    d = ImageDraw.Draw(img)
    d.ellipse(ellipse_box(cx, cy + 0.6 * s, r), fill=(10, 40, 100, 70))
    disc = new_mask(img.size)
    ImageDraw.Draw(disc).ellipse(ellipse_box(cx, cy, r), fill=255)
    fill_masked(img, disc, vertical_gradient(img.width, img.height,
                                             [(0.0, (255, 255, 255)), (0.3, (226, 240, 255))]))
    d.ellipse(ellipse_box(cx, cy, r), outline=(26, 96, 186, 255), width=round(1.6 * s))
    green = (58, 164, 84, 255)
    stem_top = (cx + 0.02 * r, cy - 0.55 * r)
    d.line([(cx, cy + 0.25 * r), ((cx + stem_top[0]) / 2 + 0.08 * r, cy - 0.15 * r), stem_top],
           fill=green, width=round(1.3 * s), joint="curve")
    d.polygon(leaf_points((cx, cy + 0.05 * r), (cx - 0.55 * r, cy - 0.42 * r), 0.2 * r), fill=green)
    d.polygon(leaf_points((cx + 0.02 * r, cy - 0.08 * r), (cx + 0.55 * r, cy - 0.5 * r), 0.18 * r),
              fill=(92, 190, 96, 255))
    blue = (30, 120, 210, 255)
    for k, dy in enumerate((0.42, 0.62)):
        wave = [(cx - 0.7 * r + i * 1.4 * r / 40,
                 cy + dy * r + 0.09 * r * math.sin(i / 40 * 2 * math.pi * 1.5 + k))
                for i in range(41)]
        d.line(wave, fill=blue, width=round(1.4 * s), joint="curve")
    ring = new_mask(img.size)
    ImageDraw.Draw(ring).ellipse(ellipse_box(cx, cy, r), fill=255)
    return ring


def make_splash():
    w, h, s = 393, 173, 4
    W, H = w * s, h * s
    sky = field_gradient(w, h, [(0.0, (22, 78, 168)), (0.45, (70, 140, 222)),
                                (0.8, (196, 224, 250)), (1.0, (255, 255, 255))],
                         lambda x, y: 0.78 * y + 0.22 * x)
    img = sky.resize((W, H), Image.BILINEAR)

    # Light sweeping arcs behind the title.
    arcs = Image.new("RGBA", (W, H), (255, 255, 255, 0))
    ad = ImageDraw.Draw(arcs)
    for k, (r, a) in enumerate(((420, 40), (360, 30), (300, 22))):
        ad.arc(ellipse_box(330 * s, 380 * s, r * s, r * 0.62 * s), 190, 330,
               fill=(255, 255, 255, a), width=(10 - 3 * k) * s)
    img.alpha_composite(arcs.filter(ImageFilter.GaussianBlur(s)))

    # Maker's mark, top left.
    mark = Image.new("RGBA", (W, H), TRANSPARENT)
    draw_emblem(mark, 22 * s, 21 * s, 14 * s, s)
    img.alpha_composite(mark)
    d = ImageDraw.Draw(img)
    xh = font(NOTO_BOLD, 15 * s)
    d.text((41 * s, 21 * s), "XH", font=xh, fill=(255, 255, 255, 255), anchor="lm",
           stroke_width=round(0.3 * s), stroke_fill=(255, 255, 255, 255))

    # Product name with version mark, centred, white on a dark outline.
    title_font = font(NOTO_BOLD, 34 * s)
    version_font = font(NOTO_BOLD, 19 * s)
    title, version = "打印机测试工具", "V1.0"
    stroke = round(1.6 * s)
    _, _, tw, _ = text_size(d, title, title_font, stroke)
    _, _, vw, _ = text_size(d, version, version_font, stroke)
    gap = 7 * s
    x0 = (W - (tw + gap + vw)) // 2
    baseline = 100 * s
    text_layer = Image.new("RGBA", (W, H), TRANSPARENT)
    td = ImageDraw.Draw(text_layer)
    td.text((x0, baseline), title, font=title_font, anchor="ls", fill=(255, 255, 255, 255),
            stroke_width=stroke, stroke_fill=(16, 52, 120, 255))
    td.text((x0 + tw + gap, baseline), version, font=version_font, anchor="ls",
            fill=(255, 222, 96, 255), stroke_width=stroke, stroke_fill=(16, 52, 120, 255))
    img.alpha_composite(soft_shadow(text_layer, (0, 20, 60), 110, 3 * s, (2 * s, 3 * s)))
    img.alpha_composite(text_layer)

    # A thin rule under the title that fades out at both ends.
    rule = Image.new("RGBA", (W, H), TRANSPARENT)
    rd = ImageDraw.Draw(rule)
    left, right, y = x0, x0 + tw + gap + vw, 111 * s
    for x in range(left, right):
        t = (x - left) / (right - left)
        rd.line([(x, y), (x, y + s)], fill=(255, 255, 255, round(200 * math.sin(math.pi * t))))
    img.alpha_composite(rule)

    out = shrink(img, w, h)
    # Small print is drawn at final size so the glyphs stay crisp.
    od = ImageDraw.Draw(out)
    od.text((w - 8, h - 7), "溪禾云岫信息技术有限公司 版权所有", font=font(NOTO_REGULAR, 11),
            anchor="rs", fill=(44, 74, 120, 255))
    save_jpeg(out, "splash.jpg", (w, h))


# --------------------------------------------------------------- portrait


def make_portrait():
    w, h, s = 46, 73, 8
    W, H = w * s, h * s
    img = vertical_gradient(W, H, [(0.0, (206, 226, 248)), (1.0, (244, 249, 255))])
    d = ImageDraw.Draw(img)
    skin, skin_shade = (252, 218, 186, 255), (232, 186, 150, 255)
    hair = (70, 46, 34, 255)
    shirt, shirt_dark = (62, 116, 196, 255), (40, 86, 160, 255)

    # Shoulders and shirt.
    d.rounded_rectangle((2 * s, 50 * s, 44 * s, 90 * s), radius=15 * s, fill=shirt,
                        outline=shirt_dark, width=s)
    # Neck, shaded under the chin.
    d.rectangle((18.5 * s, 40 * s, 27.5 * s, 54 * s), fill=skin)
    d.rectangle((18.5 * s, 40 * s, 27.5 * s, 46.5 * s), fill=skin_shade)
    # Open collar.
    d.polygon([(15.5 * s, 50 * s), (23 * s, 60 * s), (30.5 * s, 50 * s), (27.5 * s, 48.5 * s),
               (23 * s, 56 * s), (18.5 * s, 48.5 * s)], fill=(255, 255, 255, 255))
    d.polygon([(18.5 * s, 49 * s), (23 * s, 56 * s), (27.5 * s, 49 * s)], fill=skin)
    # Hair behind the head, ears, face.
    d.ellipse(ellipse_box(23 * s, 27 * s, 13.5 * s, 13.5 * s), fill=hair)
    for ex in (11.2, 34.8):
        d.ellipse(ellipse_box(ex * s, 31 * s, 2.4 * s, 3.3 * s), fill=skin,
                  outline=skin_shade, width=s // 2)
    d.ellipse(ellipse_box(23 * s, 31 * s, 11.5 * s, 12.5 * s), fill=skin,
              outline=skin_shade, width=s // 2)
    # Fringe, swept to one side from a parting on the left.
    fringe = [(10.5, 30), (10.8, 22), (14, 16.5), (19, 14), (25, 13.6), (31, 15.5), (35, 20.5),
              (35.5, 30), (34, 25), (31.5, 21.5), (27, 22.5), (22, 23.5), (17, 24.5),
              (13.5, 25), (12, 30)]
    d.polygon([(x * s, y * s) for x, y in fringe], fill=hair)
    d.line([(17 * s, 15.5 * s), (21 * s, 20 * s)], fill=(110, 78, 58, 255), width=s // 2)
    # Face.
    eye = (40, 30, 30, 255)
    for ex in (18.5, 27.5):
        d.ellipse(ellipse_box(ex * s, 31.5 * s, 1.5 * s, 1.9 * s), fill=eye)
        d.ellipse(ellipse_box((ex + 0.5) * s, 30.8 * s, 0.5 * s), fill=(255, 255, 255, 255))
        d.line([((ex - 2) * s, 27.8 * s), ((ex + 2) * s, 27.4 * s)], fill=hair, width=s)
    for cx in (15.5, 30.5):
        d.ellipse(ellipse_box(cx * s, 36 * s, 2.2 * s, 1.3 * s), fill=(246, 170, 160, 255))
    d.line([(23 * s, 33 * s), (22.2 * s, 35.3 * s), (23.3 * s, 35.6 * s)], fill=skin_shade,
           width=round(0.8 * s))
    d.arc(ellipse_box(23 * s, 36 * s, 4 * s, 3 * s), 25, 155, fill=(190, 80, 80, 255),
          width=round(1.1 * s))
    save_jpeg(shrink(img, w, h), "portrait.jpg", (w, h))


# ---------------------------------------------------------------- penguin


def draw_penguin(d, x, y, w, h):
    """The penguin mascot inside the box (x, y, w, h) of a canvas."""
    def box(cx, cy, rx, ry=None):
        ry = rx if ry is None else ry
        return (x + cx * w - rx * w, y + cy * h - ry * h, x + cx * w + rx * w, y + cy * h + ry * h)

    body, belly = (30, 34, 48, 255), (255, 255, 255, 255)
    orange = (250, 156, 28, 255)
    # Feet go under the body.
    for fx in (0.36, 0.64):
        d.ellipse(box(fx, 0.94, 0.14, 0.05), fill=orange)
    # Flippers.
    for fx, sign in ((0.14, 1), (0.86, -1)):
        d.polygon([(x + (fx + sign * 0.1) * w, y + 0.48 * h), (x + (fx - sign * 0.07) * w, y + 0.76 * h),
                   (x + (fx + sign * 0.12) * w, y + 0.72 * h)], fill=body)
    d.ellipse(box(0.5, 0.64, 0.37, 0.32), fill=body)
    d.ellipse(box(0.5, 0.3, 0.3, 0.28), fill=body)
    d.ellipse(box(0.5, 0.67, 0.25, 0.26), fill=belly)
    # Face mask and eyes.
    for fx in (0.4, 0.6):
        d.ellipse(box(fx, 0.31, 0.14, 0.13), fill=belly)
    for fx in (0.42, 0.58):
        d.ellipse(box(fx, 0.31, 0.06, 0.066 * w / h), fill=(20, 20, 30, 255))
        d.ellipse(box(fx + 0.02, 0.29, 0.022, 0.022 * w / h), fill=belly)
    for fx in (0.3, 0.7):
        d.ellipse(box(fx, 0.41, 0.05, 0.025), fill=(255, 160, 170, 255))
    d.polygon([(x + 0.41 * w, y + 0.39 * h), (x + 0.59 * w, y + 0.39 * h),
               (x + 0.5 * w, y + 0.47 * h)], fill=orange)


def make_messenger_badge():
    w, h, s = 76, 26, 8
    W, H = w * s, h * s
    img = vertical_gradient(W, H, [(0.0, (255, 255, 255)), (1.0, (220, 236, 252))])
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, W - 1, H - 1), outline=(150, 182, 222, 255), width=s)
    draw_penguin(d, 2 * s, 2.5 * s, 18 * s, 21.5 * s)
    out = shrink(img, w, h)
    od = ImageDraw.Draw(out)
    od.text((22, 13), "柯岚", font=font(NOTO_BOLD, 12), anchor="lm", fill=(28, 40, 70))
    od.text((74, 13), "在线", font=font(NOTO_REGULAR, 12), anchor="rm", fill=(24, 132, 56))
    save_jpeg(out, "messenger_badge.jpg", (w, h))


# ----------------------------------------------------------------- banner


def make_banner():
    w, h, s = 548, 52, 4
    W, H = w * s, h * s
    img = vertical_gradient(W, H, [(0.0, (112, 200, 96)), (0.5, (58, 160, 64)),
                                   (1.0, (30, 118, 44))])
    d = ImageDraw.Draw(img)
    gloss = Image.new("RGBA", (W, H), TRANSPARENT)
    ImageDraw.Draw(gloss).rectangle((0, 0, W, H * 0.45), fill=(255, 255, 255, 36))
    img.alpha_composite(gloss)
    d.rectangle((0, 0, W, s - 1), fill=(170, 230, 150, 255))
    d.rectangle((0, H - s, W, H), fill=(20, 90, 32, 255))

    chevrons = Image.new("RGBA", (W, H), TRANSPARENT)
    cd = ImageDraw.Draw(chevrons)
    cy, half, depth, thick = H / 2, 11 * s, 9 * s, 5 * s
    for k, alpha in enumerate((130, 190, 255)):
        x = (18 + 14 * k) * s
        cd.polygon([(x, cy - half), (x + thick, cy - half), (x + thick + depth, cy),
                    (x + thick, cy + half), (x, cy + half), (x + depth, cy)],
                   fill=(255, 255, 255, alpha))
    img.alpha_composite(soft_shadow(chevrons, (10, 60, 20), 120, s, (s, s)))
    img.alpha_composite(chevrons)

    text = Image.new("RGBA", (W, H), TRANSPARENT)
    ImageDraw.Draw(text).text((84 * s, cy), "www.example.com", font=font(NOTO_BOLD, 25 * s),
                              anchor="lm", fill=(255, 255, 255, 255))
    img.alpha_composite(soft_shadow(text, (10, 60, 20), 150, s, (s, round(1.5 * s))))
    img.alpha_composite(text)
    save_jpeg(shrink(img, w, h), "banner.jpg", (w, h))


# ---------------------------------------------------------------- buttons


def make_button(name, width, label):
    w, h, s = width, 28, 8
    W, H = w * s, h * s
    img = Image.new("RGBA", (W, H), rgba(BUTTON_BACKGROUND))
    face = (1 * s, 1 * s, W - 1 * s, H - 1 * s)
    radius = 7 * s
    mask = new_mask((W, H))
    ImageDraw.Draw(mask).rounded_rectangle(face, radius=radius, fill=255)
    fill_masked(img, mask, vertical_gradient(W, H, [(0.0, (168, 236, 140)), (0.45, (84, 184, 80)),
                                                    (1.0, (28, 124, 44))]))
    gloss = new_mask((W, H))
    ImageDraw.Draw(gloss).rounded_rectangle((3 * s, 2.5 * s, W - 3 * s, H * 0.48), radius=5 * s,
                                            fill=70)
    fill_masked(img, gloss, (255, 255, 255))
    ImageDraw.Draw(img).rounded_rectangle(face, radius=radius, outline=(24, 104, 38, 255),
                                          width=s)
    out = shrink(img, w, h)
    if label:
        od = ImageDraw.Draw(out)
        f = font(NOTO_BOLD, 13)
        od.text((w / 2, h / 2 + 1), label, font=f, anchor="mm", fill=(18, 90, 30))
        od.text((w / 2, h / 2), label, font=f, anchor="mm", fill=(255, 255, 255))
    save_jpeg(out, name, (w, h))


def make_buttons():
    make_button("face_plain.jpg", 89, "")
    make_button("face_company_card.jpg", 84, "公司名片")
    make_button("face_test_page.jpg", 89, "测试页")
    make_button("face_personal_card.jpg", 84, "个人名片")
    make_button("face_cash_drawer.jpg", 89, "开钱箱")
    make_button("face_status.jpg", 89, "查状态")
    make_button("face_diagnose.jpg", 89, "诊断")


# ------------------------------------------------------------ icon frames


def pixel_art(text, colours, size):
    """A size x size RGBA image from rows of characters; unlisted ones are clear."""
    img = Image.new("RGBA", (size, size), TRANSPARENT)
    for y, row in enumerate(text.strip("\n").splitlines()):
        for x, ch in enumerate(row):
            if ch in colours:
                img.putpixel((x, y), rgba(colours[ch]))
    return img


def render_icon(draw_fn, size, s=16):
    """Draw at s times the size, then shrink to a size x size RGBA image."""
    big = Image.new("RGBA", (size * s, size * s), TRANSPARENT)
    draw_fn(big, size * s, size)
    return shrink(big, size, size)


def smiley(img, n, px):
    """Pink smiling face; n is the canvas size, px the final icon size."""
    d = ImageDraw.Draw(img)
    u = n / 100.0
    # Small frames fill the square so the edge lands on whole pixels.
    r = 47 * u if px >= 32 else 50 * u
    c = 50 * u
    disc = new_mask(img.size)
    ImageDraw.Draw(disc).ellipse(ellipse_box(c, c, r), fill=255)
    shade = Image.radial_gradient("L").resize((round(2.6 * r),) * 2, Image.BILINEAR)
    light = Image.new("L", img.size, 255)
    light.paste(shade, (round(c - 1.6 * r), round(c - 1.6 * r)))
    face = Image.composite(Image.new("RGBA", img.size, (226, 78, 140, 255)),
                           Image.new("RGBA", img.size, (255, 196, 222, 255)), light)
    fill_masked(img, disc, face)
    line = max(4 * u, 1.1 * n / px)
    d.ellipse(ellipse_box(c, c, r), outline=(176, 40, 102, 255), width=round(line))
    dark = (84, 20, 52, 255)
    for ex in (35, 65):
        if px < 24:
            # Two by three pixel eyes, on the pixel grid.
            left = (4 if ex == 35 else 10) * n / px
            d.rectangle((left, 4 * n / px, left + 2 * n / px - 1, 7 * n / px - 1), fill=dark)
        else:
            d.ellipse(ellipse_box(ex * u, 40 * u, 7 * u, 10 * u), fill=dark)
        if px >= 32:
            d.ellipse(ellipse_box((ex + 2.2) * u, 36 * u, 2.8 * u), fill=(255, 255, 255, 255))
    if px >= 24:
        for bx in (24, 76):
            d.ellipse(ellipse_box(bx * u, 60 * u, 9 * u, 5.5 * u), fill=(255, 120, 160, 200))
    if px < 24:
        # The mouth as whole pixels: corners up, a flat bottom.
        p = n / px
        for x0, x1, y in ((4, 5, 9), (11, 12, 9), (5, 6, 10), (10, 11, 10), (6, 10, 11)):
            d.rectangle((x0 * p, y * p, x1 * p - 1, (y + 1) * p - 1), fill=dark)
    else:
        smile = max(6 * u, 1.3 * n / px)
        d.arc(ellipse_box(c, 54 * u, 24 * u, 20 * u), 20, 160, fill=dark, width=round(smile))
    if px >= 32:
        gloss = new_mask(img.size)
        ImageDraw.Draw(gloss).ellipse(ellipse_box(36 * u, 22 * u, 16 * u, 8 * u), fill=110)
        fill_masked(img, gloss.filter(ImageFilter.GaussianBlur(2 * u)), (255, 255, 255))


def penguin_icon(img, n, px):
    draw_penguin(ImageDraw.Draw(img), 0.06 * n, 0.02 * n, 0.88 * n, 0.96 * n)


# At 16 px the penguin is placed pixel by pixel: a shrunken drawing blurs
# the eyes into the face.
PENGUIN_16 = """
......KKKK......
....KKKKKKKK....
...KKKKKKKKKK...
...KKWWKKWWKK...
..KKWWWWWWWWKK..
..KKWEWWWWEWKK..
..KKWWWOOWWWKK..
..KKKWWOOWWKKK..
.KKKKWWWWWWKKKK.
.KKKWWWWWWWWKKK.
KKKKWWWWWWWWKKKK
KK.KWWWWWWWWK.KK
K..KgWWWWWWgK..K
...KKgWWWWgKK...
....KKKKKKKK....
...OOOO..OOOO...
"""
PENGUIN_16_COLOURS = {"K": (30, 34, 48), "W": (255, 255, 255), "g": (206, 214, 228),
                      "E": (20, 20, 30), "O": (250, 156, 28)}


def globe_with_star(img, n, px):
    u = n / 16.0
    d = ImageDraw.Draw(img)
    cx, cy, r = 7 * u, 9 * u, 6.4 * u
    disc = new_mask(img.size)
    ImageDraw.Draw(disc).ellipse(ellipse_box(cx, cy, r), fill=255)
    ocean = field_gradient(32, 32, [(0.0, (110, 190, 250)), (1.0, (20, 84, 178))],
                           lambda x, y: min(1.0, math.hypot(x - 0.3, y - 0.45) * 1.4))
    fill_masked(img, disc, ocean.resize(img.size, Image.BILINEAR))
    land = new_mask(img.size)
    ld = ImageDraw.Draw(land)
    ld.polygon([(p[0] * u, p[1] * u) for p in ((3.5, 5.2), (6.8, 4.2), (8.2, 6), (7, 8.2),
                                               (5.5, 8.6), (5.8, 11.2), (4.2, 12.6), (2.8, 9.6),
                                               (2.2, 7.2))], fill=255)
    ld.polygon([(p[0] * u, p[1] * u) for p in ((9, 9.6), (11.8, 8.6), (12.6, 11), (11, 14.2),
                                               (9.4, 12.6))], fill=255)
    fill_masked(img, ImageChops.multiply(land, disc), (64, 168, 64))
    grid = new_mask(img.size)
    gd = ImageDraw.Draw(grid)
    gd.line([(cx - r, cy), (cx + r, cy)], fill=120, width=round(0.6 * u))
    gd.ellipse(ellipse_box(cx, cy, r * 0.42, r), outline=120, width=round(0.6 * u))
    fill_masked(img, ImageChops.multiply(grid, disc), (255, 255, 255))
    d.ellipse(ellipse_box(cx, cy, r), outline=(16, 56, 124, 255), width=round(0.9 * u))
    d.ellipse(ellipse_box(cx - 2.4 * u, cy - 2.6 * u, 1.3 * u, 0.8 * u), fill=(255, 255, 255, 150))
    star = star_points(12.2 * u, 3.9 * u, 3.7 * u, 1.6 * u)
    d.polygon(star, fill=(255, 216, 40, 255), outline=None)
    d.line(star + [star[0]], fill=(176, 112, 0, 255), width=round(0.8 * u), joint="curve")


def receipt_printer(img, n, px):
    u = n / 48.0
    d = ImageDraw.Draw(img)
    shadow = Image.new("RGBA", img.size, TRANSPARENT)
    ImageDraw.Draw(shadow).ellipse((5 * u, 40 * u, 43 * u, 47 * u), fill=(0, 0, 0, 90))
    img.alpha_composite(shadow.filter(ImageFilter.GaussianBlur(1.5 * u)))
    outline = (58, 66, 80, 255)
    line = max(round(1.2 * u), round(n / px))

    # Receipt coming out of the slot, with a torn top edge and printed lines.
    paper = [(13 * u, 22 * u)]
    teeth = 6
    for i in range(teeth + 1):
        x = 13 * u + i * 22 * u / teeth
        paper.append((x, (4 if i % 2 == 0 else 2.2) * u))
    paper.append((35 * u, 22 * u))
    d.polygon(paper, fill=(255, 255, 255, 255))
    d.line(paper + [paper[0]], fill=(140, 150, 164, 255), width=max(1, round(0.8 * u)))
    ink = [(60, 70, 90), (60, 70, 90), (226, 60, 80), (30, 140, 220)]
    for k, (y, x1) in enumerate(((8, 31), (11.5, 27), (15, 31), (18.5, 25))):
        colour = ink[k] if px >= 32 else (90, 100, 120)
        d.line([(16.5 * u, y * u), (x1 * u, y * u)], fill=rgba(colour), width=max(1, round(1.6 * u)))

    # Body: light case with a dark lid.
    body = (4 * u, 20 * u, 44 * u, 43 * u)
    mask = new_mask(img.size)
    ImageDraw.Draw(mask).rounded_rectangle(body, radius=4 * u, fill=255)
    fill_masked(img, mask, vertical_gradient(img.width, img.height,
                                             [(0.0, (246, 248, 251)), (0.45, (236, 239, 244)),
                                              (0.9, (168, 176, 190)), (1.0, (150, 158, 172))]))
    d.rounded_rectangle((4 * u, 20 * u, 44 * u, 29 * u), radius=4 * u, fill=(70, 78, 96, 255))
    d.rectangle((4 * u, 25 * u, 44 * u, 29 * u), fill=(70, 78, 96, 255))
    d.rectangle((11 * u, 21.5 * u, 37 * u, 23.5 * u), fill=(24, 28, 36, 255))
    d.rounded_rectangle(body, radius=4 * u, outline=outline, width=line)
    # Front panel: colour stripe, status light, feed button.
    for k, colour in enumerate(((0, 170, 230), (230, 40, 140), (250, 210, 0))):
        d.rectangle(((9 + 4.5 * k) * u, 34 * u, (12.5 + 4.5 * k) * u, 37.5 * u), fill=rgba(colour))
    d.ellipse(ellipse_box(33 * u, 35.8 * u, 2.2 * u), fill=(60, 200, 80, 255),
              outline=(20, 110, 40, 255), width=max(1, round(0.6 * u)))
    d.rounded_rectangle((37.5 * u, 34 * u, 41 * u, 37.5 * u), radius=u,
                        fill=(90, 100, 118, 255))


# --------------------------------------------------------------- ico files


def palettised(img, bpp):
    """Reduce an RGBA frame to 2**bpp colours with 1-bit transparency.

    Semi-transparent edge pixels become fully opaque or fully clear, and the
    opaque colours are quantised to fit the palette, so icotool can store
    the frame as a paletted bitmap with an AND mask.
    """
    alpha = img.getchannel("A").point(lambda a: 255 if a >= 128 else 0)
    rgb = img.convert("RGB")
    opaque = [p for p, a in zip(rgb.getdata(), alpha.getdata()) if a]
    common = max(sorted(set(opaque)), key=opaque.count)
    rgb.putdata([p if a else common for p, a in zip(rgb.getdata(), alpha.getdata())])
    # icotool needs a spare palette slot for the clear pixels, except in
    # 1 bpp frames, whose two colours are always black and white.
    limit = 2 if bpp == 1 else 2 ** bpp - 1
    if len(set(opaque)) > limit:
        rgb = rgb.quantize(colors=limit, method=Image.MEDIANCUT).convert("RGB")
    out = rgb.convert("RGBA")
    out.putalpha(alpha)
    clear = (*common, 0)
    out.putdata([p if p[3] else clear for p in out.getdata()])
    return out


def write_icon_file(name, frames, cursor_hotspot=None):
    """frames: (image, bpp, as_png). Runs icotool in a scratch directory."""
    target = HERE / name
    with tempfile.TemporaryDirectory() as tmp:
        args = ["icotool", "-c", "-o", str(target)]
        if cursor_hotspot is not None:
            args += ["--cursor", "-X", str(cursor_hotspot[0]), "-Y", str(cursor_hotspot[1])]
        for i, (img, bpp, as_png) in enumerate(frames):
            path = Path(tmp) / f"{i:02d}-{img.width}-{bpp}.png"
            (img if bpp == 32 else palettised(img, bpp)).save(path)
            args += ["-r", str(path)] if as_png else ["-b", str(bpp), str(path)]
        subprocess.run(args, check=True)


def make_app_icon():
    frames = []
    for size in (16, 24, 32, 48):
        frame = render_icon(smiley, size)
        frames += [(frame, 8, False), (frame, 32, False)]
    for size in (64, 72, 96, 128):
        frames.append((render_icon(smiley, size, s=8), 32, True))
    write_icon_file("app.ico", frames)


def make_penguin_icon():
    frames = []
    for frame in (pixel_art(PENGUIN_16, PENGUIN_16_COLOURS, 16), render_icon(penguin_icon, 32)):
        frames += [(frame, 4, False), (frame, 8, False), (frame, 32, False)]
    frames.append((render_icon(penguin_icon, 48), 32, False))
    write_icon_file("penguin.ico", frames)


def make_globe_icon():
    write_icon_file("globe.ico", [(render_icon(globe_with_star, 16), 32, False)])


def make_printer_icon():
    write_icon_file("printer.ico", [(render_icon(receipt_printer, size), 32, False)
                                    for size in (32, 48)])


# ------------------------------------------------------------ hand cursor

# X = black outline, o = white fill, anything else = transparent.
# The top of the index finger is row 0, column 6: the cursor's hot spot.
HAND = """
.....XXX..........
....XoooX.........
....XoooX.........
....XoooX.........
....XoooX.........
....XoooXXX.......
....XoooXooXXX....
....XoooXooXooXXX.
....XoooXooXooXooX
....XoooXooXooXooX
.XX.XoooXooXooXooX
XooXXoooXooXooXooX
XoooXoooXooXooXooX
.XooXooooooooooooX
.XoooooooooooooooX
..XooooooooooooooX
..XooooooooooooooX
...XoooooooooooooX
...XooooooooooooX.
....XooooooooooX..
....XooooooooooX..
....XXXXXXXXXXXX..
"""


def make_hand_cursor():
    img = pixel_art(HAND, {"X": (0, 0, 0), "o": (255, 255, 255)}, 32)
    assert img.getpixel((6, 0)) == (0, 0, 0, 255)
    write_icon_file("hand.cur", [(img, 1, False)], cursor_hotspot=(6, 0))


# ------------------------------------------------------------------- main


def main():
    make_background()
    make_splash()
    make_portrait()
    make_messenger_badge()
    make_banner()
    make_buttons()
    make_app_icon()
    make_hand_cursor()
    make_globe_icon()
    make_penguin_icon()
    make_printer_icon()
    return 0


if __name__ == "__main__":
    sys.exit(main())
