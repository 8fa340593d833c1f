#!/usr/bin/env bash
# Soak run: 50 relay sessions, repeated update checks against an nginx of its own (private
# prefix, loopback port), resident memory and descriptor count sampled and printed.
#   bench/soak/soak.sh [BUILD_DIR]      (default: build-bench, a Release build with VORNASK_BENCH=ON)
#   SOAK_MINUTES=30 SOAK_INTERVAL=60 SOAK_SESSIONS=50 (defaults); a short run: SOAK_MINUTES=3 SOAK_INTERVAL=10
# Exits non-zero when the series are not flat or an exchange failed.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
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

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
USER_LINE=""; [ "$(id -u)" = 0 ] && USER_LINE="user root;"
cat > "$WORK/nginx.conf" <<CONF
$USER_LINE
worker_processes 1;
daemon off;
pid $WORK/nginx.pid;
error_log $WORK/logs/error.log warn;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $WORK/tmp/body; proxy_temp_path $WORK/tmp/proxy;
  fastcgi_temp_path $WORK/tmp/fcgi; uwsgi_temp_path $WORK/tmp/uwsgi; scgi_temp_path $WORK/tmp/scgi;
  default_type application/octet-stream;
  sendfile on;
  server {
    listen 127.0.0.1:$PORT;
    root $WORK/www;
  }
}
CONF
nginx -p "$WORK/" -c "$WORK/nginx.conf" -e "$WORK/logs/error.log" &
NGINX_PID=$!
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break
  sleep 0.05
done

echo "soak: $MINUTES min, sample every $INTERVAL s, $SESSIONS relay sessions, nginx on 127.0.0.1:$PORT"
"$BUILD/bench/soak/bench_soak" --url "http://127.0.0.1:$PORT/" --seconds $((MINUTES * 60)) \
  --interval "$INTERVAL" --sessions "$SESSIONS"
