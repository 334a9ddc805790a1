#!/usr/bin/env bash
# Takes the README's picture of the window: a small folder of packages, two of them
# alike, listed, and a package of scenes, looks, clothing, hair, a pose, a script and
# a sound selected (build/tools/librarytour drives the real window).
#   tools/window-screenshot.sh OUT.png
# Needs what tools/screenshot.sh needs, and 7-Zip to make the packages.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(readlink -f "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
packages=$work/pkgs
seven=$(command -v 7zz || command -v 7z)

# The package NAME in FOLDER, made of the files of the stage folder, which it empties.
pack() {
    mkdir -p "$packages/$2"
    (cd "$work/stage" && "$seven" a -tzip -bd -spd -- "$packages/$2/$1.var" . >/dev/null)
    rm -rf "$work/stage"
}
# A stage file with the given text.
put() {
    mkdir -p "$work/stage/$(dirname "$1")"
    printf '%s' "$2" >"$work/stage/$1"
}
# A stage picture: a gradient of the given hue with a caption.
picture() {
    mkdir -p "$work/stage/$(dirname "$1")"
    convert -size 512x512 "gradient:hsl($2,75%,55%)-hsl($2,80%,95%)" -font DejaVu-Sans \
        -pointsize 56 -gravity center -annotate 0 "$3" "$work/stage/$1"
}

for package in Looks/Ava.Looks.4 Looks/Ava.Outfits.1 Looks/Kit.Poses.7 Scenes/Kit.Poses.7 \
    Looks/Maker.Props.12 Looks/Night.Sky.5 Looks/Studio.Lights.3 Looks/Zed.Morphs.2; do
    put meta.json '{"licenseType":"CC BY"}'
    put Custom/readme.txt "${package#*/}"
    pack "${package#*/}" "${package%%/*}"
done
put meta.json '{"licenseType":"CC BY","dependencies":{"Ava.Looks.latest":{"licenseType":"CC BY"},
"Maker.Props.12":{"licenseType":"PC"},"Sound.Pack.latest":{"licenseType":"CC BY-SA"},
"Studio.Lights.3":{"licenseType":"FC"}}}'
put Custom/Scripts/Dance.cs '// dance'
put Custom/Sounds/waves.ogg 'OggS'
put Saves/scene/Beach_Party.json '{"atoms":[]}'
picture Saves/scene/Beach_Party.jpg 200 "Beach Party"
put Saves/scene/Night_Club.json '{"atoms":[]}'
picture Saves/scene/Night_Club.jpg 290 "Night Club"
put Custom/Atom/Person/Appearance/Preset_Ava.vap '{}'
picture Custom/Atom/Person/Appearance/Preset_Ava.jpg 10 "Look"
put Custom/Clothing/Female/Ava/Summer_Dress/Summer_Dress.vam '{}'
picture Custom/Clothing/Female/Ava/Summer_Dress/Summer_Dress.jpg 35 "Dress"
put Custom/Hair/Female/Ava/Long_Waves.vam '{}'
picture Custom/Hair/Female/Ava/Long_Waves.jpg 50 "Hair"
put Custom/Atom/Person/Pose/Preset_Wave.vap '{}'
picture Custom/Atom/Person/Pose/Preset_Wave.jpg 340 "Pose"
pack Morrow.BeachParty.2 Scenes

mkdir -p "$work/home/.config/Morrowquay"
printf '[RecentVar]\nPath1=%s\n[RecentDest]\nPath1=%s\n' "$packages" "$work/moved" \
    >"$work/home/.config/Morrowquay/Quillmark.conf"
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache \
    tools/screenshot.sh "$out" "$PWD/build/tools/librarytour/librarytour" 10 \
    --package Morrow.BeachParty.2.var
