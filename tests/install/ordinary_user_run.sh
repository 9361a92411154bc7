#!/usr/bin/env bash
# The installed zorvex-cli run by an ordinary user, as after a package
# install: a program directory the user cannot write to, a fresh home, a
# start directory that is not the user's. Downloads (from the demonstration
# meter and from a memory-image file) must land in the user's data directory
# ~/.local/share/zorvex/data.db and nowhere else.
# Run as root, the commands run as nobody (uid 65534); otherwise as the caller.
# A stored protocol in the same data directory prints to a PDF in the start
# directory the user may write to.
# Usage: ordinary_user_run.sh CMAKE BUILD_DIR DEMO_IMAGE_TOOL DEMO_PROTOCOL_TOOL
set -euo pipefail
cmake=$1 build=$2 image_tool=$3 protocol_tool=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
chmod -R a+rX,go-w "$prefix"
chmod a-w "$prefix/bin"

image=$work/demo.img
"$image_tool" "$image"
chmod 644 "$image"

home=$work/home
start=$work/start
mkdir "$home" "$start"
chmod 555 "$start"
as_user=()
if [[ $(id -u) -eq 0 ]]; then
    chown 65534:65534 "$home"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
user_id=$("${as_user[@]}" id -u)

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# zorvex-cli ARGS... as the user, in the start directory, with nothing of the
# caller's environment but a locale; stdout to $out, stderr to $err.
cli() {
    local status=0
    (cd "$start" && env -i HOME="$home" PATH=/usr/bin:/bin LC_ALL=C.UTF-8 \
        "${as_user[@]}" "$prefix/bin/zorvex-cli" "$@") >"$work/out" 2>"$work/err" || status=$?
    out=$(cat "$work/out") err=$(cat "$work/err")
    return $status
}
# The records a download read: the third column of its count lines.
stored_count() { awk -F '\t' '{sum += $3} END {print sum + 0}' <<<"$1"; }

# Nothing existed before the first command.
data_dir=$home/.local/share/zorvex
database=$data_dir/data.db

if ! cli --demo download; then
    fail "zorvex-cli --demo download: $err"
fi
demo_records=$(stored_count "$out")
[[ $demo_records -gt 0 ]] || fail "--demo download read no records: $out"
if [[ ! -f $database ]]; then
    fail "no data.db in ~/.local/share/zorvex after --demo download; files under home: $(cd "$home" && find . | tr '\n' ' ')"
else
    [[ $(stat -c %u "$database") == "$user_id" ]] || fail "data.db is not the user's"
    # The measurements are the user's own business.
    mode=$(stat -c %a "$data_dir")
    [[ $mode == 700 ]] || fail "$data_dir has mode $mode, expected 700"
fi

if ! cli list --format json; then
    fail "zorvex-cli list: $err"
elif [[ $(grep -c . <<<"$out") -ne $demo_records ]]; then
    fail "list shows $(grep -c . <<<"$out") records, the download stored $demo_records"
fi

# The same meter's memory from a file: decoded, then downloaded into the same database.
if ! cli decode "$image" --format json; then
    fail "zorvex-cli decode: $err"
elif [[ $(grep -c . <<<"$out") -ne $demo_records ]]; then
    fail "decode shows $(grep -c . <<<"$out") records of the image, the demonstration meter has $demo_records"
fi
if ! cli download --image "$image"; then
    fail "zorvex-cli download --image: $err"
elif [[ $(stored_count "$out") -ne $demo_records ]]; then
    fail "download --image read $(stored_count "$out") records, the image holds $demo_records"
fi

# A protocol stored by the window (its row in data.db, its measurements in
# protocols/ of the data directory) prints as the user, into the user's home.
"$protocol_tool" "$work/stored"
if [[ -n ${as_user[*]} ]]; then chown -R 65534:65534 "$work/stored"; fi
rm -f "$database"
"${as_user[@]}" cp -a "$work/stored/." "$data_dir/"
rm -rf "$work/stored"
if ! (cd "$home" && env -i HOME="$home" PATH=/usr/bin:/bin LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen \
        "${as_user[@]}" "$prefix/bin/zorvex-cli" protocol pdf 1 protocol.pdf) >"$work/out" 2>"$work/err"; then
    fail "zorvex-cli protocol pdf: $(cat "$work/err")"
elif [[ $(pdftotext "$home/protocol.pdf" -) != *"ПРОТОКОЛ № 17/2026"* ]]; then
    fail "the printed protocol lacks its number"
else
    [[ $(stat -c %u "$home/protocol.pdf") == "$user_id" ]] || fail "protocol.pdf is not the user's"
fi

# One database, in the data directory: none beside the program or in the start directory.
found=$(find "$work" -name data.db | sort)
[[ $found == "$database" ]] || fail "databases found: ${found:-none}"

if ((failures)); then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "an ordinary user's downloads land in $database"
