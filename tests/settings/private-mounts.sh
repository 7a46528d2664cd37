#!/usr/bin/env bash
# Runs a test in a private mount namespace of its own, where it may mount a
# read-only bind or a tiny tmpfs over its temporary folder without touching the
# machine's mounts; the mounts vanish with the namespace. Where no namespace can
# be made (not root), the test runs as it is and its mount cases skip.
export QT_QPA_PLATFORM=offscreen
if unshare --mount --propagation private true 2>/dev/null; then
  exec unshare --mount --propagation private env RM_PRIVATE_MOUNTS=1 "$@"
fi
exec "$@"
