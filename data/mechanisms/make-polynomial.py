#!/usr/bin/env python3
"""Writes polynomial.csv: a lift profile from the 3-4-5 polynomial law.

The cam rises from no lift at 90 degrees to the peak at 0 degrees and returns
to no lift at -90 degrees, each half following s(u) = 10u^3 - 15u^4 + 6u^5 of
the fraction u of its 90 degrees (no jump in lift, velocity or acceleration at
either end). 361 rows at 0.5 degrees, the angle falling from row to row, as the
program draws them. Run without arguments to write the file beside this
script, or with "-" to write it to standard output.
"""

import os
import sys

PEAK = 9.5     # greatest lift, at 0 degrees
HALF = 90.0    # degrees of rise, and of return
STEP = 0.5     # degrees from row to row
ROWS = 361     # from 90 down to -90


def rise(u):
    # 10u^3 - 15u^4 + 6u^5, evaluated in this order in binary64 (Python's
    # float), so every run writes the same digits.
    return u * u * u * (10.0 + u * (-15.0 + 6.0 * u))


def lift(angle):
    u = (HALF - angle) / HALF if angle >= 0 else (angle + HALF) / HALF
    return PEAK * rise(u)


def text():
    lines = [
        "# 3-4-5 polynomial rise and return, peak lift 9.5 at 0 degrees, 361 rows at 0.5 degrees from 90 to"
        " -90; made by data/mechanisms/make-polynomial.py",
        "angle,lift",
    ]
    for i in range(ROWS):
        angle = HALF - STEP * i
        # The angles are halves, written exactly; the lifts as the shortest
        # text that reads back to the same double.
        lines.append("{:g},{!r}".format(angle, lift(angle)))
    return "\n".join(lines) + "\n"


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                              "polynomial.csv")
    if out == "-":
        sys.stdout.write(text())
    else:
        with open(out, "w", encoding="ascii", newline="\n") as f:
            f.write(text())


if __name__ == "__main__":
    main()
