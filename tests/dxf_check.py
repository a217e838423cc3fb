#!/usr/bin/python3
"""The DXF output read by another program: Debian's ezdxf.

  dxf_check.py audit   CONVERT CASES WORK [DRAWING.jww|FOLDER...]
  dxf_check.py picture CONVERT WORK [DRAWING.jww|FOLDER...]

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

Exit status 77 (skipped) when ezdxf, matplotlib or rsvg-convert is missing.
"""
import json
import os
import re
import shutil
import subprocess
import sys

SKIP = 77


def need(module):
    try:
        return __import__(module)
    except ImportError:
        print(f"skipped: the Python module {module} is missing (Debian: python3-{module})")
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


def near_shares(a, b):
    """The share of a's ink within NEAR_PIXELS of b's, and of b's near a's."""
    ia, ib = ink(a), ink(b)
    share_a = (ia & dilate(ib, NEAR_PIXELS)).sum() / max(ia.sum(), 1)
    share_b = (ib & dilate(ia, NEAR_PIXELS)).sum() / max(ib.sum(), 1)
    return share_a, share_b, ia.sum(), ib.sum()


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
        jww, svg, dxf = base + ".jww", base + ".svg", base + ".dxf"
        run([convert, drawing, jww])
        run([convert, "--svg", "--print", jww, svg])
        run([convert, "--paper", drawing, dxf])
        text = open(svg, encoding="utf-8").read()
        text = re.sub(r'<use class="text image[^>]*/>', "", text)
        box = [float(v) for v in re.search(r'viewBox="([^"]+)"', text).group(1).split()]
        results = []
        for texts, suffix, need_share in ((False, ".shapes", SHARE_SHAPES), (True, "", SHARE_ALL)):
            shown = text if texts else re.sub(r"<text[^>]*>[^<]*</text>", "", text)
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


def main():
    if len(sys.argv) >= 5 and sys.argv[1] == "audit":
        return audit(sys.argv[2], sys.argv[3], sys.argv[4], drawings_of(sys.argv[5:]))
    if len(sys.argv) >= 4 and sys.argv[1] == "picture":
        return picture(sys.argv[2], sys.argv[3], drawings_of(sys.argv[4:]))
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
