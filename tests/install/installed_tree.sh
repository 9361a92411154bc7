#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what a desktop, the manual
# and udev read from it: every file in place and accepted by the tool that
# reads it, the icon in each size it claims, the manual page in step with the
# tool's own help, and both programs starting from the installed tree.
# Usage: installed_tree.sh CMAKE BUILD_DIR GUI(0|1)
set -euo pipefail
cmake=$1 build=$2 gui=$3
app_id=org.zorvex.Zorvex
icon_sizes=(16 22 24 32 48 64 128 256)

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# Runs a checker; any output or a non-zero exit is a failure.
clean() {
    local what=$1 out
    shift
    if ! out=$("$@" 2>&1) || [[ -n "$out" ]]; then
        fail "$what:"$'\n'"$out"
    fi
}
# Runs a checker that always prints; a non-zero exit is a failure.
passes() {
    local what=$1 out
    shift
    out=$("$@" 2>&1) || fail "$what:"$'\n'"$out"
}
export LC_ALL=C.UTF-8 MANWIDTH=80

# --- programs ------------------------------------------------------------------------
cli=$prefix/bin/zorvex-cli
if [[ ! -x $cli ]]; then
    fail "bin/zorvex-cli missing"
    exit 1
fi
if ! help=$("$cli" --help) || [[ $help != "Использование: zorvex-cli"* ]]; then
    fail "installed zorvex-cli --help: $help"
fi
if ((gui)); then
    if [[ ! -x $prefix/bin/zorvex ]]; then
        fail "bin/zorvex missing"
    elif ! out=$("$prefix/bin/zorvex" --help 2>/dev/null) || [[ $out != "Использование: zorvex"* ]]; then
        fail "installed zorvex --help: $out"
    fi
fi

# --- manual pages ----------------------------------------------------------------------
pages=(zorvex-cli)
((gui)) && pages+=(zorvex)
for page in "${pages[@]}"; do
    file=$prefix/share/man/man1/$page.1.gz
    if [[ ! -f $file ]]; then
        fail "share/man/man1/$page.1.gz missing"
        continue
    fi
    # Every groff warning (-ww), the input read as UTF-8 (-k) as man-db does.
    clean "groff warns on $page.1" bash -c 'zcat "$1" | groff -k -man -Tutf8 -ww -z' _ "$file"
    out=$(man -l "$file" 2>&1 >/dev/null) || fail "man -l $page.1.gz: $out"
    zgrep -q '@[A-Z_]*@' "$file" && fail "$page.1: unfilled placeholder"
    [[ $(lexgrog "$file" 2>&1) == *"\"$page - "* ]] || fail "$page.1: no whatis line: $(lexgrog "$file" 2>&1)"
done

# The page's command list is the tool's: a command added to or dropped from
# the tool shows here. Command tags are the lines of the section indented by
# exactly seven columns.
page_text=$(man -l "$prefix/share/man/man1/zorvex-cli.1.gz" 2>/dev/null || true)
page_commands=$(awk '/^КОМАНДЫ$/ {on = 1; next} /^[^ ]/ {on = 0} on && /^       [^ ]/ {print $1}' <<<"$page_text" |
                sort -u)
help_commands=$(awk '/^Команды:$/ {on = 1; next} /^$/ {on = 0} on {print $1}' <<<"$help" | sort -u)
if [[ -z $help_commands || $page_commands != "$help_commands" ]]; then
    fail "commands in the manual page differ from zorvex-cli --help:"$'\n'"$(diff <(echo "$page_commands") <(echo "$help_commands"))"
fi
# Every option the tool names in its help is described.
options=$(grep -o -- '--[a-z0-9-]*' <<<"$help" || true)
for command in $help_commands; do
    options+=$'\n'$("$cli" "$command" --help | grep -o -- '--[a-z0-9-]*' || true)
done
for option in $(sort -u <<<"$options"); do
    grep -q -e "^       $option\b" <<<"$page_text" || fail "manual page does not describe $option"
done

# --- udev rule ----------------------------------------------------------------------------
rules=("$prefix"/lib/udev/rules.d/*.rules)
if [[ ${#rules[@]} -ne 1 || ! -f ${rules[0]} ]]; then
    fail "expected one rule file in lib/udev/rules.d, found: ${rules[*]}"
else
    rule=${rules[0]}
    # uaccess takes effect in 73-seat-late.rules: a rule sorting after it is ignored.
    [[ $(basename "$rule") < 73-seat-late.rules ]] || fail "$(basename "$rule") sorts after 73-seat-late.rules"
    matcher='^SUBSYSTEM=="usb", ENV\{DEVTYPE\}=="usb_device", ATTR\{idVendor\}=="03eb", ATTR\{idProduct\}=="13d4", TAG\+="uaccess"$'
    [[ $(grep -c -E "$matcher" "$rule") -eq 1 ]] || fail "$(basename "$rule") does not give the 03eb:13d4 meter to the seat user"
    # Any other line is a comment or blank: udev would act on it.
    grep -v -E "$matcher|^#|^$" "$rule" && fail "$(basename "$rule") has other rules"
fi

# --- desktop entry, icons, metainfo ---------------------------------------------------------
if ((gui)); then
    desktop=$prefix/share/applications/$app_id.desktop
    metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
    if [[ ! -f $desktop ]]; then
        fail "share/applications/$app_id.desktop missing"
    else
        clean "desktop-file-validate" desktop-file-validate "$desktop"
        exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
        [[ -x $prefix/bin/$exec_program ]] || fail "Exec=$exec_program is not an installed program"
        icon=$(sed -n 's/^Icon=//p' "$desktop")
        [[ -f $prefix/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "scalable icon $icon.svg missing"
        for size in "${icon_sizes[@]}"; do
            png=$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png
            if [[ ! -f $png ]]; then
                fail "icon ${size}x${size}/apps/$icon.png missing"
                continue
            fi
            # PNG signature, then the IHDR chunk: width and height, big-endian.
            header=$(od -A n -t x1 -N 24 "$png" | tr -d ' \n')
            expected=$(printf '89504e470d0a1a0a0000000d49484452%08x%08x' "$size" "$size")
            [[ $header == "$expected" ]] || fail "${size}x${size}/apps/$icon.png is not a ${size}x${size} PNG"
        done
    fi
    if [[ ! -f $metainfo ]]; then
        fail "share/metainfo/$app_id.metainfo.xml missing"
    else
        # --strict: a warning or an info fails too, only pedantic hints pass.
        passes "appstreamcli validate" appstreamcli validate --no-net --strict "$metainfo"
        # The tree as a software centre sees it: metainfo, its desktop entry and icon together.
        passes "appstreamcli validate-tree" appstreamcli validate-tree --no-net --strict "$prefix"
        grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
            fail "metainfo does not launch $app_id.desktop"
    fi
fi

if ((failures)); then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "installed tree in order"
