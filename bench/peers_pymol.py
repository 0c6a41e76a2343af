#!/usr/bin/python3
"""PyMOL's own field lines of a potential map: load the DX and build a
gradient object (PyMOL's field-line display), as a PyMOL user would.
Prints the wall time of load + gradient in seconds on its last line.

Usage: peers_pymol.py GRID.dx
"""
import sys
import time

import pymol

pymol.finish_launching(["pymol", "-qc"])
from pymol import cmd  # noqa: E402

start = time.perf_counter()
cmd.load(sys.argv[1], "potential")
cmd.gradient("lines", "potential")
cmd.refresh()  # the gradient object is built when it is first updated
cmd.get_extent("lines")
elapsed = time.perf_counter() - start
print("pymol gradient: %d objects" % len(cmd.get_names()))
print("%.6f" % elapsed)
