#include "cli/usage.h"

namespace ralvex::cli {

namespace {

// The one line too long for a single literal here.
constexpr const char MAXLOAD_LINE[] =
    "\t-o,--maxload\t\tSets maximum allowed load (mA). Set to 0 to enable enforce automatic "
    "limits.\n";

constexpr const char* USAGE_BODY_LINES[] = {
    "Options:\n",
    "\t-h,--help\t\tShows this help message\n",
    "\t-f,--find\t\tFinds all the PD tester devices and their indexes.\n",
    "\t-d,--device\t\tSpecifies the PD tester by serial number. Device ID or \"Any\"\n",
    "\t\t\t\tIf the ID, \"Any\" is used then the first device detected is selected.\n",
    "\t\t\t\tDefault value if empty: The first detected device will be used.\n",
    "\t-i,--index\t\tSpecifies the PD tester by index.\n",
    "\t-c,--connection\t\tReturns the connection status.\n",
    "\t-p,--profiles\t\tReturns all the profiles supported by DUT.\n",
    "\t-s,--stats\t\tReturns DUT status.\n",
    "\t-v,--setprofile\t\tSets a profile. index,voltage (mV)\n",
    "\t-l,--load\t\tSets a load (mA).\n",
    "\t-n,--defvolt\t\tSets default voltage (mV).\n",
    "\t-m,--defload\t\tSets default load (mA).\n",
    MAXLOAD_LINE,
    "\n",
    "Return Codes:\n",
    "\t Succeed = 0\n",
    "\t Invalid command line = 1\n",
    "\t No device detected = 2\n",
    "\t Failed to connect = 3\n",
    "\t Invalid profile = 4\n",
    "\n",
    "Example:\n",
    "\tRalvex.exe -d kora4vlh7y -v 3,6000\n",
};

}  // namespace

void PrintUsage(std::FILE* out, const char* programName) {
  std::fprintf(out, "Usage: %s [-f] [-d] [-i] [-c] [-p] [-s] [-v] [-l]\n",
               programName != nullptr ? programName : "");
  std::fflush(out);
  for (const char* line : USAGE_BODY_LINES) {
    std::fputs(line, out);
    std::fflush(out);
  }
}

}  // namespace ralvex::cli
