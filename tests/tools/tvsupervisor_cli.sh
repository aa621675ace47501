#!/usr/bin/env bash
# Drives tvsupervisor-cli as an operator's script would, over a real kernel
# pseudo-terminal served by sitesim in another process: discovery of the
# reference site with a site from the sample directory, the session history
# it leaves, and the one-line failures. Runs in a scratch folder, so no Data
# of the repository is touched.
set -euo pipefail
cli=$1
sitesim=$2
sample_sites=$3

dir=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$dir"
}
trap cleanup EXIT
cd "$dir"
# Should the build folder not be writable, the per-user layout lands here too.
export HOME=$dir XDG_CONFIG_HOME=$dir/config XDG_DATA_HOME=$dir/share
mkdir -p Data
cp "$sample_sites" Data/ObjctsList.sdb

fail() { echo "FAIL: $*"; exit 1; }

"$sitesim" --pty > sim.out 2> sim.err &
sim_pid=$!
for _ in $(seq 100); do
  [ -s sim.out ] && break
  sleep 0.1
done
pts=$(head -n 1 sim.out)
[ -c "$pts" ] || fail "sitesim gave no pseudo-terminal: '$pts' $(cat sim.err)"

# Output that cannot be written is a failure, not a quiet success.
set +e
"$cli" sites > /dev/full 2> err.txt
rc=$?
set -e
[ "$rc" -eq 1 ] || fail "a full disk exited $rc"
grep -qx 'tvsupervisor-cli: standard output could not be written' err.txt ||
  fail "full disk: $(cat err.txt)"

# An unknown site is refused before the port is opened: nothing recorded.
set +e
"$cli" discover --port "$pts" --site "Nowhere" > out.txt 2> err.txt
rc=$?
set -e
[ "$rc" -eq 1 ] || fail "unknown site exited $rc"
grep -q '^tvsupervisor-cli: no site named "Nowhere"' err.txt || fail "unknown site: $(cat err.txt)"

"$cli" discover --port "$pts" --site "Mont Ségur transmitter" --timeout 60 > out.txt 2> err.txt ||
  fail "discover exited $?: $(cat err.txt)"
[ ! -s err.txt ] || fail "discover wrote to stderr: $(cat err.txt)"
grep -qx 'site     Mont Ségur transmitter' out.txt || fail "no site line"
grep -qx "port     $pts" out.txt || fail "no port line"
grep -qE '^devices  7, discovery complete in [0-9]+\.[0-9] s$' out.txt || fail "no devices line"

# The tree: the four devices on the bus, the hub's three on channel 1.
sed -n '/^Devices$/,/^$/p' out.txt > tree.txt
cat > want.txt <<'WANT'
Devices
  0x02    Server
  0x03    System Controler
  0x04    PLL
  0x05    HUB
WANT
head -n 5 tree.txt | cmp -s - want.txt || fail "bus devices:
$(cat tree.txt)"
tail -n +6 tree.txt | grep -v '^$' | sort > children.txt
cat > want.txt <<'WANT'
    0x13  TV Exciter        channel 1
    0x14  TV Driver         channel 1
    0x15  TV Exciter 1      channel 1
WANT
cmp -s children.txt want.txt || fail "hub children:
$(cat children.txt)"

# A device block with its attributes and a parameter formatted with its
# unit, limits and state mark.
grep -qx '0x02  Server' out.txt || fail "no block for the server"
grep -qE '^    Device Name +Site Server$' out.txt || fail "no attribute row"
grep -qE '^    Mains Frequency +[0-9]+\.[0-9]{2}  Hz +49\.50  50\.50  (ok|LOW|HIGH|-)$' out.txt ||
  fail "no formatted parameter row"
[ "$(grep -c '^0x[0-9A-F][0-9A-F]  ' out.txt)" -eq 7 ] || fail "not seven device blocks"

"$cli" sessions > sessions.txt
[ "$(wc -l < sessions.txt)" -eq 2 ] || fail "not one session:
$(cat sessions.txt)"
grep -qE '^1  [0-9.]+ [0-9:]+  [0-9.]+ [0-9:]+  Mont Ségur transmitter  0467123456  Occitanie +7$' \
  sessions.txt || fail "session row: $(tail -n 1 sessions.txt)"

# Failures: one line on stderr and the documented status.
expect_failure() {
  local want_rc=$1 pattern=$2
  shift 2
  set +e
  "$cli" "$@" > out.txt 2> err.txt
  local rc=$?
  set -e
  [ "$rc" -eq "$want_rc" ] || fail "$* exited $rc, not $want_rc: $(cat err.txt)"
  [ "$(wc -l < err.txt)" -eq 1 ] || fail "$* did not fail in one line: $(cat err.txt)"
  grep -q "$pattern" err.txt || fail "$*: $(cat err.txt)"
}
expect_failure 1 "open $dir/none: No such file or directory" discover --port "$dir/none"
expect_failure 2 '^tvsupervisor-cli: --device takes a bus address' \
  scan --port "$pts" --device 0x1ff --interval 1 --count 1
expect_failure 2 '^tvsupervisor-cli: unknown command' frobnicate
# Someone else holds the line: this shell, with the lock the client takes.
exec 9< "$pts"
flock -n 9 || fail "could not lock $pts for the test"
expect_failure 1 "$pts is in use" discover --port "$pts"
exec 9<&-

[ "$(wc -l < <("$cli" sessions))" -eq 2 ] || fail "a failed opening was recorded"

# Readings of one device behind the hub, each a table of its parameters.
"$cli" scan --port "$pts" --device 0x13 --interval 0.5 --count 2 > out.txt 2> err.txt ||
  fail "scan exited $?: $(cat err.txt)"
[ "$(grep -cE '^scan [12]/2  [0-9.]+ [0-9:]+  0x13  TV Exciter$' out.txt)" -eq 2 ] ||
  fail "scan lines: $(grep '^scan' out.txt)"
[ "$(grep -c '^  PARAMETER  ' out.txt)" -eq 2 ] || fail "not two readings: $(cat out.txt)"
expect_failure 1 "no device at 0x09 on $pts" scan --port "$pts" --device 9 --interval 1 --count 1
expect_failure 3 "discovery not complete within 0.2 s\|no device answered within 0.2 s" \
  discover --port "$pts" --timeout 0.2
# Sessions that came up are recorded however they ended.
[ "$(wc -l < <("$cli" sessions))" -eq 5 ] || fail "scan, failed scan and time-out not recorded"

# A history that cannot be read is set aside, said so, and kept.
echo "not a table" > Data/HistorySession.sdb
expect_failure 1 'HistorySession.sdb cannot be used .* moved to ' sessions
grep -q "not a table" Data/HistorySession.sdb.* || fail "the unusable history was not kept"
echo "tvsupervisor-cli ok"
