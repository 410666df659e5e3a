#!/usr/bin/env python3
# The image codecs against Pillow as the independent peer: zem reads what
# Pillow (or a writer of our own here, for the variants Pillow does not
# write) writes, and Pillow reads what zem writes. PNG, BMP and TIFF must
# agree pixel for pixel, JPEG within a small tolerance, GIF within its
# palette.
import os
import struct
import subprocess
import sys
import tempfile
import zlib

from PIL import Image

ZEM = os.path.abspath(sys.argv[1])
W, H = 23, 17  # odd sizes: row padding, partial interlace passes
failures = []


def pattern(alpha=True):
    """RGBA bytes of a test picture: gradients, and alpha over its range."""
    out = bytearray()
    for y in range(H):
        for x in range(W):
            a = (x * 11 + y * 7) % 256 if alpha else 255
            out += bytes([(x * 37) % 256, (y * 53) % 256, (x * y * 5) % 256, a])
    return bytes(out)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def write_png(path, w, h, rows, colour_type, depth, interlace):
    """A PNG from rows of samples (bytes per row, filter 0), Adam7 when asked."""
    bpp = {0: 1, 2: 3, 4: 2, 6: 4}[colour_type] * depth // 8
    raw = bytearray()
    if interlace:
        passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
        for x0, y0, dx, dy in passes:
            for y in range(y0, h, dy):
                line = b"".join(rows[y][x * bpp:(x + 1) * bpp] for x in range(x0, w, dx))
                if line:
                    raw += b"\0" + line
    else:
        for r in rows:
            raw += b"\0" + r
    ihdr = struct.pack(">IIBBBBB", w, h, depth, colour_type, 0, 0, 1 if interlace else 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", zlib.compress(bytes(raw)))
                + png_chunk(b"IEND", b""))


def write_bmp(path, w, h, rgba, top_down):
    """A 24-bit BMP, rows bottom-up or (negative height) top-down."""
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    order = range(h) if top_down else range(h - 1, -1, -1)
    for y in order:
        row = bytearray()
        for x in range(w):
            r, g, b, _ = rgba[(y * w + x) * 4:(y * w + x) * 4 + 4]
            row += bytes([b, g, r])
        pixels += row + b"\0" * (stride - len(row))
    header = struct.pack("<IiiHHIIiiII", 40, w, -h if top_down else h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + 40 + len(pixels), 0, 0, 54) + header + pixels)


def write_bmp_packed(path, w, h, rgba, bits):
    """A 16-bit 5-6-5 BMP (BI_BITFIELDS, masks after the header) or a 4-bit
    palette BMP (16 grey levels), rows bottom-up."""
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b, _ = rgba[(y * w + x) * 4:(y * w + x) * 4 + 4]
            if bits == 16:
                row += struct.pack("<H", (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
            elif x % 2 == 0:
                row.append((r >> 4) << 4)
            else:
                row[-1] |= r >> 4
        rows.append(bytes(row) + b"\0" * ((-len(row)) % 4))
    pixels = b"".join(rows)
    extra = struct.pack("<III", 0xF800, 0x07E0, 0x001F) if bits == 16 else b"".join(
        bytes([i * 17, i * 17, i * 17, 0]) for i in range(16))
    offset = 14 + 40 + len(extra)
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 3 if bits == 16 else 0, len(pixels), 2835, 2835,
                         0 if bits == 16 else 16, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + extra + pixels)


def write_assoc_tiff(path, w, h, rgba):
    """An uncompressed RGBA TIFF with associated (premultiplied) alpha."""
    data = bytearray()
    for i in range(0, len(rgba), 4):
        a = rgba[i + 3]
        data += bytes([(c * a + 127) // 255 for c in rgba[i:i + 3]]) + bytes([a])
    tags = [(256, 3, 1, w), (257, 3, 1, h), (258, 3, 4, None), (259, 3, 1, 1), (262, 3, 1, 2),
            (273, 4, 1, None), (277, 3, 1, 4), (278, 3, 1, h), (279, 4, 1, len(data)), (284, 3, 1, 1),
            (338, 3, 1, 1)]
    ifd_at = 8
    extra_at = ifd_at + 2 + 12 * len(tags) + 4
    pixels_at = extra_at + 8
    ifd = struct.pack("<H", len(tags))
    for tag, kind, count, value in tags:
        if tag == 258:
            ifd += struct.pack("<HHII", tag, kind, count, extra_at)
        elif tag == 273:
            ifd += struct.pack("<HHII", tag, kind, count, pixels_at)
        elif kind == 3:
            ifd += struct.pack("<HHIHH", tag, kind, count, value, 0)
        else:
            ifd += struct.pack("<HHII", tag, kind, count, value)
    ifd += struct.pack("<I", 0)
    with open(path, "wb") as f:
        f.write(b"II*\0" + struct.pack("<I", ifd_at) + ifd + struct.pack("<HHHH", 8, 8, 8, 8) + data)


def rgba_of(path):
    """Pillow's reading of a file as RGBA bytes."""
    with Image.open(path) as im:
        im.load()
        if im.mode == "RGBa":
            im = im.convert("RGBA")
        return im.convert("RGBA").tobytes(), im.size


def run_zem(script, cwd):
    with open(os.path.join(cwd, "run.zem"), "w") as f:
        f.write("Zem []\n" + script)
    r = subprocess.run([ZEM, "run.zem"], cwd=cwd, capture_output=True, text=True, timeout=120)
    if r.returncode != 0:
        failures.append(f"zem failed: {r.stdout}{r.stderr}")
    return r.stdout


def bgra_to_rgba(raw):
    out = bytearray(len(raw))
    out[0::4], out[1::4], out[2::4], out[3::4] = raw[2::4], raw[1::4], raw[0::4], raw[3::4]
    return bytes(out)


def compare(name, got, want, tolerance=0, colour_only_where_opaque=False):
    if len(got) != len(want):
        failures.append(f"{name}: {len(got)} bytes, expected {len(want)}")
        return
    worst = 0
    for i in range(0, len(want), 4):
        g, w = got[i:i + 4], want[i:i + 4]
        if colour_only_where_opaque and w[3] == 0 and g[3] == 0:
            continue
        worst = max(worst, max(abs(a - b) for a, b in zip(g, w)))
    if worst > tolerance:
        failures.append(f"{name}: differs by up to {worst} (tolerance {tolerance})")


def main():
    with tempfile.TemporaryDirectory() as d:
        p = lambda n: os.path.join(d, n)
        rgba = pattern()
        opaque = pattern(alpha=False)
        src = Image.frombytes("RGBA", (W, H), rgba)
        src_rgb = Image.frombytes("RGBA", (W, H), opaque).convert("RGB")

        # ---- Files for zem to read ----
        exact = {}  # file -> (tolerance, compare colour only where visible)
        src.save(p("rgba.png")); exact["rgba.png"] = (0, False)
        src_rgb.save(p("rgb.png")); exact["rgb.png"] = (0, False)
        src.convert("LA").save(p("la.png")); exact["la.png"] = (0, False)
        pal = src_rgb.quantize(64)
        pal.info["transparency"] = 3
        pal.save(p("palette.png"), transparency=3); exact["palette.png"] = (0, True)
        rows16 = []
        for y in range(H):
            row = bytearray()
            for x in range(W):
                r, g, b, a = rgba[(y * W + x) * 4:(y * W + x) * 4 + 4]
                row += struct.pack(">HHHH", r * 257, g * 257, b * 257, a * 257)
            rows16.append(bytes(row))
        write_png(p("rgba16.png"), W, H, rows16, 6, 16, False); exact["rgba16.png"] = (0, False)
        rows8 = [rgba[y * W * 4:(y + 1) * W * 4] for y in range(H)]
        write_png(p("interlaced.png"), W, H, rows8, 6, 8, True); exact["interlaced.png"] = (0, False)
        src_rgb.save(p("rgb.bmp")); exact["rgb.bmp"] = (0, False)
        pal.save(p("palette8.bmp")); exact["palette8.bmp"] = (0, False)
        src_rgb.convert("1").save(p("mono.bmp")); exact["mono.bmp"] = (0, False)
        write_bmp(p("topdown.bmp"), W, H, opaque, True); exact["topdown.bmp"] = (0, False)
        write_bmp_packed(p("rgb565.bmp"), W, H, opaque, 16); exact["rgb565.bmp"] = (1, False)
        write_bmp_packed(p("grey4.bmp"), W, H, opaque, 4); exact["grey4.bmp"] = (0, False)
        src.save(p("rgba.tif")); exact["rgba.tif"] = (0, False)
        src.save(p("lzw.tif"), compression="tiff_lzw"); exact["lzw.tif"] = (0, False)
        src_rgb.save(p("rgb.tif")); exact["rgb.tif"] = (0, False)
        write_assoc_tiff(p("assoc.tif"), W, H, rgba); exact["assoc.tif"] = (1, True)
        src_rgb.save(p("rgb.jpg"), quality=92); exact["rgb.jpg"] = (3, False)
        src_rgb.save(p("progressive.jpg"), quality=92, progressive=True); exact["progressive.jpg"] = (3, False)
        src_rgb.convert("L").save(p("gray.jpg")); exact["gray.jpg"] = (3, False)
        src_rgb.convert("CMYK").save(p("cmyk.jpg"), quality=95); exact["cmyk.jpg"] = (4, False)
        gif = src_rgb.quantize(32)
        gif.save(p("trans.gif"), transparency=5); exact["trans.gif"] = (0, True)
        gif.save(p("plain87.gif")); exact["plain87.gif"] = (0, False)
        with open(p("plain87.gif"), "rb") as f:
            if f.read(6) != b"GIF87a":
                failures.append("Pillow wrote no GIF87a file for the 87a case")

        script = "".join(f'img: load %{n} write %{n}.raw img/argb\n' for n in exact)
        run_zem(script, d)
        for n, (tol, visible) in exact.items():
            want, _ = rgba_of(p(n))
            try:
                with open(p(n + ".raw"), "rb") as f:
                    got = bgra_to_rgba(f.read())
            except OSError:
                failures.append(f"{n}: zem wrote nothing")
                continue
            compare("zem reads " + n, got, want, tol, visible)

        # ---- Files zem writes for Pillow to read ----
        with open(p("pattern.rgb"), "wb") as f:
            f.write(b"".join(rgba[i:i + 3] for i in range(0, len(rgba), 4)))
        with open(p("pattern.alpha"), "wb") as f:
            f.write(bytes(255 - rgba[i + 3] for i in range(0, len(rgba), 4)))
        run_zem(f"img: make image! reduce [{W}x{H} read/binary %pattern.rgb read/binary %pattern.alpha]\n"
                "foreach f [%out.png %out.bmp %out.tif %out.gif %out.jpg] [save f img]\n"
                "save %opaque.png make image! reduce [" + f"{W}x{H}" + " read/binary %pattern.rgb]\n", d)
        for n in ["out.png", "out.bmp", "out.tif"]:
            got, size = rgba_of(p(n))
            if size != (W, H):
                failures.append(f"Pillow reads {n}: size {size}")
            compare("Pillow reads " + n, got, rgba)
        got, _ = rgba_of(p("opaque.png"))
        compare("Pillow reads opaque.png", got, bytes(b for i in range(0, len(rgba), 4) for b in rgba[i:i + 3] + b"\xff"))
        # JPEG drops alpha; the picture is what Pillow's own encoding at the
        # same quality gives, nearly.
        got, _ = rgba_of(p("out.jpg"))
        src_rgb.save(p("pillow90.jpg"), quality=90)
        want, _ = rgba_of(p("pillow90.jpg"))
        compare("Pillow reads out.jpg", got, want, tolerance=6)
        # GIF: alpha below 128 is the transparent index; colours come from a
        # palette of at most 256 (this picture has more).
        with Image.open(p("out.gif")) as im:
            if im.format != "GIF" or im.size != (W, H):
                failures.append(f"out.gif: {im.format} {im.size}")
            got = im.convert("RGBA").tobytes()
        want = bytearray()
        for i in range(0, len(rgba), 4):
            want += rgba[i:i + 3] + (b"\xff" if rgba[i + 3] >= 128 else b"\0")
        compare("Pillow reads out.gif", got, bytes(want), tolerance=48, colour_only_where_opaque=True)
        alpha_ok = all((got[i + 3] == 255) == (want[i + 3] == 255) for i in range(0, len(want), 4))
        if not alpha_ok:
            failures.append("out.gif: transparency does not follow alpha < 128")

    for f in failures:
        print(f)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
