#!/usr/bin/env bash
# Type-checks the Windows code paths: every source of app/ and lib/, with the moc, form
# and resource code generated for it, compiled for Windows by the MinGW-w64 cross
# compiler in syntax-only mode. Debian has no Qt headers for Windows, so the host's
# serve, with the defines of a Windows build. Flags come from the host build's compile
# commands, which also makes the generated files.
#   tools/wincheck.sh [host build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${1:-build}")
compiler=x86_64-w64-mingw32-g++-posix

bash tools/install-deps.sh --wincheck
cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target quillmark

windows=(-fsyntax-only -DUNICODE -D_UNICODE -DWINVER=0x0601 -D_WIN32_WINNT=0x0601)
# Headers that MinGW does not have (libraries of ours such as libzip) come from the host;
# MinGW's own headers are searched first.
windows+=(-idirafter /usr/include -idirafter "/usr/include/$(gcc -dumpmachine)")

checked=0
failed=()
arguments=()
while IFS=$'\t' read -r file command; do
    case $file in
    "$root"/app/* | "$root"/lib/* | "$build"/app/* | "$build"/lib/*) ;;
    *) continue ;;
    esac
    # The compile command is a shell command line: keep its defines, include folders,
    # warnings and language standard, nothing that belongs to the host compiler.
    eval "arguments=($command)"
    flags=()
    for ((i = 1; i < ${#arguments[@]}; i++)); do
        case ${arguments[i]} in
        -D* | -I* | -W* | -std=*) flags+=("${arguments[i]}") ;;
        -isystem) flags+=(-isystem "${arguments[++i]}") ;;
        esac
    done
    checked=$((checked + 1))
    if ! "$compiler" "${windows[@]}" "${flags[@]}" "$file" </dev/null; then
        failed+=("${file#"$root"/}")
    fi
done < <(perl -MJSON::PP -0777 -ne \
    'print "$_->{file}\t$_->{command}\n" for @{decode_json($_)}' "$build/compile_commands.json")

if [ ${#failed[@]} -gt 0 ]; then
    printf 'does not compile for Windows: %s\n' "${failed[@]}" >&2
    exit 1
fi
[ "$checked" -gt 0 ] || { echo "no sources of app/ or lib/ in $build/compile_commands.json" >&2; exit 1; }
echo "$checked sources of app/ and lib/ compile for Windows"
