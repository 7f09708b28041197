#!/usr/bin/env bash
# `ralvex-lab serve` on the two-tester bench at the default interval (500 ms), on loopback:
#  1. no clients for 10 s: each tester's sampling rate (the spacing of its samples in /api/samples)
#     and the server's CPU time;
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
# sample_rates T0 T1: "SERIAL SAMPLES RATE" for each tester, from the samples /api/samples holds
# between the epoch times T0 and T1; the rate is the samples' own spacing, (n - 1) / (last - first).
sample_rates() {
  python3 - "$url" "$1" "$2" <<'EOF'
import datetime, json, sys, urllib.request
url, t0, t1 = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
def get(path):
    with urllib.request.urlopen(url + path) as reply:
        return json.load(reply)
for status in get("/api/status"):
    serial = status["tester"]["serial"]
    times = [datetime.datetime.fromisoformat(row["time"].replace("Z", "+00:00")).timestamp()
             for row in get(f"/api/samples?serial={serial}")]
    inside = [t for t in times if t0 <= t <= t1]
    rate = (len(inside) - 1) / (inside[-1] - inside[0]) if len(inside) > 1 else 0
    print(f"{serial} {len(inside)} {rate:.4f}")
EOF
}
# cpu_share TICKS SECONDS: the server's CPU time as a share of one core.
cpu_share() { awk -v t="$1" -v hz="$ticks_per_second" -v s="$2" 'BEGIN { printf "%.2f", t * 100 / hz / s }'; }

echo "machine: $(uptime)"
echo "serve: $(head -1 "$work/serve.err")"

echo "== no clients, ${idle_seconds} s =="
c0=$(cpu_ticks) t0=$(now)
sleep "$idle_seconds"
c1=$(cpu_ticks) t1=$(now)
idle_rates=$(sample_rates "$t0" "$t1")
awk '{ printf "samples:          %s %d, %.3f/s\n", $1, $2, $3 }' <<<"$idle_rates"
echo "CPU:              $(cpu_share $((c1 - c0)) "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')") % of one core"

echo "== wrk: 50 connections, /metrics and /api/status in turn, 20 ms pause, 10 s =="
t0=$(now)
wrk -t50 -c50 -d10s -s "$root/benchmarks/serve_load.lua" "$url" >"$work/wrk.out"
t1=$(now)
sed -n '/^requests:/,$p' "$work/wrk.out"
join <(sort <<<"$idle_rates") <(sample_rates "$t0" "$t1" | sort) |
  awk '{ printf "samples:          %s %d, %.3f/s under load, %.3f/s without: %+.1f %% (target within 5 %%)\n",
         $1, $4, $5, $3, ($5 - $3) * 100 / $3 }'

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
