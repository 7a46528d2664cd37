#!/usr/bin/env bash
# The settings files of the Windows build against the Linux build's: the same
# fifteen texts saved by each must give the same bytes, file by file, and each
# build must read the other's files back to the same texts.
#   settings-round-trip.sh LINUX-TOOL WINDOWS-TOOL EMULATOR...
# (the tools are rm-settings-bytes of each build; EMULATOR runs a .exe)
set -u
linux=$1 windows=$2
shift 2
[ -x "$linux" ] || { echo "no Linux build's rm-settings-bytes at $linux (configure with -DRM_LINUX_BUILD_DIR)"; exit 1; }
work=$(mktemp -d /tmp/rm-settings-rt.XXXXXX)
trap 'rm -rf "$work"' EXIT
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Plain numbers, GBK text, a program path, MAC texts, an empty value, and
# characters that only GB18030 holds (four-byte codes, U+1E3F, U+20AC's place).
cat > "$work/texts" <<'TEXTS'
20
1
254
迅雷 下载中
C:\Program Files\迅雷\Thunder.exe
02-52-4D-00-00-0A

€ 欧元 ḿ
𠀀 😀 emoji
·〇﹏～ 全角ＡＢＣ
é ü ß ñ
a-b-c
E2E迅雷
ユニコード 한국어
   leading and trailing blanks   
TEXTS
mkdir "$work/linux" "$work/windows"
"$linux" save "$work/linux" "$work/texts" || fail "the Linux build could not save"
"$@" "$windows" save "$(winpath "$work/windows")" "$(winpath "$work/texts")" ||
  fail "the Windows build could not save"

n=0
for f in "$work/linux"/savedata*.ini; do
  name=$(basename "$f")
  n=$((n + 1))
  if ! cmp -s "$f" "$work/windows/$name"; then
    fail "$name differs: Linux $(od -An -tx1 "$f" | tr -d '\n') Windows $(od -An -tx1 "$work/windows/$name" 2>/dev/null | tr -d '\n')"
  fi
done
[ $n -eq 15 ] || fail "the Linux build wrote $n files, not 15"
[ "$(ls "$work/windows" | grep -c '^savedata.*\.ini$')" -eq 15 ] || fail "the Windows build did not write 15 files"
# The texts survive the round trip, each build reading the other's files (the
# Linux build keeps the files as they are: nothing is written back).
"$@" "$windows" load "$(winpath "$work/linux")" > "$work/windows-read" || fail "the Windows build could not load"
"$linux" load "$work/windows" > "$work/linux-read" || fail "the Linux build could not load"
cmp -s "$work/texts" "$work/windows-read" || { fail "the Windows build read the Linux files as other texts"; diff "$work/texts" "$work/windows-read"; }
cmp -s "$work/texts" "$work/linux-read" || { fail "the Linux build read the Windows files as other texts"; diff "$work/texts" "$work/linux-read"; }
[ $fails -eq 0 ] && echo "ok: 15 files byte-exact between the builds, and read back by each other"
[ $fails -eq 0 ]
