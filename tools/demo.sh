#!/bin/sh
# Starts Wendrok with settings and data folders of its own under build/demo-home, so a demo
# never touches an operator's real station.
set -e
build=${1:-build/release}
home="$(pwd)/build/demo-home"
mkdir -p "$home/data" "$home/config"
export XDG_DATA_HOME="$home/data"
export XDG_CONFIG_HOME="$home/config"
exec "$build/bin/wendrok"
