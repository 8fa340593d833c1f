#!/usr/bin/env bash
# The demo game as `scripts/run` plays it without a display (a private Xvfb of 1920 x 1040, the
# game window up, the movie joined to the demo game server, its ping line changing every second):
# the CPU the web process and the client take over a sample (their own CPU time from /proc, so
# other work on the machine does not count), and the PSS of client, web and network processes
# (PSS, "_MB", moves with what other processes share; "private_MB" is theirs alone).
#   bench/player/live-demo.sh [BUILD_DIR]   (default: build, with Vornask, vornaskctl, flash_cab
#                                             and demo_movie built, as scripts/run builds them)
#   LIVE_SECONDS=20 (one sample), LIVE_SAMPLES=3, LIVE_LOG=FILE (keeps the demo's output there)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD="${1:-$ROOT/build}"
SECONDS_PER_SAMPLE="${LIVE_SECONDS:-20}"
SAMPLES="${LIVE_SAMPLES:-3}"
LOG="$(mktemp /tmp/vornask-live.XXXXXX)"
TICKS=$(getconf CLK_TCK)

demo_pid=""
cleanup() {
  if [ -n "$demo_pid" ]; then kill "$demo_pid" 2>/dev/null || true; wait "$demo_pid" 2>/dev/null || true; fi
  if [ -n "${LIVE_LOG:-}" ]; then cp "$LOG" "$LIVE_LOG"; fi
  rm -f "$LOG"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

env -u DISPLAY -u WAYLAND_DISPLAY bash "$ROOT/scripts/demo" "$BUILD" </dev/null >"$LOG" 2>&1 &
demo_pid=$!
for _ in $(seq 600); do
  grep -q '^demo: screenshot' "$LOG" && break
  kill -0 "$demo_pid" 2>/dev/null || { cat "$LOG" >&2; exit 1; }
  sleep 0.5
done
grep -q '^demo: screenshot' "$LOG" || { echo "live: the demo did not come up" >&2; cat "$LOG" >&2; exit 1; }

# Every process below $1, however deep.
below() {
  local p c
  for p in $(cat /proc/"$1"/task/*/children 2>/dev/null); do
    echo "$p"
    below "$p"
  done
}
name_of() { cat /proc/"$1"/comm 2>/dev/null || true; }
ticks_of() { awk '{ print $14 + $15 }' /proc/"$1"/stat 2>/dev/null || echo 0; }
pss_of() { awk '/^Pss:/ { print int($2 / 1024) }' /proc/"$1"/smaps_rollup 2>/dev/null || echo 0; }
# Private memory: unlike PSS it does not move with what other processes on the machine share.
private_of() { awk '/^Private_(Clean|Dirty):/ { kb += $2 } END { print int(kb / 1024) }' /proc/"$1"/smaps_rollup 2>/dev/null || echo 0; }

client="" web="" network=""
for p in $(below "$demo_pid"); do
  case "$(name_of "$p")" in
    Vornask) client=$p ;;
    WebKitWebProces*) web=$p ;;
    WebKitNetworkPr*) network=$p ;;
  esac
done
[ -n "$client" ] && [ -n "$web" ] || { echo "live: no client or web process found" >&2; exit 1; }

echo "live: client $client, web process $web, network process ${network:-none}; ${SECONDS_PER_SAMPLE} s per sample"
printf '%-8s %10s %12s %10s %10s %10s %10s %12s %8s\n' sample "web_cpu_%" "client_cpu_%" client_MB web_MB network_MB total_MB private_MB load1
for i in $(seq "$SAMPLES"); do
  w0=$(ticks_of "$web") c0=$(ticks_of "$client") t0=$(date +%s.%N)
  sleep "$SECONDS_PER_SAMPLE"
  w1=$(ticks_of "$web") c1=$(ticks_of "$client") t1=$(date +%s.%N)
  cm=$(pss_of "$client") wm=$(pss_of "$web") nm=0 pm=0
  [ -n "$network" ] && nm=$(pss_of "$network")
  for p in "$client" "$web" $network; do pm=$((pm + $(private_of "$p"))); done
  awk -v i="$i" -v w="$((w1 - w0))" -v c="$((c1 - c0))" -v t0="$t0" -v t1="$t1" -v hz="$TICKS" \
    -v cm="$cm" -v wm="$wm" -v nm="$nm" -v pm="$pm" -v load="$(cut -d' ' -f1 /proc/loadavg)" \
    'BEGIN { s = t1 - t0; printf "%-8s %10.1f %12.1f %10d %10d %10d %10d %12d %8s\n", i, 100 * w / hz / s, 100 * c / hz / s, cm, wm, nm, cm + wm + nm, pm, load }'
done
