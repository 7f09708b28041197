// GET /: one self-contained page (HTML, inline CSS and script, charts drawn on canvases; nothing
// fetched from elsewhere) that polls /api/status and /api/samples?since=... a few times a second
// and shows, per tester, the contract, the last reading and a chart of voltage, current and power
// over the history. Each tester is an element with data-serial="SERIAL"; inside it, the elements
// with data-field="voltage_mv", "current_ma", "set_current_ma", "power_mw" and "contract" hold the
// current values as text.
#pragma once

#include <cstdint>
#include <string>

namespace ralvex::lab {

inline constexpr uint32_t PAGE_POLL_MS = 400;

// The page for a server that keeps `historyS` seconds of samples.
std::string LivePage(uint32_t historyS);

}  // namespace ralvex::lab
