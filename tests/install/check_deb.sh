#!/usr/bin/env bash
# Checks a built zorvex .deb: its control fields (name, version, section,
# Depends found by dpkg-shlibdeps), that it holds what an installation needs,
# and that its programs are stripped.
# Usage: check_deb.sh PACKAGE.deb VERSION
set -euo pipefail
deb=$1 version=$2
app_id=org.zorvex.Zorvex

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
field() { dpkg-deb --field "$deb" "$1"; }

[[ $(field Package) == zorvex ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version), the project is $version"
[[ $(field Section) == science ]] || fail "Section: $(field Section)"
[[ -n $(field Maintainer) ]] || fail "no Maintainer"
# The libraries the programs link, as dpkg-shlibdeps names them.
depends=$(field Depends)
depend_names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for library in libc6 libstdc++6 libqt6widgets6 libqt6printsupport6 libsqlite3-0 libusb-0.1-4; do
    grep -qxF "$library" <<<"$depend_names" || fail "Depends lacks $library: $depends"
done
description=$(field Description)
grep -q 'hand-held meter' <<<"$description" || fail "no English description"
grep -q 'измерителя' <<<"$description" || fail "no Russian description"

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for path in \
    ./usr/bin/zorvex \
    ./usr/bin/zorvex-cli \
    ./usr/share/applications/$app_id.desktop \
    ./usr/share/metainfo/$app_id.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/$app_id.svg \
    ./usr/share/icons/hicolor/48x48/apps/$app_id.png \
    ./usr/share/icons/hicolor/256x256/apps/$app_id.png \
    ./usr/share/man/man1/zorvex-cli.1.gz \
    ./usr/lib/udev/rules.d/70-zorvex-meter.rules; do
    grep -qxF "$path" <<<"$contents" || fail "$path not in the package"
done

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb --extract "$deb" "$unpacked"
for program in zorvex zorvex-cli; do
    [[ -f $unpacked/usr/bin/$program ]] || continue
    # Stripped: no symbol table and no debug sections left.
    if readelf -S -W "$unpacked/usr/bin/$program" | grep -q -E '\.(symtab|debug_info)'; then
        fail "usr/bin/$program is not stripped"
    fi
done
# The manual page of the package names the rule where the package puts it.
zgrep -q 'usr/lib/udev/rules.d/70\\-zorvex\\-meter.rules' "$unpacked/usr/share/man/man1/zorvex-cli.1.gz" ||
    fail "zorvex-cli.1 does not name /usr/lib/udev/rules.d/70-zorvex-meter.rules"

if ((failures)); then
    echo "$deb: $failures failure(s)" >&2
    exit 1
fi
echo "$deb: $(stat -c %s "$deb") bytes, in order"
