#!/usr/bin/env bash
# Pictures of the export's Korean dialogs and of the program's icon: starts Tonvale on the simulated
# instrument in a virtual X server with openbox, reads the instrument, clicks "엑셀 저장", and saves the save
# dialog and the notice that follows; renders the menu icon at 256, 48 and 24 pixels.
# Usage: scripts/screenshot-dialogs.sh [BUILD_DIR] [OUTPUT_DIR]   (defaults: build, docs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
out=${2:-"$root/docs"}
mkdir -p "$out"
out=$(cd "$out" && pwd)
for tool in xvfb-run openbox xdotool import convert rsvg-convert; do
  command -v "$tool" >/dev/null || { echo "screenshot-dialogs: $tool is missing" >&2; exit 1; }
done
[ -x "$build/bin/tonvale" ] || "$root/scripts/build.sh" "$build"

inside=$(mktemp)
trap 'rm -f "$inside"' EXIT
cat >"$inside" <<'INSIDE'
#!/usr/bin/env bash
set -euo pipefail
program=$1
out=$2
openbox >/dev/null 2>&1 &
wm=$!
workdir=$(mktemp -d)
cp "$program" "$workdir/tonvale"
mkdir -p "$workdir/home/Documents"
# An English system: the dialogs must be Korean all the same.
export HOME="$workdir/home" LANG=en_US.UTF-8 LC_ALL=C.UTF-8
printf '[REPORT]\nCOMPANY=한국정밀프레스\nREPORT_NAME=12월 정기 점검\nUSER_NAME=김민준\n' >"$workdir/tonvale.ini"
"$workdir/tonvale" --simulate >"$workdir/output.txt" 2>&1 &
pid=$!
cleanup() { kill "$pid" "$wm" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$workdir"; }
trap cleanup EXIT
for _ in $(seq 1 100); do
  xdotool search --name "장비 연결 성공" >/dev/null 2>&1 && break
  sleep 0.1
done
window=$(xdotool search --name "압력 계측기" | head -1)
xdotool windowactivate "$window"
sleep 0.5
xdotool mousemove 252 87 click 1   # 장비 조회
sleep 4
xdotool mousemove 1210 716 click 1 # 엑셀 저장
sleep 2.5
import -window root -crop 1280x745+0+0 +repage "$out/save-dialog.png"
xdotool key Return                 # the proposed name in the documents folder
sleep 2.5
import -window root -crop 1280x745+0+0 +repage "$out/export-notice.png"
xdotool key Escape
ls "$HOME/Documents"
INSIDE
chmod +x "$inside"
xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" "$inside" "$build/bin/tonvale" "$out"

icons=$(mktemp -d)
for size in 256 48 24; do
  rsvg-convert -w "$size" -h "$size" "$root/packaging/tonvale.svg" -o "$icons/$size.png"
done
convert -background '#2b2b2b' "$icons/256.png" "$icons/48.png" "$icons/24.png" -gravity south +append \
  -bordercolor '#2b2b2b' -border 16 "$out/icon.png"
rm -rf "$icons"
echo "saved $out/save-dialog.png, $out/export-notice.png and $out/icon.png"
