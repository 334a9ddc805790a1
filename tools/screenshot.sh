#!/usr/bin/env bash
# Takes a picture of the real window on a virtual 1920x1080 screen (or SCREEN=WxH).
#   tools/screenshot.sh OUT.png [PROGRAM] [SECONDS] [ARGUMENTS...]
# Needs xvfb and imagemagick (and openbox, so that the window can be maximised).
# Settings are read from $HOME: point HOME at a prepared folder to show a listing.
set -euo pipefail
out=$(readlink -f "$1")
program=${2:-build/app/quillmark}
wait=${3:-4}
shift $(($# < 3 ? $# : 3))
xvfb-run -a -s "-screen 0 ${SCREEN:-1920x1080}x24" bash -c '
    command -v openbox >/dev/null && { openbox & sleep 1; }
    program=$0 out=$1 wait=$2
    shift 2
    "$program" "$@" & app=$!
    sleep "$wait"
    import -window root "$out"
    kill $app' "$program" "$out" "$wait" "$@"
