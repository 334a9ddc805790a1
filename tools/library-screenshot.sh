#!/usr/bin/env bash
# Takes the README's picture of the library controls: a generated folder of a few
# hundred packages, listed, with a filter typed, the "Used by" tab and the library
# report open (build/tools/librarytour drives the real window); with --space, the
# report's Space tab with the largest creator clicked and pointed at.
#   tools/library-screenshot.sh OUT.png [--space]
# Needs what tools/screenshot.sh needs, and 7-Zip to make the packages.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(readlink -f "$1")
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
packages=$work/AddonPackages
seven=$(command -v 7zz || command -v 7z)

creators=(Aurora NightOwl Vesper Kestrel Marlowe Juniper Sable Tamsin Orrin Wren)
items=(ClubScene Hair_Bob Hair_Braids LookBook Poses_Yoga Outfit_Denim Lighting_Studio
       Morphs_Face Skin_Freckles Beach_Set Hair_Ponytail Dance_Moves Cafe_Scene Plugin_Timeline)
RANDOM=20261207
made=()
# One picture per kind of item, as the scene's thumbnail.
mkdir -p "$work/stage/Saves/scene" "$work/pictures"
hue=0
for item in "${items[@]}"; do
    convert -size 512x512 "gradient:hsl($hue,70%,55%)-hsl($((hue + 40)),80%,85%)" \
        "$work/pictures/$item.jpg"
    hue=$(((hue + 27) % 360))
done
# Textures of a few sizes, which some packages carry, so that creators differ in space.
textures=(256 512 1024 1536)
for size in "${textures[@]}"; do
    convert -size "${size}x${size}" xc:gray +noise Random "$work/pictures/texture$size.jpg"
done
# A package with the given dependencies, in a creator's own sub-folder, holding a
# scene and its thumbnail.
package() {
    local name=$1 folder=$packages/${1%%.*} item
    item=$(echo "$1" | cut -d. -f2)
    shift
    local deps="" dep
    for dep in "$@"; do
        deps+="${deps:+,}\"$dep\":{\"licenseType\":\"CC BY\"}"
    done
    mkdir -p "$folder"
    printf '{"licenseType":"CC BY","dependencies":{%s}}' "$deps" >"$work/stage/meta.json"
    printf '{"atoms":[]}' >"$work/stage/Saves/scene/$item.json"
    cp "$work/pictures/$item.jpg" "$work/stage/Saves/scene/$item.jpg"
    # Chosen by the name, not by $RANDOM, so that the packages and their dependencies
    # stay those of the pictures made before textures were added.
    local sum texture=()
    sum=$(printf '%s' "$name" | cksum | cut -d' ' -f1)
    if ((sum % 3 == 0)); then
        cp "$work/pictures/texture${textures[sum / 3 % 4]}.jpg" "$work/stage/Saves/scene/texture.jpg"
        texture=("Saves/scene/texture.jpg")
    fi
    (cd "$work/stage" && "$seven" a -tzip -bd -spd -- "$folder/$name.var" meta.json \
        "Saves/scene/$item.json" "Saves/scene/$item.jpg" "${texture[@]}" >/dev/null)
    rm "$work/stage/Saves/scene/"*
    made+=("$name")
}
for creator in "${creators[@]}"; do
    for item in "${items[@]}"; do
        ((RANDOM % 3 == 0)) && continue
        for ((version = 1; version <= 1 + RANDOM % 3; version++)); do
            deps=()
            for ((d = RANDOM % 5; d > 0 && ${#made[@]} > 0; d--)); do
                dep=${made[RANDOM % ${#made[@]}]}
                ((RANDOM % 3 == 0)) && dep=${dep%.*}.latest
                deps+=("$dep")
            done
            ((RANDOM % 12 == 0)) && deps+=("Ghost.Asset_Pack.$((RANDOM % 4 + 1))")
            package "$creator.$item.$version" "${deps[@]}"
        done
    done
done
printf 'not a package' >"$packages/Sable/Sable.Broken_Download.1.var"
cp "$packages/Aurora/$(ls "$packages/Aurora" | head -1)" "$packages/Wren/"

mkdir -p "$work/home/.config/Morrowquay"
printf '[RecentVar]\nPath1=%s\n[RecentDest]\nPath1=%s\n' "$packages" "$work/Moved" \
    >"$work/home/.config/Morrowquay/Quillmark.conf"
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache \
    tools/screenshot.sh "$out" "$PWD/build/tools/librarytour/librarytour" 15 "$@"
