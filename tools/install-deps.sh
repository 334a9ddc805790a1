#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Quillmark need,
# when they are missing. Uses sudo when not run as root.
#   tools/install-deps.sh               what the README's commands need
#   tools/install-deps.sh --hardening   also clang and libFuzzer for the fuzz targets
#   tools/install-deps.sh --screenshots what tools/screenshot.sh, the screenshot scripts and
#                                       tools/partsgraph.sh need
#   tools/install-deps.sh --wincheck    also the MinGW-w64 cross compiler of tools/wincheck.sh
# Further arguments name further packages.
set -euo pipefail

# A font, so that a window without a desktop around it (tests, CI) can draw text. The
# icon painter writes SVG (Qt's Svg module); the package test makes a Debian package
# (dpkg-dev, file) and validates its menu entry and AppStream metadata.
required=(cmake make g++ pkg-config qtbase5-dev libqt5svg5-dev libqt5sql5-sqlite libzip-dev
    p7zip-full fonts-dejavu-core dpkg-dev file desktop-file-utils appstream-util)
# Newer 7-Zip where the distribution has it; p7zip's 7z serves otherwise.
optional=(7zip)
# Only CI's hardening stages need these (g++ brings the sanitizer runtimes itself).
hardening=(clang libclang-rt-14-dev)
# Pictures of the real window on a virtual screen, and of the program's parts.
screenshots=(xvfb xauth imagemagick openbox graphviz)
wincheck=(g++-mingw-w64-x86-64-posix)
for argument in "$@"; do
    case $argument in
    --hardening) required+=("${hardening[@]}") ;;
    --screenshots) required+=("${screenshots[@]}") ;;
    --wincheck) required+=("${wincheck[@]}") ;;
    *) required+=("$argument") ;;
    esac
done

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for package in "${required[@]}" "${optional[@]}"; do
    installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq

to_install=()
for package in "${missing[@]}"; do
    if [[ " ${optional[*]} " == *" $package "* ]] && ! apt-cache show "$package" >/dev/null 2>&1; then
        continue
    fi
    to_install+=("$package")
done
[ ${#to_install[@]} -eq 0 ] || "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${to_install[@]}"
