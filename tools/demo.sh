#!/bin/sh
# Starts the DAS stand-in on a pseudo-terminal, maps COM1 to it and starts Wendrok against it,
# with settings and data folders of their own under build/demo-home (also its current folder),
# so a demo never touches an operator's real station. The stand-in stops when Wendrok ends;
# the console commands it received are in build/demo-home/das-standin.log.
#
#   sh tools/demo.sh [build folder] [arguments for wendrok...]
#   sh tools/demo.sh --check-display    (says what to do when there is no display to show on)
set -e

# Wendrok's windows need a display: X11 (DISPLAY), Wayland (WAYLAND_DISPLAY), or a Qt platform
# chosen on purpose (QT_QPA_PLATFORM, e.g. offscreen or vnc).
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ] && [ -z "$QT_QPA_PLATFORM" ]; then
    cat >&2 <<'EOF'
demo: there is no display to show Wendrok's windows on (DISPLAY and WAYLAND_DISPLAY are unset).
  - On a desktop, run `make demo` in a terminal of that desktop.
  - Without one, run it on a virtual X display (Xvfb):
        sudo apt-get install xvfb imagemagick
        xvfb-run -n 99 -s '-screen 0 1280x1024x24' make demo
    and take a picture of it from another shell:
        DISPLAY=:99 import -window root demo.png
  - QT_QPA_PLATFORM=offscreen make demo runs it with no visible window at all.
EOF
    exit 1
fi
[ "$1" = "--check-display" ] && exit 0
build=${1:-build/release}
[ $# -gt 0 ] && shift
home="$(pwd)/build/demo-home"
mkdir -p "$home/data" "$home/config"
export XDG_DATA_HOME="$home/data"
export XDG_CONFIG_HOME="$home/config"

standin="$build/bin/wendrok-das-standin"
if [ ! -x "$standin" ]; then
    echo "demo: $standin is missing (it is built with the tests: -DWENDROK_TESTS=ON)" >&2
    exit 1
fi

out="$home/das-standin.out"
log="$home/das-standin.log"
rm -f "$out"
"$standin" --com 1 --station 'Config\Demo.das' >"$out" 2>"$log" &
standin_pid=$!

stop_standin() {
    if [ -n "$standin_pid" ]; then
        kill -TERM "$standin_pid" 2>/dev/null || true
        wait "$standin_pid" 2>/dev/null || true
        standin_pid=
        tail -n 1 "$log" >&2 || true
    fi
}
trap stop_standin EXIT
trap 'stop_standin; exit 130' INT
trap 'stop_standin; exit 143' TERM

# The stand-in prints its device path once COM1 is mapped to it.
tries=0
while [ "$(cat "$out" 2>/dev/null | wc -l)" -lt 1 ]; do
    if ! kill -0 "$standin_pid" 2>/dev/null; then
        wait "$standin_pid" 2>/dev/null || true
        standin_pid=
        echo "demo: the DAS stand-in did not start:" >&2
        cat "$log" >&2
        exit 1
    fi
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then
        echo "demo: the DAS stand-in gave no device path within 10 s" >&2
        exit 1
    fi
    sleep 0.1
done
echo "demo: the DAS stand-in is on $(head -n 1 "$out") (COM1); its log: $log" >&2

# Wendrok runs in the demo's own folder, so that what it writes to its current folder (the
# protocol logs of the statistics window) stays there too.
program="$(cd "$build/bin" && pwd)/wendrok"
status=0
(cd "$home" && exec "$program" "$@") || status=$?
exit "$status"
