// The built-in bench (RALVEX_BENCH=builtin): one tester with typical USB-PD source profiles on a
// 232R bridge, so the program can be tried with nothing but itself.
#pragma once

#include <string>
#include <string_view>

#include "sim/bench_file.h"

namespace ralvex::sim {

// The bench as TOML text, read by the same loader as bench files.
std::string_view BuiltinBenchText();

// Where the built-in tester keeps its state: $XDG_STATE_HOME/ralvex/builtin.state.toml, or
// $HOME/.local/state/ralvex/builtin.state.toml when XDG_STATE_HOME is unset, empty or relative.
// Creates the folder. Empty when neither gives an absolute folder or the folder cannot be made:
// the tester then keeps nothing between runs.
std::string BuiltinStatePath();

// The built-in bench's description, with its state path filled in.
bool LoadBuiltinBench(BenchLayout* layout, std::string* error);

}  // namespace ralvex::sim
