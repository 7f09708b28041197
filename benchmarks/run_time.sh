#!/usr/bin/env bash
# Wall time of whole `ralvex -s` runs, measured with hyperfine:
#  1. on the built-in bench (target: under 10 ms);
#  2. on the same tester with the wire model on (115200 Bd; replies leave the bridge in USB packets:
#     the link makes the frame end byte the event character, so each goes as its last byte lands;
#     target: a median of at most 11 ms), next to the 7.1 ms its bytes need on the wire.
# Usage: benchmarks/run_time.sh [build-dir]   (default: build; the program must be built there)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${1:-$root/build}"
ralvex="$build_dir/ralvex"

if ! command -v hyperfine >/dev/null 2>&1; then
  if [ "$(id -u)" -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends hyperfine >/dev/null
  else
    echo "hyperfine is missing: sudo apt-get install hyperfine" >&2
    exit 1
  fi
fi
if [ ! -x "$ralvex" ]; then
  echo "no program at $ralvex: build it first (./run.sh -h, or cmake --build build --target ralvex)" >&2
  exit 1
fi

# Keep the testers' state away from the user's and from the repository.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME="$work"
cp "$root/sim/benches/wire-model.toml" "$work/wire-model.toml"

echo "== ralvex -s, built-in bench =="
RALVEX_BENCH=builtin hyperfine -N --warmup 5 --runs 200 --export-json "$work/builtin.json" \
  "$ralvex -s"

echo "== ralvex -s, wire model on (115200 Bd, event character and 1 ms latency timer set by the link) =="
RALVEX_BENCH="$work/wire-model.toml" hyperfine -N --warmup 2 --runs 30 \
  --export-json "$work/wire.json" "$ralvex -s"

# Bytes a -s run moves: the greeting, four settings and the stats request, each a frame of
# payload + 4 bytes. Host to tester: 5 + 4 * 6 + 5 = 34. Tester to host: hello 7, settings
# 6 + 7 + 6 + 7, stats 15 = 48. The event character sends each of the six replies on as it ends;
# a bridge without one (a tty) holds each for its latency timer instead.
bytes=$((34 + 48))
replies=6
wire_ms=$(awk -v b="$bytes" 'BEGIN { printf "%.2f", b * 10 * 1000 / 115200 }')
lowered_ms=$(awk -v w="$wire_ms" -v r="$replies" 'BEGIN { printf "%.2f", w + r * 1 }')
default_ms=$(awk -v w="$wire_ms" -v r="$replies" 'BEGIN { printf "%.2f", w + r * 16 }')
# Mean and median: on a busy machine the median tells more.
times_ms() { python3 -c 'import json,statistics,sys; r=json.load(open(sys.argv[1]))["results"][0]; print("mean %.2f ms, median %.2f ms" % (r["mean"]*1000, statistics.median(r["times"])*1000))' "$1" 2>/dev/null || echo "?"; }
median_ms() { python3 -c 'import json,statistics,sys; print("%.2f" % (statistics.median(json.load(open(sys.argv[1]))["results"][0]["times"])*1000))' "$1" 2>/dev/null || echo "?"; }
wire_median=$(median_ms "$work/wire.json")
echo
echo "built-in bench:   $(times_ms "$work/builtin.json") (target < 10 ms)"
echo "wire model:       $(times_ms "$work/wire.json") (target: median at most 11 ms)"
echo "on the wire:      $bytes bytes = $wire_ms ms at 115200 Bd; median run $wire_median ms"
echo "                  (without the event character: $wire_ms + ${replies} x 1 ms timer = $lowered_ms ms; at the default 16 ms: $default_ms ms)"
