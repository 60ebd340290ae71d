# Shared by the end-to-end scripts (sourced). They define $work, $cli, $sim,
# pids, fail() and menu() <x of the menu title> <mnemonic> for their own window.

# For the scripts on the X server of the test run: skips (status 77) without
# one; otherwise the program's display, and a home, settings and runtime
# folder of its own under $work, removed at the end with every process in pids.
x11_session() {
  if [ -z "${DZ_E2E_DISPLAY:-}" ] || ! command -v xdotool >/dev/null; then
    echo "no X server for end-to-end runs (tools/run-tests starts one)"
    exit 77
  fi
  export DISPLAY=$DZ_E2E_DISPLAY QT_QPA_PLATFORM=xcb
  work=$(mktemp -d)
  export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  pids=()
  trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT
}

# A two-channel card whose words are known: channel 1 = 240 + n, channel 2 = 740 - n.
write_card() {
  awk 'function word(w) { r = w % 256; printf "%d\r\n%d\r\n%d\r\n%d\r\n", int(w / 256), int(r / 100), int(r / 10) % 10, r % 10 }
       BEGIN { for (n = 1; n <= 512; n++) { word(240 + n); word(740 - n) } }' >"$1"
}

# The simulator playing the card $1 on a device linked at $2; returns once it
# has printed the device, so the link is there.
start_logger() {
  "$sim" --stream "$1" --fast --link "$2" >"$work/sim.out" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
}

# "Archivos > Guardar datos descargados" as $work/saved (the dialog adds .txt);
# the file must equal the command line's conversion of the card $1.
save_and_compare() {
  rm -f "$work/saved.txt"
  menu 30 d
  sleep 1
  xdotool type --delay 20 "$work/saved"
  xdotool key Return
  for _ in $(seq 100); do [ -s "$work/saved.txt" ] && break; sleep 0.1; done
  [ -s "$work/saved.txt" ] || fail "no data file (the suffix .txt is added)"
  "$cli" convert --model 0 "$1" -o "$work/expected.txt"
  cmp "$work/saved.txt" "$work/expected.txt" || fail "saved file differs from the conversion of the stream"
  head -n 1 "$work/saved.txt" | grep -q '^0,1 49,9' || fail "first line: $(head -n 1 "$work/saved.txt")"
}
