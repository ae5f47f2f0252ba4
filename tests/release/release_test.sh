#!/usr/bin/env bash
# The release tarball as a user gets it: made by cpack, unpacked into a new directory by a user who
# is not root (nobody, when the test runs as root), it starts the launcher, installs a model from
# the sample site and updates itself with the updater: the demo's walk, run on the unpacked copy.
# Usage: release_test.sh BUILD_DIR SOURCE_DIR NEXT_VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
next=$3
work=$(mktemp -d)
site_pid=
cleanup() {
  [ -n "$site_pid" ] && kill "$site_pid" 2>/dev/null
  pkill -f "$work/" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -B "$work/release" >/dev/null)
tarball=$(ls "$work"/release/pavoline-*-linux-x86_64.tar.gz)
echo "tarball: $(basename "$tarball") ($(du -h "$tarball" | cut -f1))"

# Everything the user touches belongs to the user.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
  chown nobody:nogroup "$work"
  chmod 755 "$work"
fi
run_as_user() { "${as_user[@]}" env HOME="$work/home" XDG_RUNTIME_DIR="$work/run" "$@"; }
run_as_user mkdir -p "$work/home" "$work/run" "$work/unpacked" "$work/shots"
run_as_user chmod 700 "$work/run"
run_as_user tar -xzf "$tarball" -C "$work/unpacked"
suite=$(ls -d "$work"/unpacked/pavoline-*)
[ -x "$suite/Pavoline" ] && [ -x "$suite/Novarel/Novarel" ] || { echo "the tarball lacks its programs"; exit 1; }
run_as_user "$suite/install-menu-entry" >/dev/null
grep -q "Exec=\"$suite/Pavoline\"" "$work/home/.local/share/applications/pavoline.desktop"

# A copy of the sample site, served first and then signed for the port it got.
cp -a "$build/site" "$work/site"
"$build/bin/pavoline-site" serve "$work/site" --port 0 --rate 2000000 > "$work/site.log" 2>&1 &
site_pid=$!
for _ in $(seq 100); do grep -q '^serving' "$work/site.log" && break; sleep 0.1; done
host=$(sed -n 's|^serving .* on http://||p' "$work/site.log")
key=()
[ -f "$build/publisher/publisher.key" ] && key=(--key "$build/publisher/publisher.key")
"$build/bin/pavoline-site" sign "$work/site" --host "$host" "${key[@]}" >/dev/null

# The walk runs as that user from a copy of its own: the clone may lie where no other user can
# enter (a home directory of mode 0700, a mktemp -d folder).
install -m 755 "$source/scripts/demo_walk" "$work/demo_walk"
run_as_user xvfb-run -a -s "-screen 0 1280x1024x24" "$work/demo_walk" "$suite" "$host" "$work/shots" --update
grep -qx "Pavoline $next" "$suite/version.txt" || { echo "the update did not land"; exit 1; }
[ "$(stat -c %U "$suite/Resource/N73/N73.so")" = "$(run_as_user id -un)" ]
echo "release: unpacked, installed a model and updated as $(run_as_user id -un)"
