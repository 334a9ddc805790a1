#!/usr/bin/env bash
# Recreates the captured listings beside this script: builds a few archives in a
# scratch folder and stores what `7z l` and `7zz l` print on standard output for
# each, exactly as the library runs them. The big archive takes about a minute.
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
stamp='2024-03-05 14:07:08'

python3 - <<'PY'
import zipfile
when = (2024, 3, 5, 14, 7, 8)
def entry(z, name, data=b''):
    info = zipfile.ZipInfo(name, when)
    info.external_attr = (0o40755 << 16 | 0x10) if name.endswith('/') else 0o644 << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(info, data)
with zipfile.ZipFile('members.zip', 'w') as z:
    entry(z, 'meta.json', b'{"licenseType":"CC BY"}')
    entry(z, 'Custom/')
    entry(z, 'Custom/Atom/Person/Pose/')
    entry(z, 'Custom/Atom/Person/Pose/my pose.json', b'{}' * 50)
    entry(z, 'Custom/Atom/Person/Pose/my pose.jpg', b'\0' * 123456)
    entry(z, 'Saves/scene/日本語 シーン.json', b'{"atoms":[]}')
    entry(z, 'Saves/scene/Ünïcødé.jpg', b'\xff\xd8' * 700)
    entry(z, 'Custom/Sounds/Звук.wav', b'RIFF' * 3)
    entry(z, '-y.jpg', b'z')
    entry(z, 'x*.jpg', b'zz')
    entry(z, 'win\\path\\file.jpg', b'abc')
    entry(z, 'ends in blank ', b'b')
    entry(z, 'empty.txt')
with zipfile.ZipFile('directories.zip', 'w') as z:
    entry(z, 'Custom/')
    entry(z, 'Custom/Hair/')
    entry(z, 'Saves/scene with blank/')
PY

# Sizes beyond 32 bits, from sparse files that compress to almost nothing.
mkdir -p big/Custom/Assets
printf '{}' >big/meta.json
printf 'x' >big/Custom/Assets/small.jpg
truncate -s 2300000000 'big/Custom/Assets/big bundle.assetbundle'
truncate -s 5000000000 big/Custom/Assets/huge.assetbundle
find big -exec touch -d "$stamp" {} +
(cd big && 7zz a -t7z -mx1 ../big.7z meta.json Custom >/dev/null)

mkdir encrypted
printf 's' >encrypted/secret.txt
(cd encrypted && 7zz a -t7z -pSECRET -mhe=on ../encrypted-headers.7z secret.txt >/dev/null)

printf 'not a zip' >not-archive.var
# Its name ends in hyphens, as the dashed lines do.
cp members.zip 'dashed ------'

# capture name -> archive
declare -A archives=([members]=members.zip [directories]=directories.zip [big]=big.7z
    [encrypted-headers]=encrypted-headers.7z [not-archive]=not-archive.var
    [missing]=missing.var [dashed-name]='dashed ------')
for tool in 7z 7zz; do
    for name in "${!archives[@]}"; do
        LC_ALL=C.UTF-8 "$tool" l -spd -p -- "${archives[$name]}" </dev/null >"$out/$tool-$name.txt" || true
    done
done
