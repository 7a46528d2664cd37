#!/usr/bin/env bash
# The program's sound output under Wine on a real audio server: what
# sndPlaySoundW(SND_ASYNC | SND_NODEFAULT) plays through PlaySoundFile arrives
# on the private PulseAudio null sink (recorded from rm_null.monitor), for both
# of the program's sounds, from a folder with a Chinese name and a space; the
# call returns before the sound has ended; a missing or broken file, or a
# folder, plays nothing, not even the user's default sound, and the output
# still plays afterwards. The sounds run in win32_sound_probe.exe, one Wine
# process for all cases, in a Wine prefix made here and removed afterwards.
#   with-pulse.sh -- sound-sink.sh path/to/win32_sound_probe.exe SOUNDS_FOLDER
# Exit status: 0 all passed, 1 a check failed, 77 a tool is missing.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
scripts=$here/../../scripts
probe=${1:?usage: sound-sink.sh win32_sound_probe.exe SOUNDS_FOLDER}
sounds=${2:?usage: sound-sink.sh win32_sound_probe.exe SOUNDS_FOLDER}
command -v wine >/dev/null || [ -x /usr/lib/wine/wine64 ] ||
  { echo "sound-sink: wine is not installed; skipping" >&2; exit 77; }
command -v parec >/dev/null || { echo "sound-sink: parec is not installed; skipping" >&2; exit 77; }
[ "${PULSE_SINK:-}" = rm_null ] || { echo "sound-sink: needs with-pulse.sh's audio server" >&2; exit 2; }
# Nothing here needs a window; none may appear on a desktop the caller has.
unset DISPLAY WAYLAND_DISPLAY

dir=$(mktemp -d /tmp/rm-sound-sink.XXXXXX)
server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
probe_pid=""
rec_pid=""
cleanup() {
  [ -n "$rec_pid" ] && { kill "$rec_pid" 2>/dev/null; wait "$rec_pid" 2>/dev/null; }
  [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
  [ -x "$server" ] && WINEPREFIX=$dir/prefix "$server" -k 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# shellcheck source=lib-probe.sh
source "$here/lib-probe.sh"

# One recording of the sink's monitor as 16-bit mono for the whole run,
# connected long before anything plays; each phase measures its own stretch.
record_all() {
  parec --device=rm_null.monitor --format=s16le --rate=44100 --channels=1 --latency-msec=20 \
    >"$dir/rec.raw" 2>/dev/null &
  rec_pid=$!
}
size() { stat -c %s "$dir/rec.raw"; }
# phase: marks where a phase starts in the recording.
phase() { mark=$(size); mark=$((mark / 2 * 2)); }
# measure SECONDS: waits, then sets rms (1.0 = full scale) of the stretch since
# the mark, audible (seconds from its first to its last clearly audible sample)
# and onset (seconds from the mark to the first one).
measure() {
  sleep "$1"
  local end
  end=$(size)
  read -r rms audible onset < <(tail -c +$((mark + 1)) "$dir/rec.raw" | head -c $((end - mark)) |
    od -An -v -td2 -w2 | awk '
    { s = $1 / 32768; sum += s * s; n++
      if (s > 0.05 || s < -0.05) { if (!first) first = n; last = n } }
    END { printf "%.4f %.3f %.3f\n", n ? sqrt(sum / n) : 0, first ? (last - first) / 44100 : 0,
          first ? first / 44100 : -1 }')
}
# The audible span of a WAV file's own samples (16-bit mono, 44-byte header).
file_span() {
  tail -c +45 "$1" | od -An -v -td2 -w2 | awk '
    { s = $1 / 32768; n++; if (s > 0.05 || s < -0.05) { if (!first) first = n; last = n } }
    END { printf "%.3f\n", first ? (last - first) / 44100 : 0 }'
}
gt() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }

# The sounds as the program folder holds them, in a folder with a Chinese name
# and a space; a broken one and a folder beside them.
folder="$dir/程序 文件夹"
mkdir -p "$folder" "$dir/空的"
cp "$sounds/警告.wav" "$sounds/安全.wav" "$folder/"
cp "$sounds/安全.wav" "$dir/default.wav"
{ printf 'RIFF\x10\x00\x00\x00WAVEjunk'; head -c 4000 /dev/zero | tr '\0' '\177'; } >"$dir/坏.wav"

record_all
coproc PROBE { exec "$scripts/wine-run.sh" --prefix "$dir/prefix" -- "$probe" 2>/dev/null; }
probe_pid=$PROBE_PID
answer ready 120 || { echo "sound-sink: the probe did not start" >&2; exit 1; }
# The user's default sound is set (by a name winmm can open under any code
# page), so that a missing file would be heard if the output let winmm fall
# back to it.
ask "default $(winpath "$dir/default.wav")" default
[ "$got" = "default 1" ] || fail "could not set the default sound: $got"

# Both sounds reach the sink; the call comes back before the sound has ended
# (about 0.8 s long).
for name in 警告 安全; do
  phase
  ask "play $(winpath "$folder/$name.wav")" returned
  us=${got#returned }
  measure 2.5
  echo "$name.wav: call returned after ${us:-?} us; RMS $rms, audible for $audible s from $onset s"
  gt "$rms" 0.02 && pass "$name.wav reached the sink" || fail "$name.wav: RMS $rms on the sink"
  # Beep to beep as in the file: nothing cut off or stretched.
  want=$(file_span "$sounds/$name.wav")
  gt "$audible" "$(awk -v w="$want" 'BEGIN { print w - 0.05 }')" &&
    gt "$(awk -v w="$want" 'BEGIN { print w + 0.05 }')" "$audible" &&
    pass "$name.wav played whole ($audible s, the file's span $want s)" ||
    fail "$name.wav audible for $audible s, the file's span is $want s"
  [ -n "$us" ] && [ "$us" -lt 800000 ] && pass "$name.wav plays in the background" ||
    fail "$name.wav: the call took ${us:-forever} us"
done

# A missing file, a broken one and a folder: silence, and every call returns.
phase
ok=1
for path in "$folder/缺少.wav" "$dir/坏.wav" "$dir/空的"; do
  ask "play $(winpath "$path")" returned || { ok=0; fail "no return for $path"; }
done
measure 2.5
echo "missing, broken, folder: RMS $rms"
gt 0.001 "$rms" && pass "failures stay silent" || fail "failures gave RMS $rms"
[ $ok = 1 ] && pass "every failing call returned"

# The same missing file without SND_NODEFAULT sounds the default: the check
# above would see an output that let winmm fall back.
phase
ask "bare $(winpath "$folder/缺少.wav")" returned
measure 2.5
echo "missing file without SND_NODEFAULT: RMS $rms"
gt "$rms" 0.02 || fail "the default-sound control stayed silent (RMS $rms): the silence check proves nothing"

# The output still plays after the failures.
phase
ask "play $(winpath "$folder/警告.wav")" returned
measure 2.5
echo "警告.wav again: RMS $rms"
gt "$rms" 0.02 && pass "plays again after failures" || fail "silent after failures (RMS $rms)"

ask quit bye || fail "the probe did not end"
for _ in $(seq 100); do kill -0 "$probe_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$probe_pid" 2>/dev/null && fail "the probe is still running"
probe_pid=""

if [ $failures -gt 0 ]; then
  echo "sound-sink: $failures checks failed" >&2
  exit 1
fi
echo "sound-sink: all checks passed"
