#!/usr/bin/env bash
# Starts Tonvale on the simulated instrument inside a virtual X server, clicks "장비 조회" once the
# caption says the bridge is there, and saves the window as a PNG.
# Usage: scripts/screenshot.sh [BUILD_DIR] [OUTPUT_PNG]   (defaults: build, docs/screenshot.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
out=${2:-"$root/docs/screenshot.png"}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

"$root/scripts/install-deps.sh"
# Beyond the project's packages the script needs xdotool to click and ImageMagick's import to capture.
extra=()
command -v xdotool >/dev/null || extra+=(xdotool)
command -v import >/dev/null || extra+=(imagemagick)
if [ ${#extra[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${extra[@]}"
fi
if [ ! -x "$build/bin/tonvale" ]; then
  TONVALE_TARGETS=tonvale "$root/scripts/build.sh" "$build"
fi
mkdir -p "$(dirname "$out")"

# The part that runs inside the virtual display.
inside=$(mktemp)
trap 'rm -f "$inside"' EXIT
cat >"$inside" <<'INSIDE'
#!/usr/bin/env bash
set -euo pipefail
program=$1
out=$2
workdir=$(mktemp -d)
# The program keeps its INI file and Log beside itself; run a copy so the build tree stays clean.
cp "$program" "$workdir/tonvale"
# Report texts as an operator would have left them, so the picture shows where they appear.
printf '[REPORT]\nCOMPANY=한국정밀프레스\nREPORT_NAME=5월 정기 점검\nUSER_NAME=김민준\n' >"$workdir/tonvale.ini"
"$workdir/tonvale" --simulate >"$workdir/output.txt" 2>&1 &
pid=$!
cleanup() { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$workdir"; }
trap cleanup EXIT

wait_for_title() {
  for _ in $(seq 1 100); do
    if xdotool search --name "$1" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  echo "screenshot: no window titled '$1'" >&2
  cat "$workdir/output.txt" >&2
  return 1
}
# The presence poll finds the simulated bridge within a second of the start.
wait_for_title "압력 계측기 : 장비 연결 성공"
window=$(xdotool search --name "압력 계측기" | head -1)
# "장비 조회" keeps its place beside the help picture at the top left.
xdotool mousemove --window "$window" 252 87 click 1
# Eight identity reads and the stored-record download take well under two seconds in real time.
sleep 3
xdotool mousemove --window "$window" 640 400
echo "caption: $(xdotool getwindowname "$window")"
import -window root -crop 1280x720+0+0 +repage "$out"
INSIDE
chmod +x "$inside"

xvfb-run -a -s "-screen 0 1280x720x24 -dpi 96" "$inside" "$build/bin/tonvale" "$out"
echo "saved $out"
