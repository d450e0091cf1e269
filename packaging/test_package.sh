#!/usr/bin/env bash
# Packs the build tree into the Debian package, unpacks it into a temporary root the way dpkg
# would, and runs the program and the simulator from there: the package must hold what they
# need where they look for it, and its Depends must name the libraries they load.
#
#   test_package.sh BUILD-DIR SOURCE-DIR CPACK
#
# Exits 77 (skipped) where the Debian packaging tools are not installed.
set -euo pipefail

build=$1
source=$2
cpack=$3

for tool in "$cpack" dpkg-deb dpkg-shlibdeps file; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is not installed (the package test needs dpkg-dev, file and cpack)"
        exit 77
    fi
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# --- The package: built from this tree as `scripts/dev package` builds it, but with the faster
# compression (the test tree's binaries are large).
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" \
    -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack could not build the package"
fi
debs=("$work"/out/quorvex_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one quorvex_*.deb, found: ${debs[*]}"
deb=${debs[0]}

dpkg-deb -f "$deb" Package Version Architecture Maintainer Section Depends >"$work/control"
cat "$work/control"
grep -qx 'Package: quorvex' "$work/control" || fail "the package is not named quorvex"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
grep -qx "Version: $version" "$work/control" || fail "the package version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6charts6 libqt6svg6 \
    libusb-1.0-0 libc6; do
    [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]] ||
        fail "Depends does not name $lib: $depends"
done

# --- Unpacked: the layout.
root=$work/root
dpkg -x "$deb" "$root"
usr=$root/usr
for program in quorvex quorvex-sim; do
    [ -x "$usr/bin/$program" ] || fail "usr/bin/$program is missing"
done
# Everything the program reads lies at bin/../share/quorvex, as in the source tree.
data=$usr/bin/../share/quorvex
cmp "$source/data/troublecode.tcf" "$data/troublecode.tcf" || fail "troublecode.tcf differs"
for file in "$source"/data/pictures/*.svg; do
    cmp "$file" "$data/pictures/${file##*/}" || fail "picture ${file##*/} differs or is missing"
done
for file in "$source"/sim/scenarios/*.json; do
    cmp "$file" "$data/scenarios/${file##*/}" || fail "scenario ${file##*/} differs or is missing"
done
# The udev rule has placeholders: it ships as a template, never as an active rule.
cmp "$source/data/70-quorvex-usb.rules" "$data/udev/70-quorvex-usb.rules" ||
    fail "the udev rule template differs or is missing"
active=$(find "$root" -path '*/udev/rules.d/*')
[ -z "$active" ] || fail "a udev rule is installed active: $active"

desktop=$usr/share/applications/quorvex.desktop
[ -f "$desktop" ] || fail "the desktop entry is missing"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
fi
grep -qx 'Exec=quorvex' "$desktop" || fail "the desktop entry does not start quorvex"
grep -qx 'Icon=quorvex' "$desktop" || fail "the desktop entry does not name the icon"
icon=$usr/share/icons/hicolor/scalable/apps/quorvex.svg
file -b "$icon" | grep -q '^SVG' || fail "the icon is not an SVG image: $(file -b "$icon")"
[ -f "$usr/share/doc/quorvex/README.md" ] || fail "the README is missing"

# --- The program, from the unpacked root.
export QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
cd "$work" # no scenario file of the same name in the working directory
"$usr/bin/quorvex" --help >"$work/help.txt" || fail "quorvex --help failed"
head -n 1 "$work/help.txt" | grep -q '^Usage: quorvex ' || fail "quorvex --help: $(cat "$work/help.txt")"

# A scenario given by name is found only under bin/../share/quorvex/scenarios: with a name the
# package lacks the program stops at once, with a shipped one it opens the simulator's pty.
set +e
"$usr/bin/quorvex" --simulate no-such-car >/dev/null 2>"$work/nosuch.txt"
status=$?
set -e
[ $status -eq 2 ] && grep -q no-such-car "$work/nosuch.txt" ||
    fail "quorvex --simulate no-such-car: status $status: $(cat "$work/nosuch.txt")"
"$usr/bin/quorvex" --simulate longvin >"$work/gui.txt" 2>&1 &
gui=$!
pids+=("$gui")
opened=
for _ in $(seq 600); do
    if ! kill -0 "$gui" 2>/dev/null; then
        cat "$work/gui.txt" >&2
        fail "quorvex --simulate longvin ended"
    fi
    if [ -n "$(find "/proc/$gui/fd" -lname /dev/ptmx 2>/dev/null)" ]; then
        opened=yes
        break
    fi
    sleep 0.1
done
[ -n "$opened" ] || fail "quorvex --simulate longvin opened no pty within a minute"
kill "$gui"
wait "$gui" 2>/dev/null || true

# --- The simulator, from the unpacked root.
"$usr/bin/quorvex-sim" --help >"$work/simhelp.txt" || fail "quorvex-sim --help failed"
grep -q -- '--scenario' "$work/simhelp.txt" || fail "quorvex-sim --help: $(cat "$work/simhelp.txt")"
mkfifo "$work/simout"
"$usr/bin/quorvex-sim" --scenario "$data/scenarios/default.json" --link "$work/tty" \
    >"$work/simout" 2>"$work/simerr.txt" &
sim=$!
pids+=("$sim")
exec 3<"$work/simout"
read -r -t 60 device <&3 || fail "quorvex-sim printed no device: $(cat "$work/simerr.txt")"
[ -c "$device" ] && [ "$(readlink "$work/tty")" = "$device" ] ||
    fail "quorvex-sim serves no pty at $device"
# Idle, the interface sends ready marks ("S": vehicle contact).
stty -F "$device" raw -echo
marks=$(timeout 10 head -c 3 "$device" || true)
[ "$marks" = SSS ] || fail "no ready marks from the simulator's pty: '$marks'"
kill -TERM "$sim"
wait "$sim" || fail "quorvex-sim did not stop cleanly: $(cat "$work/simerr.txt")"
exec 3<&-
[ ! -e "$work/tty" ] || fail "quorvex-sim left its symlink behind"

# --- The man page says what --help says: every block of the help text, the usage line after
# "Usage:", appears in the rendered page word for word.
man=$usr/share/man/man1/quorvex.1.gz
[ -f "$man" ] || fail "the man page is missing"
if command -v groff >/dev/null; then
    gzip -dc "$man" >"$work/quorvex.1"
    # One line per paragraph (a very long line, no hyphenation), plain ASCII.
    groff -man -Tascii -P-cbou -ww -rLL=5000n -rHY=0 "$work/quorvex.1" >"$work/man.txt" \
        2>"$work/groff.txt"
    [ ! -s "$work/groff.txt" ] || fail "groff warns about the man page: $(cat "$work/groff.txt")"
    normalize() { tr -s ' \n' '  ' | sed 's/^ //; s/ $//'; }
    page=$(normalize <"$work/man.txt")
    blocks=0
    while IFS= read -r -d '' block; do
        text=$(printf '%s' "$block" | sed '1s/^Usage: //' | normalize)
        [ -n "$text" ] || continue
        [[ "$page" == *"$text"* ]] || fail "the man page lacks this part of --help: $text"
        blocks=$((blocks + 1))
    done < <(awk 'BEGIN { RS = ""; ORS = "\0" } { print }' "$work/help.txt")
    [ $blocks -ge 3 ] || fail "the help text has only $blocks blocks"
else
    echo "note: groff is not installed; the man page's text is not compared with --help"
fi

echo "$(basename "$deb"): $(stat -c %s "$deb") bytes, unpacked and run from $root"
