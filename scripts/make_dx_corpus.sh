#!/usr/bin/env bash
# Regenerates tests/core/data/dx/, DX grids of one small potential as
# different programs write them, which the reader must all read as the same
# grid (tests/core/readers_test.cpp):
#   apbs.dx          APBS ("write pot dx") on tiny.pqr, 9³ nodes: the plain counterpart
#   apbs.dx.gz       the same text gzip-compressed, as APBS's "write pot gz" stores it
#                    (Debian's APBS is built without zlib and writes no gz file itself)
#   gdf.dx           GridDataFormats (python3-griddataformats) re-exporting apbs.dx:
#                    type "double" in quotes, tab-separated values, its own comments
#   crlf.dx, bom.dx, comments.dx, signs.dx, one_per_line.dx, no_trailer.dx,
#   type_float.dx, two_members.dx.gz
#                    hand-made variants of apbs.dx, one difference each
# Needs apbs, gzip and python3-griddataformats (installed with apt-get when missing).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$(dirname "$here")/tests/core/data/dx"
PY=/usr/bin/python3 # Debian's python modules are installed for the system interpreter

need=()
command -v apbs >/dev/null || need+=(apbs)
"$PY" -c 'import gridData' 2>/dev/null || need+=(python3-griddataformats)
if ((${#need[@]})); then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$out/tiny.pqr" "$work/"
cat >"$work/tiny.in" <<'APBS'
read
    mol pqr tiny.pqr
end
elec name tiny
    mg-manual
    dime 9 9 9
    glen 12 12 12
    gcent mol 1
    mol 1
    lpbe
    bcfl sdh
    pdie 2.0
    sdie 78.54
    srfm smol
    chgm spl2
    sdens 10.0
    srad 1.4
    swin 0.3
    temp 298.15
    ion charge 1 conc 0.15 radius 2.0
    ion charge -1 conc 0.15 radius 2.0
    calcenergy no
    calcforce no
    write pot dx tiny_pot
end
quit
APBS
(cd "$work" && apbs tiny.in >apbs.log 2>&1) || { cat "$work/apbs.log" >&2; exit 1; }
# APBS names its output after the processor that wrote it (-PE0).
plain="$work/apbs.dx"
mv "$work"/tiny_pot*.dx "$plain"

gzip -9 -n -c "$plain" >"$work/apbs.dx.gz"
"$PY" - "$plain" "$work/gdf.dx" <<'PY'
import sys
from gridData import Grid
Grid(sys.argv[1]).export(sys.argv[2], type="double")
PY

# Hand-made variants, each differing from apbs.dx in one way.
"$PY" - "$plain" "$work" <<'PY'
import gzip, os, re, sys
text = open(sys.argv[1], newline="").read()
out = sys.argv[2]
head, data = text.split("data follows\n", 1)
head += "data follows\n"
values, trailer = data.split("attribute", 1)
trailer = "attribute" + trailer

def write(name, s, mode="w"):
    with open(os.path.join(out, name), mode, **({} if "b" in mode else {"newline": ""})) as f:
        f.write(s)

write("crlf.dx", text.replace("\n", "\r\n"))
write("bom.dx", "\ufeff" + text)
commented = "".join(line + (" # header line %d\n# between lines\n" % i if line else "\n")
                    for i, line in enumerate(head.split("\n")[:-1]))
write("comments.dx", commented + values + "# written by hand\n" + trailer)
signs = re.sub(r"0\.000000e\+00", "-0", head)
signs = signs.replace("origin -", "origin  -").replace("delta 1.5", "delta +1.5")
write("signs.dx", signs + values + trailer)
write("one_per_line.dx", head + "\n".join(values.split()) + "\n" + trailer)
write("no_trailer.dx", head + values.rstrip())
write("type_float.dx", text.replace("type double", "type float"))
half = len(text) // 2
write("two_members.dx.gz", gzip.compress(text[:half].encode(), mtime=0) +
      gzip.compress(text[half:].encode(), mtime=0), "wb")
PY

rm -f "$out"/*.dx "$out"/*.dx.gz
cp "$work"/*.dx "$work"/*.dx.gz "$out/"
ls -l "$out"
