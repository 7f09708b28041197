#!/usr/bin/env bash
# `ralvex-lab serve` on the two-tester bench at the default interval (500 ms), on loopback:
#  1. no clients for 10 s: each tester's sampling rate (from ralvex_exchanges_total) and the
#     server's CPU time;
#  2. 50 connections for 10 s with wrk (benchmarks/serve_load.lua), each fetching /metrics and
#     /api/status in turn with a 20 ms pause: failed requests (target 0), p99 latency (target under
#     20 ms), and the testers' sampling rate meanwhile (target: within 5 % of the rate of 1.);
#  3. one live page open in headless Chromium for 30 s: the server's own CPU time from
#     /proc/PID/stat (utime + stime) against the wall time (target: under 2 % of one core).
# Usage: benchmarks/serve_load.sh [build-dir]   (default: build; ralvex-lab must be built there)
# SERVE_IDLE_SECONDS and SERVE_PAGE_SECONDS change the lengths of 1. and 3.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${1:-$root/build}"
lab="$build_dir/ralvex-lab"
idle_seconds="${SERVE_IDLE_SECONDS:-10}"
page_seconds="${SERVE_PAGE_SECONDS:-30}"

if [ ! -x "$lab" ]; then
  echo "no program at $lab: build it first (cmake --build build --target ralvex-lab)" >&2
  exit 1
fi
for tool in wrk curl /usr/bin/chromium; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing: scripts/deps.sh lists the packages (apt-get install wrk curl chromium)" >&2
    exit 1
  fi
done

work="$(mktemp -d)"
cp "$root/sim/benches/two-testers.toml" "$work/"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
url="http://127.0.0.1:$port"
RALVEX_BENCH="$work/two-testers.toml" "$lab" serve --listen "127.0.0.1:$port" 2>"$work/serve.err" &
serve_pid=$!
trap 'kill -TERM $serve_pid 2>/dev/null; wait $serve_pid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  grep -q '^Serving' "$work/serve.err" && break
  kill -0 $serve_pid 2>/dev/null || { cat "$work/serve.err" >&2; exit 1; }
  sleep 0.1
done
grep -q '^Serving' "$work/serve.err" || { echo "serve did not start" >&2; exit 1; }
sleep 2 # both testers opened and sampling

ticks_per_second=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$serve_pid/stat"; }
now() { date +%s.%N; }
# exchanges: "SERIAL COUNT" lines of ralvex_exchanges_total.
exchanges() { curl -sf "$url/metrics" | sed -n 's/^ralvex_exchanges_total{serial="\([^"]*\)"} \([0-9.e+]*\)$/\1 \2/p'; }
# rates BEFORE AFTER SECONDS: each tester's exchanges a second between two exchanges() lists.
rates() {
  join <(sort <<<"$1") <(sort <<<"$2") |
    awk -v s="$3" '{ printf "%s %.3f\n", $1, ($3 - $2) / s }'
}
# cpu_share TICKS SECONDS: the server's CPU time as a share of one core.
cpu_share() { awk -v t="$1" -v hz="$ticks_per_second" -v s="$2" 'BEGIN { printf "%.2f", t * 100 / hz / s }'; }

echo "machine: $(uptime)"
echo "serve: $(head -1 "$work/serve.err")"

echo "== no clients, ${idle_seconds} s =="
e0=$(exchanges) c0=$(cpu_ticks) t0=$(now)
sleep "$idle_seconds"
e1=$(exchanges) c1=$(cpu_ticks) t1=$(now)
idle_wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
idle_rates=$(rates "$e0" "$e1" "$idle_wall")
sed 's/^/exchanges\/s:      /' <<<"$idle_rates"
echo "CPU:              $(cpu_share $((c1 - c0)) "$idle_wall") % of one core"

echo "== wrk: 50 connections, /metrics and /api/status in turn, 20 ms pause, 10 s =="
e0=$(exchanges) t0=$(now)
wrk -t50 -c50 -d10s -s "$root/benchmarks/serve_load.lua" "$url" >"$work/wrk.out"
e1=$(exchanges) t1=$(now)
sed -n '/^requests:/,$p' "$work/wrk.out"
load_wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
join <(echo "$idle_rates" | sort) <(rates "$e0" "$e1" "$load_wall" | sort) |
  awk '{ printf "exchanges/s:      %s %.3f under load, %.3f without: %+.1f %% (target within 5 %%)\n",
         $1, $3, $2, ($3 - $2) * 100 / $2 }'

echo "== one live page open in headless Chromium, ${page_seconds} s =="
# Measured from the page's load to its close, so Chromium's start-up is left out.
python3 - "$url/" "$page_seconds" "$serve_pid" "$ticks_per_second" <<EOF
import sys, time
sys.path.insert(0, "$root/tests/browser")
import chromium
url, seconds, pid, hz = sys.argv[1], float(sys.argv[2]), sys.argv[3], int(sys.argv[4])
def ticks():
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])
with chromium.Page(url, 1200, 760) as page:
    c0, t0 = ticks(), time.monotonic()
    page.pause(seconds)
    c1, t1 = ticks(), time.monotonic()
    print(f"page errors:      {len(page.errors)}")
print(f"CPU:              {(c1 - c0) * 100 / hz / (t1 - t0):.2f} % of one core over "
      f"{t1 - t0:.1f} s (target under 2 %)")
EOF
