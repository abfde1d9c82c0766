#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a scratch root and checks what an
# installation would get: the files and their modes, the shipped udev rule, the desktop entry,
# the dependencies, a postinst that survives a system without udev, and lintian's verdict.
#   package_test.sh BUILD-DIR SOURCE-DIR VERSION
set -euo pipefail
build=$1 src=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" > "$work/cpack.log") || { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/out/vorlaine_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb: $(ls "$work/out")"
dpkg-deb -x "$deb" "$work/root"

while read -r path mode; do
  [ -f "$work/root/$path" ] || fail "missing /$path"
  [ "$(stat -c %a "$work/root/$path")" = "$mode" ] || fail "/$path has mode $(stat -c %a "$work/root/$path"), not $mode"
done <<'LIST'
usr/bin/vorlaine 755
usr/lib/udev/rules.d/70-vorlaine.rules 644
usr/share/applications/vorlaine.desktop 644
usr/share/icons/hicolor/64x64/apps/vorlaine.png 644
usr/share/doc/vorlaine/copyright 644
usr/share/doc/vorlaine/changelog.gz 644
usr/share/man/man1/vorlaine.1.gz 644
LIST
cmp "$work/root/usr/lib/udev/rules.d/70-vorlaine.rules" "$src/resources/70-vorlaine.rules" || fail "udev rule differs"
desktop-file-validate "$work/root/usr/share/applications/vorlaine.desktop" || fail "desktop entry"
file "$work/root/usr/bin/vorlaine" | grep -q ", stripped" || fail "binary not stripped"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libhidapi-hidraw0 libudev1 libsqlite3-0 libpq5 qt6-qpa-plugins qt6-translations-l10n; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

# postinst: no udevadm at all, and an udevadm that fails (a container without udevd).
dpkg-deb -e "$deb" "$work/control"
mkdir -p "$work/nobin" "$work/badbin"
printf '#!/bin/sh\nexit 1\n' > "$work/badbin/udevadm"
chmod +x "$work/badbin/udevadm"
PATH="$work/nobin" /bin/sh "$work/control/postinst" configure || fail "postinst without udevadm"
PATH="$work/badbin:/usr/bin:/bin" /bin/sh "$work/control/postinst" configure || fail "postinst with a failing udevadm"

if command -v lintian > /dev/null; then
  lintian --fail-on error --tag-display-limit 0 "$deb" | tee "$work/lintian.log" || fail "lintian reports errors"
fi
echo "package ok: $(basename "$deb")"
