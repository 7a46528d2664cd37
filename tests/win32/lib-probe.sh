# Talking to a probe program (win32_tray_probe.exe, win32_sound_probe.exe)
# that runs under Wine as the coprocess PROBE and answers one line a command.
# Sourced by the scripts beside it, which also count their failures here.

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# answer PREFIX [TIMEOUT]: reads lines until one starts with PREFIX; all of
# them end up in $lines, that one in $got. ask COMMAND PREFIX [TIMEOUT]: sends
# the command first. Never in a subshell: the coprocess's descriptors belong
# to the calling shell.
send() { printf '%s\n' "$1" >&"${PROBE[1]}"; }
answer() {
  local line
  lines="" got=""
  while IFS= read -r -t "${2:-15}" line <&"${PROBE[0]}"; do
    line=${line%$'\r'}
    lines+="$line"$'\n'
    [[ "$line" == "$1"* ]] && { got=$line; return 0; }
  done
  return 1
}
ask() { send "$1"; answer "$2" "${3:-15}"; }

# A Unix path as the prefix's drive Z: shows it.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
