-- wrk script for benchmarks/serve_load.sh: run with as many threads as connections, so each
-- connection has its own script state and alternates /metrics and /api/status, pausing 20 ms
-- between its requests.
local paths = { "/metrics", "/api/status" }
local turn = 0

function request()
  turn = turn % #paths + 1
  return wrk.format("GET", paths[turn])
end

function delay()
  return 20
end

function done(summary, latency, requests)
  local e = summary.errors
  local failed = e.connect + e.read + e.write + e.status + e.timeout
  io.write(string.format("requests:         %d in %.1f s (%.0f/s)\n", summary.requests,
    summary.duration / 1e6, summary.requests / (summary.duration / 1e6)))
  io.write(string.format("failed requests:  %d (connect %d, read %d, write %d, status %d, timeout %d)\n",
    failed, e.connect, e.read, e.write, e.status, e.timeout))
  io.write(string.format("latency:          p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
    latency:percentile(50) / 1000, latency:percentile(99) / 1000, latency.max / 1000))
end
