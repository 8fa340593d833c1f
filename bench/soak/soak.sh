#!/usr/bin/env bash
# Soak run: 50 relay sessions, repeated update checks against an nginx of its own (private
# prefix, loopback port), resident memory and descriptor count sampled and printed.
#   bench/soak/soak.sh [BUILD_DIR]      (default: build-bench, a Release build with VORNASK_BENCH=ON)
#   SOAK_MINUTES=30 SOAK_INTERVAL=60 SOAK_SESSIONS=50 (defaults); a short run: SOAK_MINUTES=3 SOAK_INTERVAL=10
# Exits non-zero when the series are not flat or an exchange failed.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
# shellcheck source=../nginx.sh
source "$ROOT/bench/nginx.sh"
BUILD="${1:-$ROOT/build-bench}"
MINUTES="${SOAK_MINUTES:-30}"
INTERVAL="${SOAK_INTERVAL:-60}"
SESSIONS="${SOAK_SESSIONS:-50}"

if [ ! -x "$BUILD/bench/soak/bench_soak" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORNASK_BENCH=ON -DVORNASK_TESTS=OFF >/dev/null
  cmake --build "$BUILD" --target bench_soak
fi

WORK="$(mktemp -d /tmp/vornask-soak-web.XXXXXX)"
NGINX_PID=""
cleanup() {
  [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# The game folder: one 2 MiB file (five ranges per download) and its list line.
mkdir -p "$WORK/www/library" "$WORK/logs" "$WORK/tmp"
head -c $((2 << 20)) /dev/urandom > "$WORK/www/data.bin"
CRC=$(python3 -c 'import sys,zlib; print("%x" % zlib.crc32(open(sys.argv[1],"rb").read()))' "$WORK/www/data.bin")
echo "data.bin:0:$((2 << 20)):$CRC" > "$WORK/www/library/crc.txt"

bench_nginx "$WORK" 'access_log off;' ''

echo "soak: $MINUTES min, sample every $INTERVAL s, $SESSIONS relay sessions, nginx on 127.0.0.1:$PORT"
"$BUILD/bench/soak/bench_soak" --url "http://127.0.0.1:$PORT/" --seconds $((MINUTES * 60)) \
  --interval "$INTERVAL" --sessions "$SESSIONS"
