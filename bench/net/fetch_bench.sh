#!/usr/bin/env bash
# Segmented download against aria2c and curl, same nginx, same run, loopback only.
#   bench/net/fetch_bench.sh [BUILD_DIR]   (default: build-net-rel, a Release build with vornaskctl)
# (a) 256 MiB with limit_rate 10m per connection; (b) 1 GiB unthrottled.
# Prints wall-clock seconds and CPU seconds (user+system) of each client.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
# shellcheck source=../nginx.sh
source "$ROOT/bench/nginx.sh"
BUILD="${1:-$ROOT/build-net-rel}"
CTL="$BUILD/tools/vornaskctl"
[ -x "$CTL" ] || { echo "no vornaskctl at $CTL" >&2; exit 1; }
command -v aria2c >/dev/null || { echo "aria2c missing (scripts/setup installs aria2)" >&2; exit 1; }

WORK="$(mktemp -d /tmp/vornask-fetch-bench.XXXXXX)"
NGINX_PID=""
cleanup() {
  [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/www/slow" "$WORK/www/fast" "$WORK/logs" "$WORK/tmp" "$WORK/out"
head -c $((256 << 20)) /dev/urandom > "$WORK/www/slow/file256.bin"
head -c $((1 << 30)) /dev/urandom > "$WORK/www/fast/file1g.bin"

bench_nginx "$WORK" 'access_log off;' 'location /slow/ { limit_rate 10m; }'

# run NAME FILE -- command...: prints "NAME wall cpu" and checks the result.
run() {
  local name=$1 source=$2 target=$3; shift 3
  rm -f "$target" "$target.meta" "$target.aria2"
  sync
  /usr/bin/time -f "%e %U %S" -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/err.txt" || {
    echo "$name failed:"; cat "$WORK/err.txt"; return 1; }
  cmp -s "$source" "$target" || { echo "$name: file differs" >&2; return 1; }
  read -r wall user sys < "$WORK/time.txt"
  awk -v n="$name" -v w="$wall" -v u="$user" -v s="$sys" \
    'BEGIN { printf "  %-10s wall %7.2f s   cpu %6.2f s (user %.2f, sys %.2f)\n", n, w, u + s, u, s }'
  rm -f "$target"
}

for case in "slow/file256.bin:(a) 256 MiB, limit_rate 10m per connection" "fast/file1g.bin:(b) 1 GiB, unthrottled"; do
  path=${case%%:*}; title=${case#*:}
  url="http://127.0.0.1:$PORT/$path"; src="$WORK/www/$path"; out="$WORK/out/$(basename "$path")"
  echo "$title"
  # The expected size, as the updater passes it from the file list.
  run vornaskctl "$src" "$out" "$CTL" fetch "$url" "$out" --size "$(stat -c %s "$src")"
  run aria2c "$src" "$out" aria2c -q -x5 -s5 -k1M --allow-overwrite=true --auto-file-renaming=false \
    -d "$WORK/out" -o "$(basename "$path")" "$url"
  run curl "$src" "$out" curl -s -o "$out" "$url"
done
