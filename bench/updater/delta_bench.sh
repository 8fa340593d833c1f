#!/usr/bin/env bash
# Delta update against zsync, same nginx (limit_rate 2m per connection), same run, loopback only.
#   bench/updater/delta_bench.sh [BUILD_DIR]   (default: build-bench; needs Vornask and vornaskctl)
# A 48 MiB file with three 256 KiB regions rewritten, 64 KiB inserted near the start and 1 MiB
# appended. The client updates its install folder from the old copy in the headless mode;
# zsync 0.6.2 (zsyncmake -b 2048) rebuilds the same file from the same old copy.
# Prints wall seconds and bytes sent by nginx for each; both results must equal the new file.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
# shellcheck source=../nginx.sh
source "$ROOT/bench/nginx.sh"
BUILD="$(cd "${1:-$ROOT/build-bench}" && pwd)"
CTL="$BUILD/tools/vornaskctl"
CLIENT="$BUILD/Vornask"
[ -x "$CLIENT" ] || CLIENT="$(find "$BUILD" -name Vornask -type f -perm -u+x -not -path '*CMakeFiles*' | head -n 1)"
[ -x "$CTL" ] && [ -x "$CLIENT" ] || { echo "no vornaskctl or Vornask in $BUILD" >&2; exit 1; }
command -v zsync >/dev/null || { echo "zsync missing (scripts/setup installs it)" >&2; exit 1; }

WORK="$(mktemp -d /tmp/vornask-delta-bench.XXXXXX)"
NGINX_PID=""
CLIENT_PID=""
cleanup() {
  [ -n "$CLIENT_PID" ] && kill "$CLIENT_PID" 2>/dev/null && wait "$CLIENT_PID" 2>/dev/null || true
  [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/www/data" "$WORK/logs" "$WORK/tmp" "$WORK/install/data" "$WORK/zs" "$WORK/home"
python3 - "$WORK" <<'PY'
import os, random, sys
work = sys.argv[1]
rnd = random.Random(48)
def noise(n): return rnd.randbytes(n)
old = bytearray(noise(48 << 20))
new = bytearray(old)
for at in (8 << 20, 20 << 20, 40 << 20):
    new[at:at + (256 << 10)] = noise(256 << 10)
new[100 << 10:100 << 10] = noise(64 << 10)
new += noise(1 << 20)
open(os.path.join(work, "install/data/big.bin"), "wb").write(old)
open(os.path.join(work, "zs/old.bin"), "wb").write(old)
open(os.path.join(work, "www/data/big.bin"), "wb").write(new)
PY
"$CTL" publish "$WORK/www" >/dev/null
(cd "$WORK/www/data" && zsyncmake -b 2048 -u big.bin -o big.bin.zsync big.bin >/dev/null)
cp "$CLIENT" "$WORK/install/Vornask"

bench_nginx "$WORK" "log_format sent '\$request_method \$uri \$status \$bytes_sent'; access_log $WORK/logs/access.log sent;" 'location / { limit_rate 2m; }'

sent() { awk '{ s += $4 } END { print s + 0 }' "$WORK/logs/access.log"; }
now() { date +%s.%N; }

# zsync from the old copy.
: > "$WORK/logs/access.log"
start=$(now)
(cd "$WORK/zs" && zsync -q -i old.bin -o new.bin "http://127.0.0.1:$PORT/data/big.bin.zsync" >/dev/null 2>&1)
zs_wall=$(echo "$(now) - $start" | bc)
sleep 0.3
zs_bytes=$(sent)
cmp -s "$WORK/zs/new.bin" "$WORK/www/data/big.bin" || { echo "zsync: file differs" >&2; exit 1; }

# The client: list, folder check, block index, copies and ranges, moved into place.
: > "$WORK/logs/access.log"
mkfifo "$WORK/in"
start=$(now)
(cd "$WORK/install" && VORNASK_UI=headless VORNASK_WEB_HOST="127.0.0.1:$PORT" HOME="$WORK/home" \
  XDG_CONFIG_HOME="$WORK/home/config" XDG_DATA_HOME="$WORK/home/data" \
  ./Vornask noStupidPath < "$WORK/in" > "$WORK/client.out" 2>&1) &
CLIENT_PID=$!
exec 4> "$WORK/in"
for _ in $(seq 2000); do grep -q "button: Запуск" "$WORK/client.out" 2>/dev/null && break; sleep 0.01; done
vk_ready=$(echo "$(now) - $start" | bc)
echo press >&4
for _ in $(seq 6000); do grep -q "fullyDownloaded=1" "$WORK/install/vornask.ini" 2>/dev/null && break; sleep 0.02; done
vk_wall=$(echo "$(now) - $start" | bc)
echo close >&4
exec 4>&-
wait "$CLIENT_PID" 2>/dev/null || true
CLIENT_PID=""
sleep 0.3
vk_bytes=$(sent)
cmp -s "$WORK/install/data/big.bin" "$WORK/www/data/big.bin" || { echo "Vornask: file differs" >&2; exit 1; }

size=$(stat -c %s "$WORK/www/data/big.bin")
printf "48 MiB + 1 MiB appended, 3 x 256 KiB rewritten, 64 KiB inserted; limit_rate 2m; new file %d bytes\n" "$size"
printf "  %-8s wall %6.2f s   on the wire %9d bytes\n" Vornask "$vk_wall" "$vk_bytes" zsync "$zs_wall" "$zs_bytes"
printf "  (Vornask: %.2f s of it to start, fetch the list and check the folder)\n" "$vk_ready"
if [ "$vk_bytes" -lt "$zs_bytes" ] && [ "$(echo "$vk_wall < $zs_wall" | bc)" = 1 ]; then
  echo "  goals met: fewer bytes and less time than zsync, both files identical"
else
  echo "  goals missed"
fi
