#!/usr/bin/env bash
# The layering rules of the source tree, and a core that loads no Qt.
#   layering.sh SOURCE_DIR CORE_TEST_EXECUTABLE
set -euo pipefail
src=$1
exe=$2
cd "$src"
fail=0

# The standard headers the core may include, and the header-only JSON library;
# anything else in <> is refused.
allowed=" algorithm array atomic cerrno cfenv charconv chrono climits cmath condition_variable cstddef
 cstdint cstdio cstdlib cstring functional limits map memory mutex optional random set span
 nlohmann/json.hpp string string_view thread unordered_map utility vector bit span initializer_list system_error cstddef "
while IFS=: read -r file _ rest; do
    h=$(sed -E 's/.*#include <([^>]+)>.*/\1/' <<<"$rest")
    case "$allowed" in
        *" $h "*) ;;
        *) echo "core may include only standard headers: $file includes <$h>"; fail=1 ;;
    esac
done < <(grep -Hn '#include <' core/*.h core/*.cpp || true)
while IFS=: read -r file _ rest; do
    h=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$rest")
    [[ $h == core/* ]] || { echo "core includes outside itself: $file includes \"$h\""; fail=1; }
done < <(grep -Hn '#include "' core/*.h core/*.cpp || true)

# Only the front end and main include the front end; the platform layer never does.
while IFS=: read -r file _; do
    case "$file" in
        gui/*|main/*|tests/*|bench/*) ;;
        *) echo "only gui/ and main/ may include gui/: $file"; fail=1 ;;
    esac
done < <(grep -rHn --include='*.h' --include='*.cpp' '#include "gui/' \
    core platform gui scanner main helper tests bench || true)

# No include cycles among the project's headers.
pairs=$(grep -rHo --include='*.h' '#include "[^"]*"' core platform gui scanner |
        sed -E 's#^([^:]+):\#include "([^"]+)"#\1 \2#')
if ! tsort <<<"$pairs" >/dev/null 2>/tmp/rm-layering-cycle.$$; then
    echo "include cycle:"; cat /tmp/rm-layering-cycle.$$; fail=1
fi
rm -f /tmp/rm-layering-cycle.$$

# The core's tests link no Qt library.
if ldd "$exe" | grep -i 'libQt'; then
    echo "the core's test executable loads Qt"; fail=1
fi
[ "$fail" -eq 0 ] && echo "layering: all rules hold"
exit "$fail"
