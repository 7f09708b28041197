// The verification as one self-contained page (no scripts, nothing fetched): the verdict at the
// top, the table of checks, and a plot per profile with its tolerance band (voltage against load
// for a fixed profile, measured against requested voltage for a ranged one).
#pragma once

#include <string>

#include "lab/verify_report.h"

namespace ralvex::lab {

std::string VerifyHtml(const VerifyReport& report);

}  // namespace ralvex::lab
