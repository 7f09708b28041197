#!/usr/bin/env bash
# Whole `ralvex-lab log` runs, timed with /usr/bin/time:
#  1. as fast as the line allows (--interval 0, 5 s) with the wire model on: samples a second,
#     next to what 115200 Bd allows for one stats exchange after another (target: at least 400/s);
#  2. 100 samples a second for 60 s on the built-in bench: rows, missed slots and the program's own
#     CPU time as a share of the wall time (target: 6000 rows, 0 missed, under 5 %);
#  3. memory: the peak resident size of a 10 s run and of a long one (LAB_LONG_SECONDS, default
#     600), both at 100 samples a second (target: within 1 MiB of each other).
# Usage: benchmarks/lab_log.sh [build-dir]   (default: build; ralvex-lab must be built there)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${1:-$root/build}"
lab="$build_dir/ralvex-lab"
long_seconds="${LAB_LONG_SECONDS:-600}"

if [ ! -x "$lab" ]; then
  echo "no program at $lab: build it first (cmake --build build --target ralvex-lab)" >&2
  exit 1
fi
if [ ! -x /usr/bin/time ]; then
  echo "/usr/bin/time is missing: sudo apt-get install time" >&2
  exit 1
fi

# Keep the testers' state away from the user's and from the repository.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME="$work"
cp "$root/sim/benches/wire-model.toml" "$work/wire-model.toml"

# run NAME BENCH ARGS...: one log run, its rows thrown away; leaves NAME.time ("user sys wall
# peak-KiB"), NAME.json (the summary) and NAME.err (what it printed) in the work folder.
run() {
  local name="$1" bench="$2"
  shift 2
  if ! RALVEX_BENCH="$bench" /usr/bin/time -f "%U %S %e %M" -o "$work/$name.time" \
    "$lab" log -q --summary-json "$work/$name.json" "$@" >/dev/null 2>"$work/$name.err"; then
    cat "$work/$name.err" >&2
    exit 1
  fi
}
field() { python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])' "$work/$1.json" "$2"; }
times_of() { cat "$work/$1.time"; }

echo "machine: $(uptime)"

echo "== log --interval 0 --duration 5, wire model on =="
run fast "$work/wire-model.toml" --interval 0 --duration 5
# One stats exchange: a 5-byte request and a 15-byte reply, 10 bits a byte at 115200 Bd.
wire_rate=$(awk 'BEGIN { printf "%.0f", 115200 / (10 * (5 + 15)) }')
fast_rate=$(awk -v r="$(field fast achieved_rate_hz)" 'BEGIN { printf "%.1f", r }')
echo "samples/s:        $fast_rate (target >= 400; the wire allows $wire_rate)"

echo "== log --interval 10 --duration 60, built-in bench =="
run steady builtin --interval 10 --duration 60
read -r user sys wall _ < <(times_of steady)
cpu_share=$(awk -v u="$user" -v s="$sys" -v w="$wall" 'BEGIN { printf "%.2f", (u + s) * 100 / w }')
echo "rows:             $(field steady samples) (target 6000)"
echo "missed slots:     $(field steady missed_slots) (target 0)"
echo "CPU:              ${user} s user + ${sys} s sys in ${wall} s = ${cpu_share} % (target < 5 %)"

echo "== memory: 10 s and ${long_seconds} s at --interval 10, built-in bench =="
run short builtin --interval 10 --duration 10
run long builtin --interval 10 --duration "$long_seconds"
read -r _ _ _ short_kib < <(times_of short)
read -r _ _ _ long_kib < <(times_of long)
echo "peak RSS:         ${short_kib} KiB (10 s), ${long_kib} KiB (${long_seconds} s):" \
  "$((long_kib - short_kib)) KiB apart (target: within 1024 KiB)"
