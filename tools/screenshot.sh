#!/usr/bin/env bash
# Takes a picture of the real window on a virtual 1920x1080 screen.
#   tools/screenshot.sh OUT.png [PROGRAM] [SECONDS]
# Needs xvfb and imagemagick (and openbox, so that the window can be maximised).
# Settings are read from $HOME: point HOME at a prepared folder to show a listing.
set -euo pipefail
out=$(readlink -f "$1")
program=${2:-build/app/quillmark}
wait=${3:-4}
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    command -v openbox >/dev/null && { openbox & sleep 1; }
    "$0" & app=$!
    sleep "$2"
    import -window root "$1"
    kill $app' "$program" "$out" "$wait"
