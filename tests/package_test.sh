#!/usr/bin/env bash
# The Debian package as a user gets it: built by cpack from this build tree,
# unpacked with dpkg -x into a temporary root, and run from there without
# --data-dir, so the programs must find their data in usr/share/kestrin.
#   package_test.sh BUILD-DIR SOURCE-DIR VERSION [CPACK]
set -euo pipefail
build=$1 source=$2 version=$3 cpack=${4:-cpack}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data QT_QPA_PLATFORM=offscreen

fail() { echo "FAIL: $*" >&2; exit 1; }

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$work/out/kestrin_${version}_amd64.deb
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$work/out")"

# Its dependencies are the Qt runtime packages the programs are linked against.
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6network6 libelf1; do
  grep -q "\b$p\b" <<<"$depends" || fail "Depends lacks $p: $depends"
done

root=$work/root
dpkg -x "$deb" "$root"
bin=$root/usr/bin share=$root/usr/share

for program in kestrin kestrin-cli kestrin-dde vrx-sim; do
  out=$("$bin/$program" --version) || fail "$program --version"
  [ "$out" = "$program $version" ] || fail "$program --version said '$out'"
done

# The data files: all of the build tree's delivered set, and nothing else.
for f in "$source"/data/*; do
  [ -f "$f" ] || continue
  cmp -s "$f" "$share/kestrin/$(basename "$f")" || fail "data file $(basename "$f") missing or changed"
done
for f in "$share"/kestrin/*; do
  cmp -s "$f" "$build/bin/$(basename "$f")" || fail "$(basename "$f") is not what the build tree delivers"
done
for f in VRXManual.pdf device.inf avr_hwc0.rex; do
  [ -s "$share/kestrin/$f" ] || fail "no $f in usr/share/kestrin"
done
[ ! -e "$bin/device.inf" ] || fail "data files in usr/bin"

# A conversion from the installed tree equals the build tree's, through the
# offline front (plain convert) and through kestrin-cli-qt (--json).
hex=$source/tests/data/package_convert.hex
convert() { "$1/kestrin-cli" convert --device-type ATmega328P --file "$hex" "${@:2}"; }
expected=$(convert "$build/bin" --out "$work/build.bin")
[[ $expected == *"Entire Image Checksum = "* ]] || fail "build tree's convert said: $expected"
got=$(convert "$bin" --out "$work/installed.bin") || fail "installed convert: $got"
[ "$got" = "$expected" ] || fail "installed convert said '$got', the build tree '$expected'"
cmp -s "$work/build.bin" "$work/installed.bin" || fail "installed convert wrote another image"
json=$(convert "$bin" --json) || fail "installed convert --json: $json"
grep -q "\"entireImageChecksum\": \"$(sed -n 's/.*Entire Image Checksum = //p' <<<"$expected")\"" <<<"$json" ||
  fail "installed convert --json said: $json"

# Without its data files the installed program fails cleanly, naming the file.
mv "$share/kestrin" "$share/kestrin.away"
status=0
err=$(convert "$bin" 2>&1 >/dev/null) || status=$?
[ "$status" -eq 3 ] || fail "convert without data files exited $status: $err"
grep -q "device.inf" <<<"$err" || fail "convert without data files said: $err"
mv "$share/kestrin.away" "$share/kestrin"

# Desktop entry, icons, manual pages, completion.
desktop=$share/applications/kestrin.desktop
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "kestrin.desktop does not validate"
fi
grep -qx "Exec=kestrin" "$desktop" && grep -qx "Icon=kestrin" "$desktop" || fail "kestrin.desktop: $(cat "$desktop")"
for size in 16 32 48 64 128 256; do
  png=$share/icons/hicolor/${size}x${size}/apps/kestrin.png
  [ -f "$png" ] || fail "no ${size}x${size} icon"
  # PNG signature, then the IHDR chunk's width and height.
  header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
  [ "${header:0:16}" = 89504e470d0a1a0a ] || fail "${size}x${size} icon is no PNG"
  [ "$((16#${header:32:8}))x$((16#${header:40:8}))" = "${size}x${size}" ] || fail "${size}x${size} icon is $header"
done
for program in kestrin kestrin-cli kestrin-dde vrx-sim; do
  page=$share/man/man1/$program.1.gz
  zcat "$page" 2>/dev/null | grep -qi "^\.TH \"*$program\"* .*$program $version" || fail "manual page of $program"
done
for command in convert scan upgrade; do   # a section of every command, from its own help
  zcat "$share/man/man1/kestrin-cli.1.gz" | grep -qx "\.SS $command" || fail "kestrin-cli's manual page has no $command"
done

complete_words() {   # the completions bash offers for a kestrin-cli command line (last word being typed)
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _kestrin_cli; printf "%s\n" "${COMPREPLY[@]}"' \
    _ "$share/bash-completion/completions/kestrin-cli" kestrin-cli "$@"
}
complete_words conv | grep -qx convert || fail "completion of 'conv': $(complete_words conv)"
complete_words convert --dev | grep -qx -- --device-type || fail "completion of 'convert --dev'"
[ -z "$(complete_words scan --dev | grep -x -- --device-type)" ] || fail "scan offers --device-type"
[ "$(complete_words fwrev --baud '' | sort | tr '\n' ' ')" = "115200 38400 " ] || fail "completion of '--baud'"
complete_words upgrade --address 1 f | grep -qx firmware || fail "completion of 'upgrade ... f'"
echo "package $(basename "$deb") installs and runs"
