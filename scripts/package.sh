#!/usr/bin/env bash
# Builds the Debian package tonvale_<version>_amd64.deb with CPack and checks it with lintian.
# Usage: scripts/package.sh [BUILD_DIR] [OUTPUT_DIR]   (defaults: build, out)
# The build folder is the one scripts/build.sh and scripts/test.sh use, so a tested build is packaged as it
# is. lintian's findings are printed; an error among them fails the script.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
out=${2:-"$root/out"}
mkdir -p "$out"
out=$(cd "$out" && pwd)

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$build"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
rm -f "$out"/tonvale_*_amd64.deb
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; exit 1; }
rm -rf "$out/_CPack_Packages"
deb="$out/tonvale_${version}_amd64.deb"
[ -f "$deb" ] || { echo "package.sh: no $deb" >&2; exit 1; }
echo "built $deb"

if command -v lintian >/dev/null; then
  echo "lintian:"
  lintian --pedantic -I --fail-on error "$deb"
fi
