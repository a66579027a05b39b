#!/usr/bin/env python3
"""Writes a deterministic HPGL plot of about the given size for benchmarks.

The mix follows what the machine's users plot: many closed outlines of 4 to
200 vertices, text-like glyphs of short strokes, arcs, circles, rectangles,
encoded polylines (PE), labels, six pens, separators and letter case mixed.
usage: gen_hpgl_plot.py BYTES OUT [SEED]
"""
import math
import random
import sys


def pe_number(n):
    v = 2 * n if n >= 0 else 2 * -n + 1
    out = []
    while v >= 64:
        out.append(63 + v % 64)
        v //= 64
    out.append(191 + v)
    return bytes(out)


def main():
    target = int(sys.argv[1])
    path = sys.argv[2]
    rnd = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1016)
    ri = rnd.randint
    parts = [b"IN;DF;SP1;PU0,0;"]
    size = len(parts[0])

    def sep():
        return "," if rnd.random() < 0.7 else " "

    def name(n):
        return n if rnd.random() < 0.8 else n.lower()

    def coord(v):
        # Mostly whole units, now and then a short decimal.
        return str(v) if rnd.random() < 0.9 else "%d.%d" % (v, ri(1, 9))

    while size < target:
        kind = rnd.random()
        if kind < 0.02:
            s = "%s%d;" % (name("SP"), ri(1, 6))
        elif kind < 0.50:  # closed outline
            n = ri(4, 200) if rnd.random() < 0.3 else ri(4, 24)
            cx, cy, r = ri(2000, 38000), ri(2000, 28000), ri(50, 1500)
            pts = []
            for k in range(n):
                a = 2 * math.pi * k / n
                rr = r * (0.7 + 0.3 * rnd.random())
                pts.append((int(cx + rr * math.cos(a)), int(cy + rr * math.sin(a))))
            pts.append(pts[0])
            sp = sep()
            s = "%s%d,%d;%s" % (name("PU"), pts[0][0], pts[0][1], name("PD")) + sp.join(
                "%s%s%s" % (coord(x), sp, coord(y)) for x, y in pts[1:]) + ";"
        elif kind < 0.70:  # glyphs of short strokes
            x, y = ri(1000, 39000), ri(1000, 29000)
            out = []
            for _ in range(ri(3, 10)):
                out.append("%s%d,%d;%s;%s" % (name("PA"), x, y, name("PD"), name("PR")))
                out.append(",".join("%d,%d" % (ri(-40, 40), ri(-60, 60)) for _ in range(ri(1, 4))))
                out.append(";%s;" % name("PU"))
                x += ri(60, 120)
            out.append("%s;" % name("PA"))  # back to absolute
            s = "".join(out)
        elif kind < 0.76:  # arcs
            x, y = ri(2000, 38000), ri(2000, 28000)
            s = "%s%d,%d;%s;%s%d,%d,%d;%s%d,%d,%d;%s;" % (
                name("PU"), x, y, name("PD"), name("AA"), x + ri(-800, 800), y + ri(-800, 800), ri(-270, 270),
                name("AR"), ri(-500, 500), ri(-500, 500), ri(-180, 180), name("PU"))
        elif kind < 0.80:  # circles
            s = "%s%d,%d;%s%d;" % (name("PU"), ri(2000, 38000), ri(2000, 28000), name("CI"), ri(20, 2000))
        elif kind < 0.84:  # rectangles
            x, y = ri(2000, 36000), ri(2000, 26000)
            s = "%s%d,%d;%s%d,%d;%s%d,%d;" % (name("PU"), x, y, name("EA"), x + ri(50, 2000), y + ri(50, 2000),
                                               name("ER"), ri(-900, 900), ri(-900, 900))
        elif kind < 0.96:  # encoded polyline
            body = bytearray(b"PE")
            if rnd.random() < 0.2:
                body += b":" + pe_number(ri(1, 6))
            body += b"<=" + pe_number(ri(2000, 38000)) + pe_number(ri(2000, 28000))
            for _ in range(ri(4, 120)):
                body += pe_number(ri(-300, 300)) + pe_number(ri(-300, 300))
            body += b";"
            parts.append(bytes(body))
            size += len(body)
            continue
        else:  # label
            s = "%s%d,%d;%s%s\x03" % (name("PA"), ri(1000, 39000), ri(1000, 29000), name("LB"),
                                      "".join(chr(ri(65, 90)) for _ in range(ri(3, 20))))
        if rnd.random() < 0.3:
            s += "\n"
        b = s.encode("latin-1")
        parts.append(b)
        size += len(b)
    parts.append(b"PU;SP0;")
    with open(path, "wb") as f:
        f.write(b"".join(parts))


if __name__ == "__main__":
    main()
