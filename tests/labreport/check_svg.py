#!/usr/bin/env python3
"""Checks an SVG plot as a reader would take it: it parses as XML, its root is an SVG element, no
number in it is NaN or infinite, and every marker lies inside the plot area (the first unfilled
rectangle). Prints one line per fault; exit 0 when there is none."""
import sys
import xml.etree.ElementTree as ET

NS = "{http://www.w3.org/2000/svg}"


def main(path):
    root = ET.parse(path).getroot()
    faults = []
    if root.tag != NS + "svg":
        faults.append(f"root is {root.tag}")
    for element in root.iter():
        for name, value in element.attrib.items():
            if "nan" in value.lower() or "inf" in value.lower():
                faults.append(f"{element.tag} {name}={value}")
    area = next(r for r in root.iter(NS + "rect") if r.get("fill") == "none")
    x0, y0 = float(area.get("x")), float(area.get("y"))
    x1, y1 = x0 + float(area.get("width")), y0 + float(area.get("height"))
    for c in root.iter(NS + "circle"):
        cx, cy = float(c.get("cx")), float(c.get("cy"))
        if not (x0 - 0.05 <= cx <= x1 + 0.05 and y0 - 0.05 <= cy <= y1 + 0.05):
            faults.append(f"marker at {cx},{cy} outside {x0},{y0}-{x1},{y1}")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
