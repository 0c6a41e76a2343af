#!/usr/bin/env bash
# Takes the README's screenshots of quorax1 on the bundled example under Xvfb
# and writes them to docs/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install_deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --target viewer_screenshots
xvfb-run -a -s "-screen 0 1280x1024x24" "$root/build/viewer/viewer_screenshots" "$root/examples" "$root/docs"
