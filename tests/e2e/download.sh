#!/usr/bin/env bash
# A user's first download, as in the README: pick the simulator's port in the
# setup dialog, store it, choose a model, open and close the download, save the
# data file, leave. The saved file must equal the command-line conversion of
# the same raw stream, and the stored port must survive a restart.
set -euo pipefail
app=$1 sim=$2 cli=$3

source "$(dirname "$0")/e2elib.sh"
x11_session
fail() { echo "FAIL: $*"; import -window root "$work/../dedizivi-e2e-failure.png" 2>/dev/null || true; exit 1; }
stream=$work/card.txt
write_card "$stream"
start_logger "$stream" "$XDG_RUNTIME_DIR/dedizivi-ports/vexa-logger-sim"

window() { timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1; }
start_app() {
  (cd "$(dirname "$app")" && exec "$app") > "$work/app.out" 2>&1 &
  app_pid=$!
  pids+=($app_pid)
  main=$(window '^DEDIZIVI  Ver. 3.4$') || fail "main window did not appear"
}
menu() { # menu() <x of the menu title> <mnemonic>
  xdotool mousemove --window "$main" "$1" 8 click 1
  sleep 0.4
  xdotool key "$2"
}

start_app
[ "$(xdotool getwindowname "$main")" = "DEDIZIVI  Ver. 3.4" ] || fail "window title '$(xdotool getwindowname "$main")'"

# Archivos > Configurar puerto serial: the simulator's port is in the list.
menu 30 c
setup=$(window '^Setup$') || fail "setup dialog did not appear"
xdotool mousemove --window "$setup" 150 25 click 1
sleep 0.4
xdotool key End Return
sleep 0.2
xdotool key Return  # OK
sleep 0.4
menu 30 g           # Archivos > Guardar config de puerto
sleep 0.4
grep -q 'vexa-logger-sim' "$XDG_CONFIG_HOME/dedizivi/"*.reg || fail "port not stored"

# Model 0, then open and close the download.
xdotool mousemove --window "$main" 450 30 click 1
sleep 0.4
xdotool key Home Return
sleep 0.3
xdotool mousemove --window "$main" 100 30 click 1
sleep 3
xdotool mousemove --window "$main" 100 30 click 1
sleep 1

# Archivos > Guardar datos descargados.
save_and_compare "$stream"

# Archivos > Salir ends the program.
menu 30 s
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "program still running after Salir"

# The stored port survives a restart: a second download works without the dialog.
start_app
xdotool mousemove --window "$main" 450 30 click 1
sleep 0.4
xdotool key Home Return
sleep 0.3
xdotool mousemove --window "$main" 100 30 click 1
sleep 3
xdotool mousemove --window "$main" 100 30 click 1
sleep 1
save_and_compare "$stream"

# Leaving with a download still open ends the program at once, cleanly, without
# converting (a conversion would meet the half-received card).
xdotool mousemove --window "$main" 100 30 click 1
sleep 0.2
menu 30 s
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "program still running after Salir during a download"
wait "$app_pid" || fail "program ended with status $? after Salir during a download"
echo "end-to-end download: saved file equals the conversion of the stream"
