#!/usr/bin/env python3
"""bench/gen_material_library.py COUNT OUT.json [PENS]

Writes a material library of COUNT materials with PENS pen records each
(default 11, pens 0..10), named "Material 1" ... and, every seventh one, with
a name outside Latin-1, in the format the program stores.  For timing the
library load (grittor-cli job --library OUT.json --material "Material 1").
"""
import json
import sys


def main():
    count = int(sys.argv[1])
    out = sys.argv[2]
    pens = int(sys.argv[3]) if len(sys.argv) > 3 else 11
    materials = []
    for m in range(count):
        name = "Material %d" % (m + 1) if m % 7 else "Glas-\u00c4tzung \u82b1\u5c97\u5ca9 %d" % (m + 1)
        materials.append({"name": name, "pens": [
            {"pen": p, "blowspeed": 5 + (m + p) % 20, "border": p == 10, "fill": True, "Color": p % 18,
             "radius": 254 + (m * 7 + p) % 500, "ScanLine": 1200, "vertper": 0.25, "CenterOffset": 0.4,
             "extra": 0.5, "passes": 1 + p % 4, "Times": 1, "margin": {"x": 0, "y": 0}} for p in range(pens)]})
    with open(out, "w", encoding="utf-8") as f:
        json.dump({"format": "Grittor material library", "version": 1, "selectedMaterial": 0,
                   "materials": materials}, f, ensure_ascii=False)


if __name__ == "__main__":
    main()
