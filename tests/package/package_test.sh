#!/usr/bin/env bash
# Builds the Debian package from a finished build folder (as `make package` does) and checks
# what it holds: exactly the files an installed Pelmora needs under /usr, nothing of the build
# tree (tests, benchmarks, libraries, headers); a manual page that is gzip data; the version
# of the CMake project; dependencies found by dpkg-shlibdeps plus the Qt platform plugins.
# Usage: package_test.sh BUILD_DIR VERSION [DEB]   (with DEB: check that file, build nothing)
set -u
BUILD="$1"
VERSION="$2"
DEB="${3:-}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }

if [ -z "$DEB" ]; then
    (cd "$BUILD" && cpack -G DEB -B "$WORK/out" >"$WORK/cpack.log" 2>&1) || { cat "$WORK/cpack.log"; exit 1; }
    DEB="$(ls "$WORK"/out/pelmora_*.deb 2>/dev/null | head -n1)"
    [ -n "$DEB" ] || { echo "FAIL: cpack made no pelmora_*.deb"; cat "$WORK/cpack.log"; exit 1; }
fi
case "$(basename "$DEB")" in
pelmora_"$VERSION"_*.deb) ;;
*) fail "package file name $(basename "$DEB") does not carry version $VERSION" ;;
esac

expected="./usr/bin/pelmora
./usr/libexec/pelmora/pelmora-lane
./usr/share/applications/pelmora.desktop
./usr/share/icons/hicolor/scalable/apps/pelmora.svg"
for size in 16 22 24 32 48 64 128 256; do
    expected+=$'\n'"./usr/share/icons/hicolor/${size}x${size}/apps/pelmora.png"
done
expected+=$'\n'"./usr/share/man/man1/pelmora.1.gz
./usr/share/metainfo/io.github.pelmora.Pelmora.metainfo.xml"

# Every entry that is not a folder, as `dpkg-deb -c` lists it.
files="$(dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ {print $6}' | sort)"
if [ "$files" != "$(sort <<<"$expected")" ]; then
    fail "the package's files differ from the expected list:"
    diff <(sort <<<"$expected") <(echo "$files") | sed 's/^/    /'
fi
dpkg-deb -c "$DEB" | awk '$6 == "./usr/bin/pelmora" || $6 == "./usr/libexec/pelmora/pelmora-lane" {print $1}' |
    grep -qvx -- '-rwxr-xr-x' && fail "a program is not mode 0755"

dpkg-deb -x "$DEB" "$WORK/root"
gzip -t "$WORK/root/usr/share/man/man1/pelmora.1.gz" 2>/dev/null || fail "the manual page is not gzip data"
zcat "$WORK/root/usr/share/man/man1/pelmora.1.gz" | grep -q "Pelmora $VERSION" || fail "the manual page lacks version $VERSION"
grep -q "<release version=\"$VERSION\"" "$WORK/root/usr/share/metainfo/io.github.pelmora.Pelmora.metainfo.xml" ||
    fail "the metainfo's release is not $VERSION"
"$WORK/root/usr/bin/pelmora" --version | grep -qx "pelmora $VERSION" || fail "the packaged program's --version"
readelf -S "$WORK/root/usr/bin/pelmora" | grep -q '\.debug_info' && fail "the program still has debug information"

[ "$(dpkg-deb -f "$DEB" Package)" = pelmora ] || fail "package name"
[ "$(dpkg-deb -f "$DEB" Version)" = "$VERSION" ] || fail "package version $(dpkg-deb -f "$DEB" Version)"
depends="$(dpkg-deb -f "$DEB" Depends)"
for dep in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 libsmbclient qt6-qpa-plugins; do
    tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -qxF "$dep" || fail "Depends lacks $dep: $depends"
done

echo "package $(basename "$DEB"): $(du -k "$DEB" | cut -f1) KiB"
echo "Depends: $depends"
[ "$FAILS" -eq 0 ] || exit 1
echo "package contents: all checks passed"
