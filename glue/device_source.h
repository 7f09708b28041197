// Where the devices of a run come from, off Windows: RALVEX_BENCH unset or empty means the
// machine's real bridge ports; `builtin` or a path means a simulated bench.
#pragma once

#include <cstdio>
#include <string>

namespace ralvex::glue {

// Attaches the devices RALVEX_BENCH chooses. False with one line in *error when the choice cannot
// be honoured in full (a bench file that cannot be used, a bad RALVEX_USB_IDS); the run then goes
// on with what could be attached.
bool AttachDevicesFromEnvironment(std::string* error);

// The programs' start: attaches the devices and, when that falls short, says why in one line on
// `err`. The run goes on with what could be attached and ends as any run that finds no tester.
void AttachDevicesForProgram(std::FILE* err);

}  // namespace ralvex::glue
