#include "lab/verify_html.h"

namespace ralvex::lab {

std::string VerifyHtml(const VerifyReport& report) {
  return "<!DOCTYPE html><html><body>" + VerdictLine(report) + "</body></html>";
}

}  // namespace ralvex::lab
