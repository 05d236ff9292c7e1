#!/usr/bin/env bash
# Builds the Debian package from this build tree, unpacks it into a temporary folder and checks that the
# unpacked program is whole: the files are where the desktop and udev look for them, the package depends
# on what the binaries need, and the unpacked tonvale-cli reads the simulated instrument.
# Usage: deb_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb="$work/out/tonvale_${version}_amd64.deb"
[ -f "$deb" ] || { ls "$work/out"; echo "FAIL: no $deb"; exit 1; }
root="$work/root"
dpkg-deb -x "$deb" "$root"

for f in usr/bin/tonvale usr/bin/tonvale-cli \
         usr/share/applications/tonvale.desktop \
         usr/share/icons/hicolor/scalable/apps/tonvale.svg \
         usr/share/metainfo/tonvale.metainfo.xml \
         usr/lib/udev/rules.d/70-tonvale-ft260.rules \
         usr/share/tonvale/help.dat \
         usr/share/man/man1/tonvale.1.gz usr/share/man/man1/tonvale-cli.1.gz \
         usr/share/doc/tonvale/copyright usr/share/doc/tonvale/changelog.gz; do
  [ -f "$root/$f" ] || fail "the package lacks /$f"
done

# The desktop entry starts a program the package installs, with an icon it installs.
entry="$root/usr/share/applications/tonvale.desktop"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
icon_name=$(sed -n 's/^Icon=//p' "$entry")
[ -x "$root/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon_name.svg" ] || fail "Icon=$icon_name is not an installed icon"
rsvg-convert -w 64 -h 64 "$root/usr/share/icons/hicolor/scalable/apps/$icon_name.svg" -o "$work/icon.png" ||
  fail "the icon does not render"

# The help notice is UTF-16 with a byte-order mark, as the help button reads it.
[ "$(head -c 2 "$root/usr/share/tonvale/help.dat" | od -An -tx1 | tr -d ' ')" = "fffe" ] ||
  fail "help.dat does not start with a UTF-16 little-endian byte-order mark"
iconv -f UTF-16 -t UTF-8 "$root/usr/share/tonvale/help.dat" | grep -q "A/S" || fail "help.dat does not hold the service notice"

# Dependencies computed from the binaries, plus what Qt loads at run time.
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6core6 libqt6widgets6 libhidapi-libusb0 libgsf-1-114 libc6 qt6-qpa-plugins qt6-translations-l10n; do
  grep -q "\b$p\b" <<<"$depends" || fail "Depends lacks $p: $depends"
done

# The maintainer script reloads udev's rules and is executable.
dpkg-deb -e "$deb" "$work/control"
[ -x "$work/control/postinst" ] || fail "no executable postinst"
grep -q "udevadm control --reload-rules" "$work/control/postinst" || fail "postinst does not reload udev rules"

# No search path into the build tree: the unpacked programs find only the system's libraries.
for b in tonvale tonvale-cli; do
  if readelf -d "$root/usr/bin/$b" | grep -Eq 'RPATH|RUNPATH'; then
    fail "$b carries a library search path: $(readelf -d "$root/usr/bin/$b" | grep -E 'RPATH|RUNPATH')"
  fi
done

# The unpacked command-line program reads the simulated instrument's identity from where it lies.
cd "$work"
if out=$("$root/usr/bin/tonvale-cli" --simulate --virtual-time info 2>"$work/stderr"); then
  [ "$(grep -c $'\t' <<<"$out")" -eq 8 ] || fail "info printed no eight identity lines: $out"
else
  fail "the unpacked tonvale-cli info failed: $(cat "$work/stderr")"
fi
"$root/usr/bin/tonvale" --version | grep -qx "tonvale $version" || fail "the unpacked tonvale does not report version $version"

[ "$failures" -eq 0 ] || exit 1
echo "package $(basename "$deb") unpacked and checked"
