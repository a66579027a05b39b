#!/usr/bin/env python3
"""Writes a deterministic mixed HP-GL/2 plot of about the given size, and
beside it the outlines and the extent a reader must find in it.

The plot mixes what CAD, sign and cutter software write: absolute and
relative polylines, rectangles, encoded polylines (PE) in 8-bit and 7-bit
modes with pen-select, pen-up, absolute and fraction flags, several contours
in one PE and bodies wrapped with line ends; labels under every DT form with
";" and instruction-like text inside; device-control escapes with and
without parameters; HP-GL/2 settings (PC, NP, PW, WU, LA, MC, PP, CR, RO,
PS, QL, TR, LT, FT, UL, IN, DF, BP); mnemonics in any case, missing
separators, blank- and tab-separated coordinates, comments, and now and
then a PCL wrapper and a quoted picture name in BP.  How much of each the plot holds
is drawn from the seed, so plots of different seeds differ in mix as real
files do.

Every drawn segment is at least 20 units long and every outline starts well
away from where the last one ended, so the outlines the program collects are
exactly the strokes drawn between pen-up moves.

The truth file has one line per fact:
    extent MINX MINY MAXX MAXY      every point the pen visits, in plot units
    outline PEN N X0 Y0 ... XN YN   one closed outline with N segments
(in drawing order; coordinates are whole plot units).

usage: gen_mixed_plot.py BYTES OUT [SEED] [--truth FILE] [--comparable]
"""
import argparse
import random

ESC = "\x1b"
ETX = "\x03"


class Plot:
    def __init__(self, rnd, comparable=False):
        self.rnd = rnd
        self.comparable = comparable
        self.out = []
        self.size = 0
        self.pen = 0
        self.pos = (0, 0)
        self.relative = False
        self.pen_down = False
        self.terminator = ETX
        self.outlines = []
        self.mn = [None, None]  # extent
        self.mx = [None, None]
        # How much of each kind this plot holds.
        r = rnd.random
        self.weights = {
            "polyline": 1 + 6 * r(),
            "relative": 3 * r(),
            "rectangle": 1.5 * r(),
            "pe": 0.5 + 6 * r(),
            "label": 0.5 + 3 * r(),
            "escape": 0.3 + 1.5 * r(),
            "setting": 0.5 + 2 * r(),
            "pen": 0.3 + 0.7 * r(),
        }
        self.upper = 0.4 + 0.5 * r()  # share of upper-case mnemonics
        self.joined = 0.1 + 0.3 * r()  # share of instructions without ";"
        self.blanks = 0.1 + 0.4 * r()  # share of blank-separated parameters
        self.newline = 0.5 * r()  # share of instructions followed by a line end
        self.newline_text = "\r\n" if r() < 0.3 else "\n"

    # ---- output
    def emit(self, s):
        self.out.append(s)
        self.size += len(s)

    def name(self, n):
        c = self.rnd.random()
        if c < self.upper:
            return n
        if c < self.upper + (1 - self.upper) * 0.7:
            n = n.lower()
        else:
            n = n[0].lower() + n[1] if self.rnd.random() < 0.5 else n[0] + n[1].lower()
        if self.comparable and n[0].islower() and self.out and self.out[-1].rstrip("\r\n")[-1:] not in ";\x03":
            # Valid as it is, but the comparison reader gives up on a
            # lower-case name that follows an instruction without ";".
            n = ";" + n
        return n

    def end(self):
        """The end of an instruction whose successor starts with a letter or
        ESC: ";" or nothing, sometimes a line end."""
        s = "" if self.rnd.random() < self.joined else ";"
        if self.rnd.random() < self.newline:
            s += self.newline_text
        return s

    def number(self, v):
        # Whole units, now and then written with a sign or a decimal point.
        c = self.rnd.random()
        if c < 0.05:
            return "%d.0" % v
        if c < 0.08:
            return "%d." % v
        if c < 0.1 and v >= 0:
            return "+%d" % v
        return str(v)

    def params(self, values):
        if not values:
            return ""
        if self.rnd.random() < self.blanks:
            # (the comparison reader is not sure of tabs)
            sep = self.rnd.choice([" ", "  ", " , ", ", "] + ([] if self.comparable else ["\t"]))
            lead = " "
        else:
            sep = ","
            lead = " " if self.rnd.random() < 0.1 else ""
        return lead + sep.join(self.number(v) for v in values)

    # ---- truth
    def visit(self, p):
        for k in (0, 1):
            if self.mn[k] is None or p[k] < self.mn[k]:
                self.mn[k] = p[k]
            if self.mx[k] is None or p[k] > self.mx[k]:
                self.mx[k] = p[k]

    def far_start(self, box):
        """A start point away from where the pen is (so the move starts a
        new outline) inside box (x0, y0, x1, y1)."""
        ri = self.rnd.randint
        while True:
            p = (ri(box[0], box[2]), ri(box[1], box[3]))
            if abs(p[0] - self.pos[0]) > 5 or abs(p[1] - self.pos[1]) > 5:
                return p

    def shape(self, n, r):
        """A closed polygon of n vertices around the origin, edges >= 20."""
        import math
        while True:
            pts = []
            phase = self.rnd.random() * 2 * math.pi
            for k in range(n):
                a = phase + 2 * math.pi * k / n
                rr = r * (0.75 + 0.25 * self.rnd.random())
                pts.append((int(round(rr * math.cos(a))), int(round(rr * math.sin(a)))))
            if all(abs(pts[k][0] - pts[k - 1][0]) + abs(pts[k][1] - pts[k - 1][1]) >= 40 and
                   ((pts[k][0] - pts[k - 1][0]) ** 2 + (pts[k][1] - pts[k - 1][1]) ** 2) >= 400 for k in range(n)):
                return pts

    def place(self, n):
        import math
        r = self.rnd.randint(max(40, 8 * n), max(60, 40 * n))
        start = self.far_start(self.box)
        base = self.shape(n, r)
        return [(start[0] + x - base[0][0], start[1] + y - base[0][1]) for x, y in base]

    def ensure_absolute(self):
        if self.relative:
            self.emit(self.name("PA") + self.end())
            self.relative = False

    def pen_up_to(self, p):
        """An absolute pen-up move to p."""
        self.ensure_absolute()
        self.emit(self.name("PU") + self.params([p[0], p[1]]) + self.end())
        self.pos = p
        self.pen_down = False
        self.visit(p)

    # ---- items
    def polyline(self):
        n = self.rnd.randint(3, 40 if self.rnd.random() < 0.8 else 150)
        pts = self.place(n)
        pts.append(pts[0])
        self.pen_up_to(pts[0])
        style = self.rnd.random()
        if style < 0.5:  # PD x1,y1,...
            flat = [c for p in pts[1:] for c in p]
            self.emit(self.name("PD") + self.params(flat) + self.end())
        elif style < 0.8:  # PD;PA x1,y1,...;PU;
            self.emit(self.name("PD") + self.end())
            flat = [c for p in pts[1:] for c in p]
            self.emit(self.name("PA") + self.params(flat) + self.end())
            self.emit(self.name("PU") + self.end())
        else:  # one point per PD
            for p in pts[1:]:
                self.emit(self.name("PD") + self.params(list(p)) + self.end())
        for p in pts[1:]:
            self.visit(p)
        self.pos = pts[-1]
        self.pen_down = style < 0.5 or style >= 0.8
        self.outlines.append((self.pen, pts))

    def relative_polyline(self):
        n = self.rnd.randint(3, 30)
        pts = self.place(n)
        pts.append(pts[0])
        self.pen_up_to(pts[0])
        self.emit(self.name("PR") + self.end())
        self.relative = True
        deltas = [c for a, b in zip(pts, pts[1:]) for c in (b[0] - a[0], b[1] - a[1])]
        self.emit(self.name("PD") + self.params(deltas) + self.end())
        for p in pts[1:]:
            self.visit(p)
        self.pos = pts[-1]
        self.pen_down = True
        self.outlines.append((self.pen, pts))
        # Lift the pen where it is, then back to absolute plotting.
        self.emit(self.name("PU") + self.end())
        self.pen_down = False
        self.ensure_absolute()

    def rectangle(self):
        ri = self.rnd.randint
        a = self.far_start(self.box)
        w = ri(30, 3000) * self.rnd.choice([1, -1])
        h = ri(30, 3000) * self.rnd.choice([1, -1])
        self.pen_up_to(a)
        b = (a[0] + w, a[1] + h)
        if self.rnd.random() < 0.5:
            self.emit(self.name("EA") + self.params([b[0], b[1]]) + self.end())
        else:
            self.emit(self.name("ER") + self.params([w, h]) + self.end())
        self.visit(b)
        self.outlines.append((self.pen, [a, (a[0], b[1]), b, (b[0], a[1]), a]))
        # The pen stays at the first corner.

    def pe_number(self, n, seven):
        v = 2 * n if n >= 0 else 2 * -n + 1
        base = 32 if seven else 64
        out = []
        while v >= base:
            out.append(63 + v % base)
            v //= base
        out.append((95 if seven else 191) + v)
        return bytes(out).decode("latin-1")

    def pe(self):
        rnd = self.rnd
        seven = rnd.random() < 0.35
        body = "7" if seven else ""
        frac = 0
        # The comparison reader multiplies by the fraction bits where the
        # language divides, and moves the pen over labels this program does
        # not draw: comparable plots leave both out of its way.
        if rnd.random() < 0.2 and not self.comparable:
            frac = rnd.randint(0, 3)
            body += ">" + self.pe_number(frac, seven)
        scale = 1 << frac
        enc = lambda v: self.pe_number(v * scale, seven)
        pos = self.pos
        pen = self.pen
        for k in range(rnd.randint(1, 5)):
            # The comparison reader takes the pen number for twice itself
            # and can crash on the pen it then has.
            if not self.comparable and (rnd.random() < 0.25 or (k == 0 and rnd.random() < 0.1)):
                pen = rnd.randint(1, 8)
                body += ":" + self.pe_number(pen, seven)
            n = rnd.randint(3, 25 if rnd.random() < 0.8 else 120)
            pts = self.place(n)
            pts.append(pts[0])
            body += "<"
            if rnd.random() < 0.6 or (k == 0 and self.comparable):
                body += "=" + enc(pts[0][0]) + enc(pts[0][1])
            else:
                body += enc(pts[0][0] - pos[0]) + enc(pts[0][1] - pos[1])
            self.visit(pts[0])
            for a, b in zip(pts, pts[1:]):
                if rnd.random() < 0.05:  # an absolute point inside a contour
                    body += "=" + enc(b[0]) + enc(b[1])
                else:
                    body += enc(b[0] - a[0]) + enc(b[1] - a[1])
                self.visit(b)
            self.outlines.append((pen, pts))
            pos = pts[-1]
            self.pos = pos  # for far_start of the next contour
        # Bodies wrapped with line ends.  The comparison reader drops out of
        # a PE at a line end and reads the rest of its data as instructions
        # (and then crashes now and then): comparable plots keep PE bodies
        # on one line.
        if rnd.random() < 0.4 and not self.comparable:
            cut = sorted(rnd.sample(range(len(body) + 1), min(len(body) + 1, rnd.randint(1, 4))))
            pieces, last = [], 0
            for c in cut:
                pieces.append(body[last:c])
                last = c
            pieces.append(body[last:])
            body = rnd.choice(["\n", "\r\n"]).join(pieces)
        self.emit(self.name("PE") + body + ";")
        if rnd.random() < self.newline:
            self.emit(self.newline_text)
        self.pen = pen
        self.pos = pos
        self.pen_down = True

    LABEL_WORDS = ["PD100,100;", "PU;", "SP2;", "PA 5 5", "Pd", "IN;", "EA10,10", "LBX", "DT*;", "PE<=?", "Ax",
                   "NORTH", "Elev. 12.5", "A;B;C", "R=3", ",", ";", "  ", "(c)", "Phase 2", "#1", "100%"]

    def label(self):
        rnd = self.rnd
        if rnd.random() < 0.4:
            form = rnd.random()
            if form < 0.3:
                self.emit(self.name("DT") + ";")
                self.terminator = ETX
            else:
                t = rnd.choice("*#$~|^&!`Q@_" + ETX)
                mode = "" if form < 0.55 else ",0" if form < 0.8 else ",1"
                self.emit(self.name("DT") + t + mode + (";" if not mode or rnd.random() > self.joined else ""))
                self.terminator = t
            if rnd.random() < self.newline:
                self.emit(self.newline_text)
        elif rnd.random() < 0.05:
            # IN and DF restore the default terminator.
            self.emit(self.name("DF") + ";")
            self.terminator = ETX
        p = self.far_start(self.box)
        self.pen_up_to(p)
        words = []
        for _ in range(rnd.randint(1, 5)):
            words.append(rnd.choice(self.LABEL_WORDS))
        text = " ".join(words)
        if rnd.random() < 0.03:
            text += "\r\n" + rnd.choice(self.LABEL_WORDS)  # a two-line label
        text = text.replace(self.terminator, "")
        self.emit(self.name("LB") + text + self.terminator)
        if rnd.random() < self.newline:
            self.emit(self.newline_text)

    def escape(self):
        rnd = self.rnd
        c = rnd.random()
        if c < 0.3:
            # Plotter off and on again; bare, or with ";" or ":" at once.
            off, on = rnd.choice([(")", "("), ("Z", "Y"), (")", "Y"), ("Z", "(")])
            self.emit(ESC + "." + off + rnd.choice(["", "", ";", ":"]))
            self.emit(ESC + "." + on + rnd.choice(["", "", ";", ":"]))
        elif c < 0.5:
            self.emit(ESC + "." + rnd.choice("(Y") + rnd.choice(["", ";", ":"]))
        else:
            self.emit(ESC + "." + rnd.choice(["I81;;17:", "N;19:", "M10;;;13:", "@1024;0:", "H50;;17:",
                                             "I:", "N:", "@:", "T;;;;:", "M:"]))
        if rnd.random() < self.newline:
            self.emit(self.newline_text)

    def setting(self):
        rnd = self.rnd
        ri = rnd.randint
        names = ["PC", "NP", "PW", "WU", "LA", "MC", "PP", "CR", "RO", "PS", "QL", "TR", "LT", "FT", "UL", "SC", "IP",
                 "VS", "CO"]
        if self.comparable:
            # The comparison reader turns and clips the plot by these.
            names = [n for n in names if n not in ("RO", "PS")]
        c = rnd.choice(names)
        if c == "CO":  # a comment: its quoted text may hold ";" and instructions
            self.emit(self.name("CO") + rnd.choice(['"layer 3; PD0,0"', ' "rev. 2"', '""']) + ";")
            return
        if c == "PC":
            v = [ri(0, 8), ri(0, 255), ri(0, 255), ri(0, 255)]
        elif c == "NP":
            v = [rnd.choice([2, 8, 16, 256])]
        elif c == "PW":
            s = "%s%s%d.%02d,%d" % (self.name("PW"), " " if rnd.random() < 0.3 else "", 0, ri(1, 99), ri(1, 8))
            self.emit(s + self.end())
            return
        elif c == "WU":
            v = [ri(0, 1)]
        elif c == "LA":
            v = [1, ri(1, 4), 2, ri(1, 6)]
        elif c == "MC":
            v = [ri(0, 1)] + ([ri(0, 255)] if rnd.random() < 0.5 else [])
        elif c == "PP":
            v = [ri(0, 1)]
        elif c == "CR":
            v = [0, 255, 0, 255, 0, 255]
        elif c == "RO":
            v = [0]  # a turned plot is not what the program draws
        elif c == "PS":
            v = [ri(10000, 40000), ri(10000, 40000)]
        elif c == "QL":
            v = [ri(0, 100)]
        elif c == "TR":
            v = [ri(0, 1)]
        elif c == "LT":
            v = [] if rnd.random() < 0.5 else [ri(1, 8), ri(1, 10)]
        elif c == "FT":
            v = [ri(1, 4)]
        elif c == "UL":
            v = [ri(1, 8), 40, 12, 12, 12]
        elif c in ("SC", "IP"):
            # Defaults only: user scaling is not what the program draws.
            v = []
        else:
            v = [ri(1, 50)]
        self.emit(self.name(c) + self.params(v) + self.end())

    def select_pen(self):
        self.pen = self.rnd.randint(1, 8)
        self.emit(self.name("SP") + self.params([self.pen]) + self.end())

    # ---- the plot
    def write(self, target):
        rnd = self.rnd
        side = rnd.choice([30000, 60000, 120000])
        x0 = rnd.choice([0, 0, -side // 2, 1000])
        y0 = rnd.choice([0, 0, -side // 3, 500])
        self.box = (x0, y0, x0 + side, y0 + side * 7 // 10)
        head = ""
        if rnd.random() < 0.15:
            head += ESC + "%-1B"  # HP-GL/2 inside a PCL job
        if rnd.random() < 0.5:
            head += ESC + ".(;" + ESC + ".I81;;17:" + ESC + ".N;19:"
        head += rnd.choice(["IN;", "BP;IN;", "IN;DF;", "BPIN", "in;", 'BP1,"plan; rev. B",5,1;IN;'])
        if "BP" in head and rnd.random() < 0.5 and not self.comparable:
            head += "PS%d,%d;" % (self.box[2] - self.box[0], self.box[3] - self.box[1])
        self.emit(head)
        self.select_pen()
        kinds = list(self.weights)
        weights = [self.weights[k] for k in kinds]
        run = {"polyline": self.polyline, "relative": self.relative_polyline, "rectangle": self.rectangle,
               "pe": self.pe, "label": self.label, "escape": self.escape, "setting": self.setting,
               "pen": self.select_pen}
        while self.size < target:
            run[rnd.choices(kinds, weights)[0]]()
        self.ensure_absolute()
        self.emit(self.name("PU") + ";" + self.name("SP") + "0;")
        if rnd.random() < 0.5:
            self.emit(self.name("PG") + ";")
        if rnd.random() < 0.5:
            self.emit(ESC + ".)")
        return "".join(self.out).encode("latin-1")

    def truth(self):
        lines = ["extent %d %d %d %d" % (self.mn[0], self.mn[1], self.mx[0], self.mx[1])]
        for pen, pts in self.outlines:
            lines.append("outline %d %d %s" % (pen, len(pts) - 1, " ".join("%d %d" % p for p in pts)))
        return "\n".join(lines) + "\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("bytes", type=int)
    ap.add_argument("out")
    ap.add_argument("seed", type=int, nargs="?", default=1016)
    ap.add_argument("--truth", help="where the truth goes (default: OUT.truth)")
    ap.add_argument("--comparable", action="store_true",
                    help="only what hp2xx also reads to the end (for the benchmark)")
    args = ap.parse_args()
    plot = Plot(random.Random(args.seed), args.comparable)
    data = plot.write(args.bytes)
    with open(args.out, "wb") as f:
        f.write(data)
    with open(args.truth or args.out + ".truth", "w") as f:
        f.write(plot.truth())


if __name__ == "__main__":
    main()
