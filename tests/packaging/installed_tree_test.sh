#!/usr/bin/env bash
# The programs as a user gets them, without the build tree: the package contents unpacked
# with dpkg-deb -x (KORVANE_DEB names the .deb), else `cmake --install` of the build into a
# temporary prefix. korvane-cli answers --version and lists the demo disc's tracks, the
# application starts offscreen and stays up without a message, the manual page is there.
#   installed_tree_test.sh <build dir>
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -n "${KORVANE_DEB:-}" ]; then
  dpkg-deb -x "$KORVANE_DEB" "$work/root"
else
  cmake --install "$build" --prefix "$work/root/usr" >/dev/null
fi
prefix=$work/root/usr
export KORVANE_ROOT=$work/machine HOME=$work/home XDG_DATA_HOME=$work/xdg
export KORVANE_DISC=demo KORVANE_AUDIO=null QT_QPA_PLATFORM=offscreen KORVANE_SPLASH_MS=0

fail() { echo "FAIL: $*" >&2; exit 1; }

for file in bin/korvane-cli lib/korvane/WNASPI32.DLL share/man/man1/korvane-cli.1.gz \
            share/applications/com.quorvix.korvane.desktop share/metainfo/com.quorvix.korvane.metainfo.xml \
            share/icons/hicolor/scalable/apps/korvane.svg share/doc/korvane/copyright; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
# grep reads from a file or a string, not a pipe: under pipefail an early grep -q exit
# would fail the writer with SIGPIPE.
grep -q '^\.SH' <(zcat "$prefix/share/man/man1/korvane-cli.1.gz") || fail "the manual page has no sections"

version=$("$prefix/bin/korvane-cli" --version)
[ "${version%%$'\n'*}" = "korvane-cli 1.0.0" ] || fail "korvane-cli --version said '$version'"
tracks=$("$prefix/bin/korvane-cli" tracks) || fail "korvane-cli tracks failed: $tracks"
grep -q '^Track #1 - ' <<<"$tracks" || fail "no tracks on the demo disc: $tracks"

if [ -x "$prefix/bin/korvane" ]; then
  [ -f "$prefix/lib/korvane/Lumatrel.ocx" ] || fail "the control module is not installed"
  export KORVANE_MESSAGE_LOG=$work/messages.log
  "$prefix/bin/korvane" &
  pid=$!
  sleep 3
  kill -0 "$pid" 2>/dev/null || { wait "$pid" || true; fail "korvane ended during start-up"; }
  kill "$pid"
  wait "$pid" || true
  if [ -s "$KORVANE_MESSAGE_LOG" ]; then fail "korvane showed: $(cat "$KORVANE_MESSAGE_LOG")"; fi
fi
echo "installed tree works: $prefix"
