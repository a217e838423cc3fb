#!/usr/bin/python3
"""The DXF output read by other programs: Debian's ezdxf, and LibreCAD.

  dxf_check.py audit   CONVERT CASES WORK [DRAWING.jww|FOLDER...]
  dxf_check.py picture CONVERT WORK [DRAWING.jww|FOLDER...]
  dxf_check.py librecad CONVERT WORK [DRAWING.jww|FOLDER...]

audit: converts each drawing (and the generated cases of every format
version that CASES writes) to DXF at real size and as the sheet, and checks
that ezdxf's recover mode reads each file with no error and no fix, and that
model space holds as many entities of each kind as the converted drawing
(quorvex-convert --info of its JWW output).

picture: draws the DXF of each drawing (as the sheet) with ezdxf's own
Matplotlib backend and the same drawing with quorvex-convert --svg --print
(rsvg-convert to PNG), both over the same part of the sheet, and checks that
nearly all the ink of each lies within a few pixels of the other's. The
PNGs stay in WORK to be looked at.

librecad: has LibreCAD, a CAD program of its own, print the DXF of each
drawing (as the sheet) to PDF without a window, and compares its picture
of the shapes with --svg --print's, each cut to its ink and brought to the
same size. The PNGs stay in WORK to be looked at.

Exit status 77 (skipped) when ezdxf, matplotlib or rsvg-convert (for
librecad: numpy, Pillow, librecad, pdftoppm or rsvg-convert) is missing.
"""
import json
import os
import re
import shutil
import signal
import subprocess
import sys

SKIP = 77


def need(module, package=None):
    try:
        return __import__(module)
    except ImportError:
        print(f"skipped: the Python module {module} is missing (Debian: {package or 'python3-' + module})")
        sys.exit(SKIP)


def drawings_of(paths):
    """The drawings named, and those of the folders named; a folder that is
    not there (the real drawings beside the project) is said and passed."""
    out = []
    for p in paths:
        if os.path.isdir(p):
            out += sorted(os.path.join(p, f) for f in os.listdir(p) if f.lower().endswith(".jww"))
        elif p.lower().endswith(".jww") and os.path.exists(p):
            out.append(p)
        else:
            print(f"note: {p} is absent; its drawings are not checked")
    return out


def run(args):
    r = subprocess.run(args, capture_output=True, text=True)
    if r.returncode != 0:
        raise SystemExit(f"{' '.join(args)}: exit {r.returncode}: {r.stderr.strip()}")
    return r.stdout


# What a conversion's line says the DXF could not carry, by the kind of
# entity of the drawing's list it is missing from.
LOSSES = {
    "texts": [r"(\d+) images?\b", r"(\d+) texts? of no height"],
    "blockInsertions": [r"(\d+) insertions? of no block definition"],
}


def not_carried(line, key):
    return sum(int(m) for p in LOSSES.get(key, []) for m in re.findall(p, line))


def audit(convert, cases, work, drawings):
    ezdxf = need("ezdxf")
    from ezdxf import recover
    os.makedirs(work, exist_ok=True)
    run([cases, work])
    drawings = list(drawings) + sorted(
        os.path.join(work, f) for f in os.listdir(work) if f.startswith("case-") and f.endswith(".jww"))
    failed = 0
    print(f"ezdxf {ezdxf.__version__}")
    for drawing in drawings:
        name = os.path.splitext(os.path.basename(drawing))[0]
        jww = os.path.join(work, name + ".converted.jww")
        run([convert, drawing, jww])
        info = json.loads(run([convert, "--info", jww]))
        for mode in ("real", "sheet"):
            dxf = os.path.join(work, f"{name}.{mode}.dxf")
            line = run([convert] + (["--paper"] if mode == "sheet" else []) + [drawing, dxf])
            doc, auditor = recover.readfile(dxf)
            problems = [f"error {e.code}: {e.message}" for e in auditor.errors]
            problems += [f"fix {e.code}: {e.message}" for e in auditor.fixes]
            kinds = {}
            for e in doc.modelspace():
                kinds[e.dxftype()] = kinds.get(e.dxftype(), 0) + 1
            k = lambda *names: sum(kinds.get(n, 0) for n in names)
            outlines = sum(int(m) for m in re.findall(r"the shapes? of (\d+) round solids?", line))
            want = {
                "lines": (k("LINE"), info["lines"]),
                "arcs": (k("CIRCLE", "ARC", "ELLIPSE") - outlines, info["arcs"]),
                "points": (k("POINT"), info["points"]),
                "texts": (k("TEXT", "IMAGE"), info["texts"] - not_carried(line, "texts")),
                "dimensions": (k("DIMENSION"), info["dimensions"]),
                "solids": (k("SOLID", "HATCH") + outlines, info["solids"]),
                "blockInsertions": (k("INSERT"), info["blockInsertions"] - not_carried(line, "blockInsertions")),
            }
            for kind, (got, expected) in want.items():
                if got != expected:
                    problems.append(f"{kind}: {got} in model space, {expected} in the drawing")
            status = "ok" if not problems else "FAILED"
            print(f"{status:6}  {name} {mode}: {len(auditor.errors)} errors, {len(auditor.fixes)} fixes, "
                  f"{sum(kinds.values())} entities {dict(sorted(kinds.items()))}")
            for p in problems:
                print(f"          {p}")
            failed += bool(problems)
    print(f"{failed} failed")
    return 1 if failed else 0


# How near the ink of one picture must lie to the other's, in pixels of a
# picture 1200 pixels wide, and how much of it must: see picture().
NEAR_PIXELS = 3
SHARE_SHAPES = 0.99
SHARE_ALL = 0.85


def ink(rgb):
    """Pixels that are not paper: anything but white in any channel (the
    SVG's thin lines are faint)."""
    return (rgb[:, :, :3] < 0.97).any(axis=2)


def dilate(mask, r):
    out = mask.copy()
    h, w = mask.shape
    for dy in range(-r, r + 1):
        for dx in range(-r, r + 1):
            src = mask[max(0, -dy):h - max(0, dy), max(0, -dx):w - max(0, dx)]
            out[max(0, dy):h - max(0, -dy), max(0, dx):w - max(0, -dx)] |= src
    return out


def near_shares(a, b, near=NEAR_PIXELS):
    """The share of a's ink within `near` pixels of b's, and of b's near a's."""
    ia, ib = ink(a), ink(b)
    share_a = (ia & dilate(ib, near)).sum() / max(ia.sum(), 1)
    share_b = (ib & dilate(ia, near)).sum() / max(ib.sum(), 1)
    return share_a, share_b, ia.sum(), ib.sum()


def printed_svg(convert, drawing, base):
    """The drawing as the conversion makes it (BASE.jww) drawn by
    --svg --print (BASE.svg), as text, without its images, which ezdxf
    does not draw and LibreCAD draws in colours of its own."""
    jww, svg = base + ".jww", base + ".svg"
    run([convert, drawing, jww])
    run([convert, "--svg", "--print", jww, svg])
    return re.sub(r'<use class="text image[^>]*/>', "", open(svg, encoding="utf-8").read())


def svg_without_texts(text):
    return re.sub(r"<text[^>]*>[^<]*</text>", "", text)


def picture(convert, work, drawings):
    """Compares the two pictures twice: the shapes alone (texts left out of
    both), whose ink must lie within NEAR_PIXELS of the other's nearly
    whole (SHARE_SHAPES: what is left is antialiasing at the ends of
    dashes and the points, which the two draw in different sizes); and
    everything, texts included (SHARE_ALL: a DXF text cannot hold the
    drawing's character spacing, which the conversion's line counts, so a
    spaced text is shorter there, and the two draw glyphs with fonts of
    their own sizes). ezdxf draws no IMAGE entity: the images are left out
    of the SVG. Lines are drawn as thin as each backend draws them: the
    comparison is of where things are, not of pen widths."""
    need("ezdxf")
    matplotlib = need("matplotlib")
    need("numpy")
    if not shutil.which("rsvg-convert"):
        print("skipped: rsvg-convert is missing (Debian: librsvg2-bin)")
        return SKIP
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import matplotlib.image as mpimg
    from matplotlib import font_manager
    from ezdxf import recover
    from ezdxf.addons.drawing import RenderContext, Frontend
    from ezdxf.addons.drawing.matplotlib import MatplotlibBackend
    from ezdxf.addons.drawing.config import Configuration

    # The drawings' fonts are Windows fonts: both pictures draw their texts
    # in a Japanese gothic font where there is one.
    for family in ("IPAGothic", "Noto Sans CJK JP"):
        if any(f.name == family for f in font_manager.fontManager.ttflist):
            font_manager.fontManager.defaultFamily["ttf"] = family
            break

    class WithoutTexts(Frontend):
        def override_properties(self, entity, properties):
            if entity.dxftype() == "TEXT":
                properties.is_visible = False

    def draw_dxf(dxf, png, box, size, texts):
        doc, _ = recover.readfile(dxf)
        msp = doc.modelspace()
        fig = plt.figure(figsize=(size[0] / 100, size[1] / 100), dpi=100)
        ax = fig.add_axes([0, 0, 1, 1])
        ctx = RenderContext(doc)
        ctx.set_current_layout(msp)
        ctx.current_layout_properties.set_colors("#ffffff")
        config = Configuration.defaults().with_changes(lineweight_scaling=0)
        (Frontend if texts else WithoutTexts)(ctx, MatplotlibBackend(ax), config).draw_layout(msp, finalize=False)
        vx, vy, vw, vh = box
        ax.set_xlim(vx, vx + vw)
        ax.set_ylim(-(vy + vh), -vy)
        ax.set_aspect("auto")
        ax.axis("off")
        fig.savefig(png, dpi=100, facecolor="white")
        plt.close(fig)
        return mpimg.imread(png)

    def draw_svg(text, svg, png, width):
        open(svg, "w", encoding="utf-8").write(text)
        run(["rsvg-convert", "-w", str(width), svg, "-o", png])
        return mpimg.imread(png)

    os.makedirs(work, exist_ok=True)
    width = 1200
    failed = 0
    for drawing in drawings:
        name = os.path.splitext(os.path.basename(drawing))[0]
        base = os.path.join(work, name)
        dxf = base + ".dxf"
        text = printed_svg(convert, drawing, base)
        run([convert, "--paper", drawing, dxf])
        box = [float(v) for v in re.search(r'viewBox="([^"]+)"', text).group(1).split()]
        results = []
        for texts, suffix, need_share in ((False, ".shapes", SHARE_SHAPES), (True, "", SHARE_ALL)):
            shown = text if texts else svg_without_texts(text)
            a = draw_svg(shown, base + suffix + ".shown.svg", base + suffix + ".svg.png", width)
            b = draw_dxf(dxf, base + suffix + ".dxf.png", box, (width, a.shape[0]), texts)
            share_a, share_b, ink_a, ink_b = near_shares(a, b)
            ok = min(share_a, share_b) >= need_share
            failed += not ok
            results.append(f"{'shapes' if not texts else 'all'} {share_a:.4f} of the SVG's {ink_a} and "
                           f"{share_b:.4f} of ezdxf's {ink_b} ink pixels (>= {need_share}){'' if ok else ' FAILED'}")
        status = "ok" if "FAILED" not in " ".join(results) else "FAILED"
        print(f"{status:6}  {name}: " + "; ".join(results))
    print(f"{failed} failed (ink within {NEAR_PIXELS} pixels of the other picture's, 1200 pixels wide)")
    return 1 if failed else 0


# LibreCAD: a CAD program we did not write, reading the DXF as a user's
# program would and printing it. See librecad().
LIBRECAD_SECONDS = 60
LIBRECAD_PRINT_MM = 180
LIBRECAD_DPI = 300
NORMAL_PIXELS = 1200
SAME_ASPECT = 0.01
NEAR_LIBRECAD = 2
SHARE_LIBRECAD = 0.999


def dxf_pairs(text):
    """A DXF file's groups as (code, value) pairs of strings."""
    lines = text.split("\n")
    return [(lines[i].strip(), lines[i + 1]) for i in range(0, len(lines) - 1, 2)]


def dxf_shapes_only(pairs):
    """The DXF without its texts: TEXT and IMAGE entities left out of model
    space and the blocks, a DIMENSION's text a blank. Every other group is
    the writer's own, unchanged."""
    out, section, kind, skip = [], None, None, False
    for code, value in pairs:
        if code == "0":
            kind = value
            skip = section in ("ENTITIES", "BLOCKS") and value in ("TEXT", "MTEXT", "IMAGE")
        elif code == "2" and kind == "SECTION":
            section = value
        if skip:
            continue
        if kind == "DIMENSION" and code == "1":
            value = " "
        out.append(f"{code:>3}\n{value}\n")
    return "".join(out)


def dxf_extent(pairs):
    """The width and height of $EXTMIN..$EXTMAX in the header."""
    at = {}
    for i, (code, value) in enumerate(pairs):
        if code == "9" and value in ("$EXTMIN", "$EXTMAX"):
            at[value] = (float(pairs[i + 1][1]), float(pairs[i + 2][1]))
        if code == "0" and value == "ENDSEC":
            break
    (x0, y0), (x1, y1) = at["$EXTMIN"], at["$EXTMAX"]
    return x1 - x0, y1 - y0


def librecad_print(dxf, placing, env):
    """Has LibreCAD print the DXF to a PDF beside it, placed on its page as
    the options `placing` say: the PDF's path and None, or None and what
    went wrong. A file it cannot read leaves it waiting on an error dialog
    nobody sees: after LIBRECAD_SECONDS it is killed, and that is a
    failure."""
    folder = os.path.dirname(dxf)
    pdf = os.path.splitext(dxf)[0] + ".pdf"
    if os.path.exists(pdf):
        os.remove(pdf)
    p = subprocess.Popen(["librecad", "dxf2pdf"] + placing + ["-t", folder, dxf],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env,
                         start_new_session=True)
    try:
        said, _ = p.communicate(timeout=LIBRECAD_SECONDS)
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.communicate()
        return None, f"LibreCAD did not finish in {LIBRECAD_SECONDS} s (killed)"
    if p.returncode != 0:
        return None, f"LibreCAD exit {p.returncode}: {said.strip()[-400:]}"
    if not os.path.exists(pdf):
        return None, f"LibreCAD wrote no PDF: {said.strip()[-400:]}"
    return pdf, None


def read_png(png):
    from PIL import Image
    import numpy
    return numpy.asarray(Image.open(png).convert("RGB"), dtype=numpy.float32) / 255


def ink_box(picture):
    """The bounding box (x0, y0, x1, y1) of the picture's ink, or None."""
    import numpy
    mask = ink(picture)
    rows, cols = numpy.nonzero(mask.any(axis=1))[0], numpy.nonzero(mask.any(axis=0))[0]
    if not len(rows):
        return None
    return cols[0], rows[0], cols[-1] + 1, rows[-1] + 1


def cut_to_ink(picture, box, size):
    """The picture's ink box brought to `size` (width, height) pixels, with
    Pillow's triangle filter, which averages over each new pixel's whole
    area (its BOX filter lost a line one pixel thin here)."""
    from PIL import Image
    import numpy
    x0, y0, x1, y1 = box
    part = Image.fromarray((picture[y0:y1, x0:x1] * 255).round().astype(numpy.uint8))
    return numpy.asarray(part.resize(size, Image.BILINEAR), dtype=numpy.float32) / 255


def near_diagram(a, b, png):
    """A picture of where a and b differ: ink of both in grey, a's ink far
    from b's red, b's far from a's blue."""
    import numpy
    ia, ib = ink(a), ink(b)
    out = numpy.ones(a.shape, numpy.float32)
    out[ia | ib] = 0.8
    out[ia & ~dilate(ib, NEAR_LIBRECAD)] = (1, 0, 0)
    out[ib & ~dilate(ia, NEAR_LIBRECAD)] = (0, 0, 1)
    save_png(out, png)


def save_png(picture, png):
    from PIL import Image
    Image.fromarray((picture * 255).round().astype("uint8")).save(png)


def box_size(box):
    return box[2] - box[0], box[3] - box[1]


def compare_shapes(base, theirs, problems):
    """LibreCAD's picture of the shapes against ours (BASE.shapes.svg), each
    cut to its ink: what was measured, and what is wrong in `problems`."""
    # Ours as large as theirs: the sheet drawn again so that its ink box is
    # as long as LibreCAD's (within the size rsvg-convert draws readily).
    sheet = base + ".shapes.sheet.png"
    run(["rsvg-convert", "-w", str(NORMAL_PIXELS), base + ".shapes.svg", "-o", sheet])
    ours = read_png(sheet)
    box_ours, box_theirs = ink_box(ours), ink_box(theirs)
    if not box_ours or not box_theirs:
        if box_ours or box_theirs:
            problems.append(f"only {'our' if box_ours else 'LibreCAD'}'s picture has ink")
        return "no ink"
    width = NORMAL_PIXELS * max(box_size(box_theirs)) / max(box_size(box_ours))
    run(["rsvg-convert", "-w", str(min(16000, round(width))), base + ".shapes.svg", "-o", sheet])
    ours = read_png(sheet)
    box_ours = ink_box(ours)
    (w_ours, h_ours), (w_theirs, h_theirs) = box_size(box_ours), box_size(box_theirs)
    aspect = (w_theirs / h_theirs) / (w_ours / h_ours) - 1
    if abs(aspect) > SAME_ASPECT:
        problems.append(f"the ink's width over height: ours {w_ours / h_ours:.4f}, "
                        f"LibreCAD's {w_theirs / h_theirs:.4f}")
    long = max(w_ours, h_ours)
    size = (max(1, round(NORMAL_PIXELS * w_ours / long)), max(1, round(NORMAL_PIXELS * h_ours / long)))
    a, b = cut_to_ink(ours, box_ours, size), cut_to_ink(theirs, box_theirs, size)
    save_png(a, base + ".shapes.svg.png")
    save_png(b, base + ".shapes.librecad.png")
    near_diagram(a, b, base + ".shapes.diff.png")
    share_a, share_b, ink_a, ink_b = near_shares(a, b, NEAR_LIBRECAD)
    if min(share_a, share_b) < SHARE_LIBRECAD:
        problems.append(f"less than {SHARE_LIBRECAD} of the ink near the other picture's")
    return (f"aspect {aspect:+.4f}; {share_a:.4f} of the SVG's {ink_a} and "
            f"{share_b:.4f} of LibreCAD's {ink_b} ink pixels")


def librecad(convert, work, drawings):
    """LibreCAD prints the DXF of each drawing as the sheet (--paper), once
    as written (it must answer, exit 0 and write a PDF; its picture
    NAME.librecad.png stays beside ours, NAME.svg.png, to be looked at) and
    once without texts: LibreCAD's fonts have no Japanese glyphs and it
    draws placeholders, so its texts are not compared; the shapes are. Its
    picture of the shapes (pdftoppm) is set against --svg --print's without
    texts (rsvg-convert), both without images (LibreCAD draws them in
    colours of its own), each cut to the bounding box of its ink:
      - the two boxes' width over height agree within SAME_ASPECT (1%);
      - brought to the same size, NORMAL_PIXELS on the longer side, at
        least SHARE_LIBRECAD (0.999) of each picture's ink lies within
        NEAR_LIBRECAD (2) pixels of the other's.
    Measured here (the figures are in the README): the aspects agree
    within 0.34% (plan-test5, whose ink box is 5.9 times as wide as high:
    one pixel of its height), and the shares are 1 but for two drawings:
    8 of 22747 pixels of plan-test3's picture are two points, which
    LibreCAD prints as dots of one pixel of the printer; 2 of 36832 of
    LibreCAD's plan-test6 are a piece of a dotted line, which it draws
    solid, as all the drawing's dashed line types (it knows line types by
    names of its own, not by their dashes): elsewhere the gaps are
    narrower than 2 pixels. A line's own width is no more than that
    either. What the check is for moves more: a hidden layer shown
    (LibreCAD hid none while they were only off), a kind of entity at a
    wrong size (circles 5% too large: shares from 0.47), dimensions drawn
    with the default arrowheads and extension lines (0.998). NAME.shapes.diff.png shows where the two
    differ: ours far from LibreCAD's in red, LibreCAD's far from ours in
    blue.

    LibreCAD's own fit to the page (-a) puts the drawing's outermost lines
    on the edge of the printable area, where it cuts them off; so the
    drawing is centred (-c) at a scale (-s) that makes the extents the DXF
    states ($EXTMIN, $EXTMAX) LIBRECAD_PRINT_MM long, inside its page."""
    need("numpy")
    need("PIL", "python3-pil")
    missing = [p for p in ("librecad", "pdftoppm", "rsvg-convert") if not shutil.which(p)]
    if missing:
        print(f"skipped: {', '.join(missing)} missing (Debian: librecad, poppler-utils, librsvg2-bin)")
        return SKIP
    os.makedirs(work, exist_ok=True)
    # LibreCAD without a display, with settings of its own: a user's print
    # settings (paper, margins) change its pages, and its own must not land
    # in the user's home.
    home, runtime = os.path.join(work, "librecad-home"), os.path.join(work, "librecad-runtime")
    shutil.rmtree(home, ignore_errors=True)
    os.makedirs(home)
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    os.chmod(runtime, 0o700)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
               XDG_DATA_HOME=os.path.join(home, "data"), XDG_CACHE_HOME=os.path.join(home, "cache"),
               XDG_RUNTIME_DIR=runtime)
    failed = 0
    for drawing in drawings:
        name = os.path.splitext(os.path.basename(drawing))[0]
        base = os.path.join(work, name)
        dxf, shapes_dxf = base + ".dxf", base + ".shapes.dxf"
        problems, figures = [], ""
        run([convert, "--paper", drawing, dxf])
        pairs = dxf_pairs(open(dxf, encoding="utf-8").read())
        open(shapes_dxf, "w", encoding="utf-8").write(dxf_shapes_only(pairs))
        width, height = dxf_extent(pairs)
        scale = LIBRECAD_PRINT_MM / max(width, height, 1e-9)
        text = printed_svg(convert, drawing, base)
        open(base + ".shapes.svg", "w", encoding="utf-8").write(svg_without_texts(text))
        run(["rsvg-convert", "-w", str(NORMAL_PIXELS), base + ".svg", "-o", base + ".svg.png"])

        # The file as written, fitted to the page as LibreCAD fits it: the
        # whole of it, texts and the notes some drawings keep far below the
        # sheet included. It must show something.
        pdf, problem = librecad_print(dxf, ["-a"], env)
        if problem:
            problems.append(f"the DXF: {problem}")
        else:
            run(["pdftoppm", "-r", "100", "-png", "-singlefile", pdf, base + ".librecad"])
            if not ink_box(read_png(base + ".librecad.png")):
                problems.append("LibreCAD printed the DXF as an empty page")
        pdf, problem = librecad_print(shapes_dxf, ["-c", "-s", f"{scale:.6g}"], env)
        if problem:
            problems.append(f"the DXF without texts: {problem}")
        else:
            run(["pdftoppm", "-r", str(LIBRECAD_DPI), "-png", "-singlefile", pdf, base + ".shapes.page"])
            figures = compare_shapes(base, read_png(base + ".shapes.page.png"), problems)
        status = "ok" if not problems else "FAILED"
        print(f"{status:6}  {name}: {figures}")
        for p in problems:
            print(f"          {p}")
        failed += bool(problems)
    print(f"{failed} failed (shapes' ink within {NEAR_LIBRECAD} pixels of the other picture's, "
          f"{NORMAL_PIXELS} pixels on the longer side, >= {SHARE_LIBRECAD}; aspects within {SAME_ASPECT:.0%})")
    return 1 if failed else 0


def main():
    if len(sys.argv) >= 5 and sys.argv[1] == "audit":
        return audit(sys.argv[2], sys.argv[3], sys.argv[4], drawings_of(sys.argv[5:]))
    if len(sys.argv) >= 4 and sys.argv[1] == "picture":
        return picture(sys.argv[2], sys.argv[3], drawings_of(sys.argv[4:]))
    if len(sys.argv) >= 4 and sys.argv[1] == "librecad":
        return librecad(sys.argv[2], sys.argv[3], drawings_of(sys.argv[4:]))
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
