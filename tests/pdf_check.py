#!/usr/bin/python3
"""The PDF output read by programs we did not write: poppler, qpdf, CUPS.

  pdf_check.py poppler CONVERT WORK [DRAWING.jww|FOLDER...]
  pdf_check.py picture CONVERT WORK [DRAWING.jww|FOLDER...]
  pdf_check.py cups    CONVERT WORK [DRAWING.jww|FOLDER...]

poppler: writes each drawing as PDF and checks with poppler's pdfinfo that
it has one page of the drawing's sheet (within 1 pt; the size the run's
line names for a page fitted to the ink), with pdffonts that every font is
embedded, with pdftotext that every text the drawing shows (as --svg
--print draws them, hidden ones left out) is there as text, its characters
in order, and with qpdf --check that the file has no syntax or stream
error. In plan-test1, "敷地線を複線で" must come out of pdftotext whole.

picture: draws the PDF with pdftoppm and the drawing with --svg --print
(rsvg-convert) at the same pixels per millimetre (PIXELS_PER_MM), the SVG
placed where its viewBox lies on the page; at least SHARE of the SVG's ink
on the page must lie within NEAR pixels of the PDF's, and of the PDF's
within NEAR of the SVG's (which also proves the page 1:1 and centred).
Carried images are left out of the shares (rsvg-convert smooths an image
it enlarges, pdftoppm draws its pixels as they are), but each must show
ink in the PDF. The PDF written with --mono must have the same ink, and
none of it in colour (images aside). The
PNGs stay in WORK to be looked at, with NAME.diff.png showing where they
differ.

cups: starts a CUPS scheduler of its own (a private configuration in WORK,
as root) with a cups-pdf printer, prints each PDF with lp on paper of its
page's size, and checks that the printed PDF has the same page size
(within 1 pt) and its ink lies on ours (pdftoppm of both). The scheduler
is stopped at the end.

Exit status 77 (skipped) when a program or module it needs is missing
(poppler-utils, qpdf, librsvg2-bin, python3-numpy, python3-pil, cups,
printer-driver-cups-pdf), or, for cups, when not run as root.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

SKIP = 77
POINTS_PER_MM = 72 / 25.4
# The CAD program's sheets, landscape, in millimetres: what each page must be.
SHEETS = {"A0": (1189, 841), "A1": (841, 594), "A2": (594, 420), "A3": (420, 297), "A4": (297, 210),
          "2A": (1682, 1189), "3A": (2378, 1682), "4A": (3364, 2378), "5A": (4756, 3364)}
PIXELS_PER_MM = 4
NEAR = 2
SHARE = 0.99
# The page's ink within NEAR pixels of the printed page's, and the other
# way round.
CUPS_PIXELS_PER_MM = 2
CUPS_SHARE = 0.99
SVG = "{http://www.w3.org/2000/svg}"
XLINK = "{http://www.w3.org/1999/xlink}"


def need_programs(*names):
    for n in names:
        if not shutil.which(n):
            print(f"skipped: {n} is missing (scripts/test.sh installs it)")
            sys.exit(SKIP)


def need_module(module, package):
    try:
        return __import__(module)
    except ImportError:
        print(f"skipped: the Python module {module} is missing (Debian: {package})")
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


def run(args, **kw):
    r = subprocess.run(args, capture_output=True, text=True, **kw)
    if r.returncode != 0:
        raise SystemExit(f"{' '.join(args)}: exit {r.returncode}: {r.stderr.strip()}")
    return r.stdout


def make_pdf(convert, drawing, pdf):
    """Writes the PDF; the page its line names: (width, height) in mm, the
    sheet's name (None for a page fitted to the ink)."""
    line = run([convert, drawing, pdf])
    m = re.search(r": on its (\S+) sheet, ([\d.]+) x ([\d.]+) mm$", line.strip())
    if m:
        return (float(m.group(2)), float(m.group(3))), m.group(1), line
    m = re.search(r": sheet -?\d+ is of no known size: on a page of ([\d.]+) x ([\d.]+) mm fitted to its ink$",
                  line.strip())
    if not m:
        raise SystemExit(f"{drawing}: a line that names no page: {line!r}")
    return (float(m.group(1)), float(m.group(2))), None, line


def page_points(pdf):
    info = run(["pdfinfo", pdf])
    pages = int(re.search(r"^Pages:\s+(\d+)", info, re.M).group(1))
    m = re.search(r"^Page size:\s+([\d.]+) x ([\d.]+) pts", info, re.M)
    return pages, (float(m.group(1)), float(m.group(2)))


def shown_texts(svg):
    """The texts an SVG of ours shows: those of the drawing and of the block
    definitions it places, hidden ones (and what hidden placements place)
    left out; each with its place on the paper when it is the drawing's own
    (None inside a definition)."""
    root = ET.parse(svg).getroot()
    groups = {g.get("id"): g for g in root.iter(SVG + "g") if g.get("class") == "blockdef"}
    drawing = [g for g in root.findall(SVG + "g") if g.get("transform") == "matrix(1 0 0 -1 0 0)"][0]
    texts, reached, todo = [], set(), [(drawing, True)]
    while todo:
        top, own = todo.pop()
        stack = [top]
        while stack:
            e = stack.pop()
            if "hidden" in (e.get("class") or "").split():
                continue
            if e.tag == SVG + "text":
                place = None
                m = re.match(r"matrix\(([-\d.e ]+)\)", e.get("transform") or "")
                if own and m:
                    v = [float(x) for x in m.group(1).split()]
                    place = (v[4], v[5])
                texts.append(("".join(e.itertext()), place))
            elif e.tag == SVG + "use":
                ref = (e.get(XLINK + "href") or "")[1:]
                if ref in groups and ref not in reached:
                    reached.add(ref)
                    todo.append((groups[ref], False))
            stack.extend(reversed(list(e)))
    return texts


def squeezed(text):
    return "".join(text.split())


def poppler(convert, work, drawings):
    need_programs("pdfinfo", "pdffonts", "pdftotext", "qpdf")
    failed = 0
    for drawing in drawings:
        name = os.path.splitext(os.path.basename(drawing))[0]
        base = os.path.join(work, name)
        problems = []
        size, sheet, _ = make_pdf(convert, drawing, base + ".pdf")
        run([convert, "--svg", "--print", drawing, base + ".svg"])
        pages, points = page_points(base + ".pdf")
        if pages != 1:
            problems.append(f"{pages} pages")
        want = SHEETS[sheet] if sheet else size
        if sheet and tuple(size) != tuple(float(v) for v in want):
            problems.append(f"the line names {size[0]} x {size[1]} mm for sheet {sheet}")
        wx, wy = want[0] * POINTS_PER_MM, want[1] * POINTS_PER_MM
        if abs(points[0] - wx) > 1 or abs(points[1] - wy) > 1:
            problems.append(f"page {points[0]} x {points[1]} pts, not {wx:.2f} x {wy:.2f}")
        fonts = run(["pdffonts", base + ".pdf"]).splitlines()[2:]
        # The columns from the right: object ID (2), uni, sub, emb.
        unembedded = [f for f in fonts if f.split()[-5] != "yes"]
        if unembedded:
            problems.append(f"fonts not embedded: {unembedded}")
        texts = shown_texts(base + ".svg")
        if texts and not fonts:
            problems.append("texts but no font")
        # Texts whose start lies off the page are cut off, as printed.
        half = (points[0] / POINTS_PER_MM / 2, points[1] / POINTS_PER_MM / 2)
        on_page = [t for t, p in texts if p is None or sheet is None or
                   (abs(p[0]) <= half[0] and abs(p[1]) <= half[1])]
        raw = squeezed(run(["pdftotext", "-raw", base + ".pdf", "-"]))
        missing = [t for t in on_page if squeezed(t) and squeezed(t) not in raw]
        if missing:
            problems.append(f"{len(missing)} of {len(on_page)} texts not found: {missing[:3]}")
        if name == "plan-test1" and "敷地線を複線で" not in run(["pdftotext", base + ".pdf", "-"]):
            problems.append("pdftotext does not give 敷地線を複線で whole")
        check = subprocess.run(["qpdf", "--check", base + ".pdf"], capture_output=True, text=True)
        if check.returncode != 0 or "No syntax or stream encoding errors" not in check.stdout:
            problems.append(f"qpdf --check: exit {check.returncode}: {check.stdout.strip()} {check.stderr.strip()}")
        said = (f"page {points[0]:g} x {points[1]:g} pts ({sheet or 'fitted'}), {len(fonts)} fonts embedded, "
                f"{len(on_page) - len(missing)}/{len(on_page)} texts found"
                + (f" ({len(texts) - len(on_page)} off the sheet)" if len(texts) != len(on_page) else ""))
        if problems:
            failed += 1
            print(f"FAILED  {name}: {said}: " + "; ".join(problems))
        else:
            print(f"ok      {name}: {said}; qpdf: no errors")
    print(f"{failed} failed")
    return 1 if failed else 0


def read_ink(png):
    """The ink of a PNG: pixels that are not paper (any channel below
    0.97 of white)."""
    from PIL import Image
    import numpy
    rgb = numpy.asarray(Image.open(png).convert("RGB"))
    return (rgb < 0.97 * 255).any(axis=2)


def dilate(mask, r):
    out = mask.copy()
    h, w = mask.shape
    for dy in range(-r, r + 1):
        for dx in range(-r, r + 1):
            src = mask[max(0, -dy):h - max(0, dy), max(0, -dx):w - max(0, dx)]
            out[max(0, dy):h - max(0, -dy), max(0, dx):w - max(0, -dx)] |= src
    return out


def near_shares(a, b, near):
    """The share of a's ink within `near` pixels of b's, and of b's near a's."""
    share_a = (a & dilate(b, near)).sum() / max(a.sum(), 1)
    share_b = (b & dilate(a, near)).sum() / max(b.sum(), 1)
    return share_a, share_b


def diff_png(a, b, near, png):
    """Where a and b differ: ink of both grey, a's far from b's red, b's far
    from a's blue."""
    from PIL import Image
    import numpy
    out = numpy.full(a.shape + (3,), 255, numpy.uint8)
    out[a | b] = (200, 200, 200)
    out[a & ~dilate(b, near)] = (255, 0, 0)
    out[b & ~dilate(a, near)] = (0, 0, 255)
    Image.fromarray(out).save(png)


def render_pdf(pdf, pixels_per_mm, png_base):
    run(["pdftoppm", "-r", str(25.4 * pixels_per_mm), "-png", "-singlefile", pdf, png_base])
    return png_base + ".png"


def picture(convert, work, drawings):
    need_programs("pdftoppm", "rsvg-convert")
    need_module("numpy", "python3-numpy")
    need_module("PIL", "python3-pil")
    import numpy
    failed = 0
    k = PIXELS_PER_MM
    for drawing in drawings:
        name = os.path.splitext(os.path.basename(drawing))[0]
        base = os.path.join(work, name)
        size, sheet, _ = make_pdf(convert, drawing, base + ".pdf")
        _, points = page_points(base + ".pdf")
        pdf = read_ink(render_pdf(base + ".pdf", k, base + ".pdf"))
        # Ours, without the temporary points a print leaves out.
        run([convert, "--svg", "--print", drawing, base + ".svg"])
        svg = open(base + ".svg", encoding="utf-8").read()
        svg = re.sub(r"<(circle|path|ellipse|line|g)[^>]*class=\"[^\"]*\btemporary\b[^>]*/>", "", svg)
        open(base + ".printed.svg", "w", encoding="utf-8").write(svg)
        vx, vy, vw, vh = (float(v) for v in re.search(r'viewBox="([^"]+)"', svg).group(1).split())
        width = max(1, round(vw * k))
        run(["rsvg-convert", "-w", str(width), "-b", "white", base + ".printed.svg", "-o", base + ".svg.png"])
        ours = read_ink(base + ".svg.png")
        # Where the SVG's top left corner lies on the page: the page's centre
        # is the paper's origin, or for a page fitted to the ink the middle
        # of the SVG's view.
        page_w, page_h = points[0] / POINTS_PER_MM, points[1] / POINTS_PER_MM
        cx, cy = (0, 0) if sheet else (vx + vw / 2, -(vy + vh / 2))
        ox, oy = round((vx - cx + page_w / 2) * k), round((vy + cy + page_h / 2) * k)
        placed = numpy.zeros_like(pdf)
        h, w = ours.shape
        x0, y0 = max(0, ox), max(0, oy)
        x1, y1 = min(pdf.shape[1], ox + w), min(pdf.shape[0], oy + h)
        if x1 > x0 and y1 > y0:
            placed[y0:y1, x0:x1] = ours[y0 - oy:y1 - oy, x0 - ox:x1 - ox]
        off = int(ours.sum() - placed.sum())
        # Carried images: the SVG's are smoothed by rsvg-convert, the PDF's
        # drawn pixel for pixel by pdftoppm (a PDF's viewer decides), so
        # their frames are left out of the shares; each must show ink in
        # the PDF.
        frames = numpy.zeros_like(pdf)
        blank = 0
        for m in re.finditer(r'<use class="text image"[^>]*transform="matrix\(([^)]*)\)"', svg):
            a, b, c, d, e, f = (float(v) for v in m.group(1).split())
            corners = [(e + a * u + c * v, f + b * u + d * v) for u, v in ((0, 0), (1, 0), (0, 1), (1, 1))]
            xs = [(x - cx + page_w / 2) * k for x, _ in corners]
            ys = [(page_h / 2 - (y - cy)) * k for _, y in corners]
            x0, x1 = max(0, int(min(xs)) - NEAR - 1), min(pdf.shape[1], int(max(xs)) + NEAR + 2)
            y0, y1 = max(0, int(min(ys)) - NEAR - 1), min(pdf.shape[0], int(max(ys)) + NEAR + 2)
            if x1 > x0 and y1 > y0:
                blank += not pdf[y0:y1, x0:x1].any()
                frames[y0:y1, x0:x1] = True
        placed &= ~frames
        pdf_shapes = pdf & ~frames
        share_ours, share_pdf = near_shares(placed, pdf_shapes, NEAR)
        diff_png(placed, pdf_shapes, NEAR, base + ".diff.png")
        said = (f"{share_ours:.4f} of the SVG's {int(placed.sum())} ink pixels near the PDF's, "
                f"{share_pdf:.4f} of the PDF's {int(pdf_shapes.sum())} near the SVG's"
                + (f" ({off} of the SVG's off the page)" if off else "")
                + (f"; images left out: {int(frames.sum())} pixels" if frames.any() else ""))
        if blank:
            said += f"; {blank} images show no ink in the PDF"
        # --mono: the same ink, every bit of it black or grey (its edges).
        run([convert, "--mono", drawing, base + ".mono.pdf"])
        from PIL import Image
        rgb = numpy.asarray(Image.open(render_pdf(base + ".mono.pdf", k, base + ".mono")).convert("RGB")).astype(int)
        mono = (rgb < 0.97 * 255).any(axis=2) & ~frames
        coloured = int(((rgb.max(axis=2) - rgb.min(axis=2) > 24) & mono).sum())
        share_mono, _ = near_shares(mono, pdf_shapes, 0)
        said += f"; --mono: {coloured} coloured pixels, {share_mono:.4f} of its ink where the PDF's is"
        if coloured or share_mono < SHARE:
            blank += 1
        if blank or min(share_ours, share_pdf) < SHARE or (placed.sum() == 0) != (pdf_shapes.sum() == 0):
            failed += 1
            print(f"FAILED  {name}: {said}")
        else:
            print(f"ok      {name}: {said}")
    print(f"{failed} failed")
    return 1 if failed else 0


class Scheduler:
    """A CUPS scheduler of the check's own: its configuration, spool and
    logs in a folder of WORK, listening on a socket there, with a cups-pdf
    queue."""

    def __init__(self, work):
        self.root = os.path.join(work, "cups")
        shutil.rmtree(self.root, ignore_errors=True)
        for sub in ("spool", "cache", "state", "log", "tmp"):
            os.makedirs(os.path.join(self.root, sub))
        os.chmod(os.path.join(self.root, "tmp"), 0o1777)  # the filters run as lp
        self.socket = os.path.join(self.root, "cups.sock")
        with open(os.path.join(self.root, "cupsd.conf"), "w") as f:
            f.write(f"Listen {self.socket}\nLogLevel warn\n<Location />\n  Order allow,deny\n  Allow all\n"
                    "</Location>\n<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n")
        with open(os.path.join(self.root, "cups-files.conf"), "w") as f:
            r = self.root
            f.write(f"ServerRoot {r}\nRequestRoot {r}/spool\nCacheDir {r}/cache\nStateDir {r}/state\n"
                    f"TempDir {r}/tmp\nAccessLog {r}/log/access_log\nErrorLog {r}/log/error_log\n"
                    f"PageLog {r}/log/page_log\nSystemGroup root\n")
        # In C: what lpstat says is read below.
        self.env = dict(os.environ, CUPS_SERVER=self.socket, LC_ALL="C")
        self.process = subprocess.Popen(["cupsd", "-f", "-c", os.path.join(self.root, "cupsd.conf"),
                                         "-s", os.path.join(self.root, "cups-files.conf")],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # lpstat -r ends with 0 whether or not the scheduler runs: what it
        # says tells. Asked too early (a busy machine starts cupsd slowly),
        # lpinfo found no scheduler and the check failed at once.
        deadline = time.monotonic() + 60
        while True:
            said = subprocess.run(["lpstat", "-r"], env=self.env, capture_output=True, text=True).stdout
            if said.strip() == "scheduler is running":
                break
            ended = self.process.poll()
            if ended is not None or time.monotonic() > deadline:
                log = os.path.join(self.root, "log", "error_log")
                why = open(log, errors="replace").read()[-1500:] if os.path.exists(log) else ""
                self.stop()
                raise SystemExit(f"cupsd {'ended with ' + str(ended) if ended is not None else 'not running after 60 s'}"
                                 f": {why}")
            time.sleep(0.1)
        models = run(["lpinfo", "-m"], env=self.env)
        ppd = next((l.split()[0] for l in models.splitlines() if "CUPS-PDF_opt" in l or "CUPS-PDF" in l), None)
        if not ppd:
            self.stop()
            print("skipped: no cups-pdf printer model (Debian: printer-driver-cups-pdf)")
            sys.exit(SKIP)
        run(["lpadmin", "-p", "QuorvexCheck", "-E", "-v", "cups-pdf:/", "-m", ppd], env=self.env)

    def print_pdf(self, pdf, title, size_mm, out_folder, timeout=120):
        """Prints the PDF on paper of this size; the PDF cups-pdf made of it."""
        before = set(os.listdir(out_folder)) if os.path.isdir(out_folder) else set()
        said = run(["lp", "-d", "QuorvexCheck", "-t", title, "-o",
                    f"media=Custom.{size_mm[0]:g}x{size_mm[1]:g}mm", pdf], env=self.env)
        job = re.search(r"request id is (\S+)", said).group(1)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            done = subprocess.run(["lpstat", "-W", "completed", "-o", "QuorvexCheck"], env=self.env,
                                  capture_output=True, text=True).stdout
            if re.search(rf"^{re.escape(job)}\s", done, re.M):
                break
            time.sleep(0.2)
        else:
            return None, f"job {job} not done within {timeout} s"
        # cups-pdf names its PDF after the title; the job is done when its
        # PDF is whole.
        for _ in range(100):
            new = [n for n in set(os.listdir(out_folder)) - before if n.startswith(title[:20]) and n.endswith(".pdf")]
            if new:
                return os.path.join(out_folder, new[0]), None
            time.sleep(0.1)
        log = open(os.path.join(self.root, "log", "error_log"), errors="replace").read()[-1500:]
        return None, f"no PDF from job {job}: {log}"

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def cups_output_folder():
    """Where cups-pdf puts a job of this user's: its configuration's Out
    (by default ${HOME}/PDF)."""
    out = "${HOME}/PDF"
    for conf in ("/etc/cups/cups-pdf.conf",):
        if os.path.exists(conf):
            for line in open(conf, errors="replace"):
                m = re.match(r"\s*Out\s+(\S+)", line)
                if m:
                    out = m.group(1)
    import pwd
    return out.replace("${HOME}", pwd.getpwuid(os.getuid()).pw_dir)


def cups(convert, work, drawings):
    need_programs("cupsd", "lpadmin", "lp", "lpstat", "lpinfo", "pdfinfo", "pdftoppm")
    need_module("numpy", "python3-numpy")
    need_module("PIL", "python3-pil")
    if not os.path.exists("/usr/lib/cups/backend/cups-pdf"):
        print("skipped: the cups-pdf backend is missing (Debian: printer-driver-cups-pdf)")
        sys.exit(SKIP)
    if os.getuid() != 0:
        print("skipped: a CUPS scheduler of the check's own needs root")
        sys.exit(SKIP)
    out_folder = cups_output_folder()
    os.makedirs(out_folder, exist_ok=True)
    scheduler = Scheduler(work)
    failed = 0
    try:
        for drawing in drawings:
            name = os.path.splitext(os.path.basename(drawing))[0]
            base = os.path.join(work, name)
            make_pdf(convert, drawing, base + ".pdf")
            _, points = page_points(base + ".pdf")
            size = (round(points[0] / POINTS_PER_MM), round(points[1] / POINTS_PER_MM))
            printed, why = scheduler.print_pdf(base + ".pdf", f"quorvex-check-{os.getpid()}-{name}", size, out_folder)
            if not printed:
                failed += 1
                print(f"FAILED  {name}: {why}")
                continue
            shutil.move(printed, base + ".printed.pdf")
            pages, printed_points = page_points(base + ".printed.pdf")
            problems = []
            if pages != 1:
                problems.append(f"{pages} pages printed")
            if abs(printed_points[0] - points[0]) > 1 or abs(printed_points[1] - points[1]) > 1:
                problems.append(f"printed on {printed_points[0]} x {printed_points[1]} pts, not "
                                f"{points[0]} x {points[1]}")
            ours = read_ink(render_pdf(base + ".pdf", CUPS_PIXELS_PER_MM, base + ".page"))
            theirs = read_ink(render_pdf(base + ".printed.pdf", CUPS_PIXELS_PER_MM, base + ".printed"))
            h, w = min(ours.shape[0], theirs.shape[0]), min(ours.shape[1], theirs.shape[1])
            ours, theirs = ours[:h, :w], theirs[:h, :w]
            share_ours, share_theirs = near_shares(ours, theirs, NEAR)
            diff_png(ours, theirs, NEAR, base + ".printed.diff.png")
            if min(share_ours, share_theirs) < CUPS_SHARE:
                problems.append(f"less than {CUPS_SHARE} of the ink near the other's")
            said = (f"printed on {printed_points[0]:g} x {printed_points[1]:g} pts; {share_ours:.4f} of our "
                    f"{int(ours.sum())} ink pixels near the print's, {share_theirs:.4f} of its "
                    f"{int(theirs.sum())} near ours")
            if problems:
                failed += 1
                print(f"FAILED  {name}: {said}: " + "; ".join(problems))
            else:
                print(f"ok      {name}: {said}")
    finally:
        scheduler.stop()
    print(f"{failed} failed")
    return 1 if failed else 0


def main():
    if len(sys.argv) < 4 or sys.argv[1] not in ("poppler", "picture", "cups"):
        print(__doc__)
        return 2
    what, convert, work = sys.argv[1], sys.argv[2], sys.argv[3]
    os.makedirs(work, exist_ok=True)
    drawings = drawings_of(sys.argv[4:])
    if not drawings:
        print("no drawing to check")
        return 1
    return {"poppler": poppler, "picture": picture, "cups": cups}[what](convert, work, drawings)


if __name__ == "__main__":
    sys.exit(main())
