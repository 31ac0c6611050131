#!/usr/bin/env bash
# The built program under a real X server, driven by xdotool as a user drives it: F9 against the
# simulator writes and shows the reply; F9 that ends in a message box, and the box closed with
# Enter, sends exactly one request; a held F9 sends one. Skips (77) where Xvfb or xdotool is
# missing. Usage: f9-under-xvfb.sh <opcxmlda> <opcxmlda-sim> <templates folder> [screenshot.png]
set -u
program=$1 simulator=$2 templates=$3 screenshot=${4:-}

for tool in Xvfb xdotool python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

# The X server picks a free display number itself and tells it through a descriptor.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# The simulator, and a peer that counts what reaches it: /ok answers, anything else is a 404.
sim_port=$(free_port)
"$simulator" --port "$sim_port" >"$work/sim.log" 2>&1 &
pids+=($!)
cat >"$work/peer.py" <<'EOF'
import http.server, sys
class Peer(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with open(sys.argv[2], "a") as log:
            log.write(self.path + "\n")
        ok = self.path == "/ok"
        body = b"<ok/>" if ok else b"<no/>"
        self.send_response(200 if ok else 404)
        self.send_header("Content-Type", "text/xml")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Peer)
print(server.server_address[1], flush=True)
server.serve_forever()
EOF
: >"$work/requests"
python3 "$work/peer.py" x "$work/requests" >"$work/peer.port" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/peer.port" ] && break; sleep 0.1; done
peer_port=$(cat "$work/peer.port")
for _ in $(seq 100); do grep -q "opcxmlda-sim: http" "$work/sim.log" && break; sleep 0.1; done

# The program in a folder of its own with its templates, so its response file lands there.
cp "$program" "$work/opcxmlda"
cp "$templates"/*.x "$work/"
# The test presets ask Qt for its offscreen platform; this program must draw on the X server.
# libxkbcommon-x11 hands strndup strings without a terminator, legal for strndup but refused by
# AddressSanitizer's strict string checks, so a sanitized program would abort before its window.
asan=${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0
(cd / && QT_QPA_PLATFORM=xcb ASAN_OPTIONS=$asan exec "$work/opcxmlda" >"$work/program.log" 2>&1) &
program_pid=$!
pids+=($program_pid)

# Waits for a visible window of that name, at most ten seconds, and gives up at once when the
# program has ended.
find_window() {
  for _ in $(seq 100); do
    if ! kill -0 "$program_pid" 2>/dev/null; then
      echo "the program ended: $(tail -n 40 "$work/program.log")" >&2
      return 1
    fi
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 | grep . && return 0
    sleep 0.1
  done
  return 1
}
window=$(find_window "OPC XML DA Miltane Sample") || fail "the window did not appear"
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
sleep 0.5

set_url() { # the focus is in the URL box at start; select all and type over it
  xdotool windowfocus --sync "$window"
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 2 "$1"
}
wait_for() { for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done; return 1; }
requests() { wc -l <"$work/requests"; }

# 1. F9 against the simulator: the reply is written and shown.
set_url "http://127.0.0.1:$sim_port/opcxmlda/QuelmSim.Tandrel.Simulation"
xdotool key F9
wait_for 'grep -q GetStatusResponse "$work/Response.xml" 2>/dev/null' ||
  fail "F9 did not write the simulator's reply: $(cat "$work/program.log")"
sleep 1
[ -n "$screenshot" ] && command -v import >/dev/null && import -display "$DISPLAY" -window root "$screenshot"

# 2. F9 that ends in a message box; Enter closes it. One request, one box.
set_url "http://127.0.0.1:$peer_port/missing"
xdotool key F9
box=$(find_window "^Opcxmlda$") || fail "no message box for a 404"
sleep 0.3
xdotool windowfocus --sync "$box" 2>/dev/null
xdotool key Return
sleep 1.5
[ "$(requests)" -eq 1 ] || fail "one F9 that ended in a box sent $(requests) requests"
if xdotool search --onlyvisible --name "^Opcxmlda$" >/dev/null 2>&1; then
  fail "a second box opened: the key ran the command again"
fi

# 3. F9 after the box still works, and a held F9 (auto-repeat) sends one request.
set_url "http://127.0.0.1:$peer_port/ok"
xdotool keydown F9
sleep 1
xdotool keyup F9
wait_for '[ "$(requests)" -ge 2 ]' || fail "F9 after a box did nothing"
sleep 1
[ "$(requests)" -eq 2 ] || fail "a held F9 sent $(($(requests) - 1)) requests"
grep -q "<ok/>" "$work/Response.xml" || fail "the reply of /ok was not written"
echo "passed: F9 under X runs once per key-down, through a box and when held"
