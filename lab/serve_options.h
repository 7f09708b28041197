// `ralvex-lab serve`'s options: where to listen, how often to sample, how much history to keep,
// and whether (and with which token) HTTP clients may change a tester.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace CLI {
class App;
}

namespace ralvex::lab {

inline constexpr uint16_t SERVE_DEFAULT_PORT = 9137;

struct ServeOptions {
  std::string host = "127.0.0.1";
  uint16_t port = SERVE_DEFAULT_PORT;  // 0: any free port (the one taken is printed)
  uint32_t intervalMs = 500;
  uint32_t historyS = 600;
  bool allowControl = false;
  std::string token;  // from --token-file, required with --allow-control
};

// The options as given, read once the command line is parsed.
struct ServeArguments {
  std::string listen, interval, history, tokenFile;
  bool allowControl = false;
};

// Registers the serve command on `app`; its values land in `given`.
CLI::App* AddServeCommand(CLI::App& app, ServeArguments& given);
// Reads the given values into `options`; 0 when all are good, else the command-line exit code
// after the error line on `err`.
int FinishServeOptions(const CLI::App& serve, const ServeArguments& given, ServeOptions& options,
                       std::FILE* err);

}  // namespace ralvex::lab
