#!/usr/bin/env bash
# The program's main job as far as it exists: the headless client discovers
# a transmitter site on COM1 and prints its device tree. The site is the
# simulator's reference site on a pseudo-terminal, which COM1 is mapped to
# in the program's INI file (section PORTS), as an operator maps a real port.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default > /dev/null
cmake --build --preset default --target tvsupervisor-cli sitesim > /dev/null

cli=$PWD/build/default/tools/tvsupervisor-cli/tvsupervisor-cli
sitesim=$PWD/build/default/sim/sitesim

log=$(mktemp)
sim_pid=
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -f "$log" "$log.err"
}
trap stop_sim EXIT

"$sitesim" --pty > "$log" 2> "$log.err" &
sim_pid=$!
for _ in $(seq 100); do
  [ -s "$log" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
pts=$(head -n 1 "$log")
if [ ! -c "$pts" ]; then
  echo "run: the site simulator did not start: $(cat "$log.err")" >&2
  exit 1
fi

# COM1=<pts> in section PORTS; the rest of the INI file stays as it is.
ini=$("$cli" paths | sed -n 's/^ini  *//p')
mkdir -p "$(dirname "$ini")"
tmp=$(mktemp "$ini.XXXXXX")
{ [ -f "$ini" ] && cat "$ini"; true; } | awk -v key=COM1 -v value="$pts" '
  function put() { if (!done) print key "=" value; done = 1 }
  /^[ \t]*\[/ {
    if (inports) put()
    inports = tolower($0) ~ /^[ \t]*\[ports\][ \t]*$/
    print; next
  }
  inports && tolower($0) ~ "^[ \t]*" tolower(key) "[ \t]*=" { put(); next }
  { print }
  END { if (!done) { if (!inports) print "[PORTS]"; put() } }
' > "$tmp"
mv "$tmp" "$ini"
echo "run: the reference site is on $pts, COM1 in $ini"

# The client's Data folder (session history, sites directory) is in its
# working folder; started from its own folder it sits beside the program.
cd "$(dirname "$cli")"
set +e
"$cli" discover --port COM1
status=$?
set -e
exit "$status"
