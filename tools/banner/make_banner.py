#!/usr/bin/python3
"""Draws the loader's banner: a 500x100 GIF of 25 frames at 50 ms, played once.

Frame 0 is the still title "ЗАГРУЗКА" in grey at the top centre on a dark textured ground; in the
following frames the word breaks into splinters that fly over the banner. The window closes at
frame 19, so the splinters are mostly gone by then.

Deterministic: a fixed seed and fixed fonts, so the same Pillow and DejaVu fonts give the same
bytes. Usage: make_banner.py [OUTPUT.gif]  (default: src/ui/qt/resources/banner.gif beside this
repository's root)
"""

import math
import os
import random
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

WIDTH, HEIGHT = 500, 100
FRAMES = 25
DELAY_MS = 50
TITLE = "ЗАГРУЗКА"
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
TITLE_GREY = (150, 150, 150)
SEED = 1951


def textured_ground(rng):
    """Dark ground with soft diagonal brushing; few grey levels keep the GIF small."""
    base = Image.new("L", (WIDTH, HEIGHT), 0)
    px = base.load()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            stripe = math.sin((x + 2 * y) * 0.21) + 0.6 * math.sin((x - 3 * y) * 0.053)
            px[x, y] = int(128 + 60 * stripe + rng.randint(-40, 40))
    base = base.filter(ImageFilter.GaussianBlur(1.2))
    levels = [34, 38, 42, 46, 50]
    lut = [levels[min(len(levels) - 1, v * len(levels) // 256)] for v in range(256)]
    grey = base.point(lut)
    # Slightly darker towards the bottom, where the status line and the bar sit.
    shade = Image.linear_gradient("L").resize((WIDTH, HEIGHT)).point(lambda v: 255 - v // 6)
    grey = Image.composite(grey, Image.new("L", (WIDTH, HEIGHT), 0), shade)
    return Image.merge("RGB", (grey, grey.point(lambda v: min(255, v + 2)), grey))


def title_mask():
    font = ImageFont.truetype(FONT, 30)
    mask = Image.new("L", (WIDTH, HEIGHT), 0)
    draw = ImageDraw.Draw(mask)
    left, top, right, bottom = draw.textbbox((0, 0), TITLE, font=font)
    x = (WIDTH - (right - left)) // 2 - left
    y = 8 - top
    draw.text((x, y), TITLE, fill=255, font=font)
    return mask


def splinters(mask, rng):
    """Cuts the word into small triangles, each with its own flight."""
    box = mask.getbbox()
    cell = 7
    pieces = []
    for gy in range(box[1], box[3], cell):
        for gx in range(box[0], box[2], cell):
            corners = [(gx, gy), (gx + cell, gy), (gx + cell, gy + cell), (gx, gy + cell)]
            if rng.random() < 0.5:
                tris = [(corners[0], corners[1], corners[2]), (corners[0], corners[2], corners[3])]
            else:
                tris = [(corners[0], corners[1], corners[3]), (corners[1], corners[2], corners[3])]
            for tri in tris:
                tmask = Image.new("L", (cell + 1, cell + 1), 0)
                ImageDraw.Draw(tmask).polygon([(px - gx, py - gy) for px, py in tri], fill=255)
                crop = mask.crop((gx, gy, gx + cell + 1, gy + cell + 1))
                alpha = Image.composite(crop, Image.new("L", crop.size, 0), tmask)
                if alpha.getbbox() is None or sum(alpha.getdata()) < 255 * 4:
                    continue
                cx, cy = gx + cell / 2, gy + cell / 2
                angle = math.atan2(cy - 30, cx - WIDTH / 2) + rng.uniform(-0.9, 0.9)
                speed = rng.uniform(1.5, 6.0)
                pieces.append({
                    "alpha": alpha,
                    "origin": (gx, gy),
                    "velocity": (math.cos(angle) * speed * 1.6, math.sin(angle) * speed - 3.0),
                    "spin": rng.uniform(-40, 40),
                    # The word cracks from its middle outwards.
                    "delay": 0.5 + 5.0 * abs(cx - WIDTH / 2) / (WIDTH / 3) * rng.uniform(0.6, 1.0),
                    "shade": rng.randint(-25, 60),
                })
    return pieces


def dust(rng):
    """Faint specks drifting right across the banner, so that no two frames are alike."""
    return [(rng.uniform(-60, WIDTH), rng.uniform(0, HEIGHT), rng.uniform(4, 9), rng.randint(60, 90))
            for _ in range(40)]


def frame_image(ground, mask, pieces, specks, index):
    frame = ground.copy()
    if index == 0:
        frame.paste(Image.new("RGB", frame.size, TITLE_GREY), (0, 0), mask)
        return frame
    draw = ImageDraw.Draw(frame)
    for sx, sy, speed, grey in specks:
        x = sx + speed * index
        draw.point((int(x) % WIDTH, int(sy + 0.8 * index) % HEIGHT), fill=(grey, grey, grey))
    for piece in pieces:
        t = max(0.0, index - piece["delay"])
        vx, vy = piece["velocity"]
        x = piece["origin"][0] + vx * t * (1.0 + 0.12 * t)
        y = piece["origin"][1] + vy * t + 0.35 * t * t
        fade = max(0.0, min(1.0, 1.4 - t / 14.0))
        if fade <= 0.0:
            continue
        alpha = piece["alpha"].rotate(piece["spin"] * t, resample=Image.BICUBIC, expand=True)
        alpha = alpha.point(lambda v, f=fade: int(v * f))
        grey = max(0, min(255, TITLE_GREY[0] + piece["shade"]))
        colour = Image.new("RGB", alpha.size, (grey, grey, grey))
        frame.paste(colour, (int(round(x)), int(round(y))), alpha)
    return frame


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        root, "src", "ui", "qt", "resources", "banner.gif")
    rng = random.Random(SEED)
    ground = textured_ground(rng)
    mask = title_mask()
    pieces = splinters(mask, rng)
    specks = dust(rng)
    frames = [frame_image(ground, mask, pieces, specks, i) for i in range(FRAMES)]
    # One shared palette for every frame: the ground stays identical, so each frame stores only
    # what the splinters change.
    palette = frames[0].quantize(colors=64, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    frames = [f.quantize(palette=palette, dither=Image.Dither.NONE) for f in frames]
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    # No loop count: without the NETSCAPE block the animation plays once.
    frames[0].save(out, save_all=True, append_images=frames[1:], duration=DELAY_MS,
                   disposal=1, optimize=False)
    print(f"{out}: {FRAMES} frames, {os.path.getsize(out)} bytes")


if __name__ == "__main__":
    main()
