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

// Registers `serve`; Store reads its options after the parse (the object keeps their text, so it
// must outlive the parse).
class ServeCommand {
 public:
  explicit ServeCommand(CLI::App& app);
  ServeCommand(const ServeCommand&) = delete;
  ServeCommand& operator=(const ServeCommand&) = delete;

  bool Parsed() const;
  // 0 with the options filled in, else the command-line exit code after the error line.
  int Store(ServeOptions& options, std::FILE* err) const;

 private:
  int ReadToken(ServeOptions& options, std::FILE* err) const;

  CLI::App* command_;
  std::string listen_, interval_, history_, tokenFile_;
  bool allowControl_ = false;
};

}  // namespace ralvex::lab
