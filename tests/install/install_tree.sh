#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop expects to
# find there; then starts the installed program as its menu entry would.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'kill "${pid:-0}" 2>/dev/null || true; rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
for f in bin/dedizivi bin/dedizivi-cli bin/vexa-logger-sim \
         share/applications/dedizivi.desktop share/icons/hicolor/256x256/apps/dedizivi.png; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
for p in ostrel.bmp solmet.bmp brumel.bmp bajadat.bmp heptel.bmp NTC2.bmp TERMOCUPLA.bmp LM35.bmp \
         SENSHUMI.bmp SENSORAD.bmp; do
  [ -s "$prefix/share/dedizivi/pictures/$p" ] || fail "missing picture $p"
done

desktop=$prefix/share/applications/dedizivi.desktop
grep -q '^Exec=dedizivi' "$desktop" || fail "desktop entry does not run dedizivi"
grep -q '^Icon=dedizivi' "$desktop" || fail "desktop entry has no icon"
dir=$(sed -n 's/^Path=//p' "$desktop")
[ "$dir" = "$prefix/share/dedizivi/pictures" ] || fail "desktop entry starts in '$dir'"

# The installed program starts (offscreen) in that folder and keeps running.
export HOME=$prefix/home XDG_CONFIG_HOME=$prefix/config
mkdir -p "$HOME"
(cd "$dir" && exec "$prefix/bin/dedizivi") &
pid=$!
sleep 3
kill -0 "$pid" 2>/dev/null || fail "installed program did not stay up"
echo "install tree complete; installed program running"
