#include "lab/serve_options.h"

#include <CLI/CLI.hpp>

#include <fstream>

#include "lab/option_numbers.h"

namespace ralvex::lab {

namespace {

constexpr const char SERVE_DESCRIPTION[] =
    "serve every tester over HTTP: GET / (a live page), /metrics (Prometheus), /api/status, "
    "/api/samples?serial=S[&since=TIME]. With --allow-control, POST "
    "/api/load?serial=S&ma=N and POST /api/profile?serial=S&profile=N[&mv=V], each with the "
    "header 'Authorization: Bearer TOKEN' (the first line of --token-file); without it they get "
    "403, with a missing or wrong token 401. A load set over HTTP goes back to 0 mA when the "
    "server stops.";

// "ADDR:PORT", the address possibly in brackets ("[::1]:9137").
bool SplitListen(const std::string& text, ServeOptions& options) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const std::optional<double> port = ReadNumber(text.substr(colon + 1), true);
  if (!port || *port > 65535 || host.find_first_of("[] ") != std::string::npos) return false;
  options.host = host;
  options.port = static_cast<uint16_t>(*port);
  return true;
}

// The first line of the file, trimmed; empty when there is none.
std::string FirstLine(std::ifstream& file) {
  std::string line;
  std::getline(file, line);
  const std::size_t first = line.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return line.substr(first, line.find_last_not_of(" \t\r\n") - first + 1);
}

int ReadToken(const ServeArguments& given, ServeOptions& options, std::FILE* err) {
  if (!given.allowControl) {
    if (!given.tokenFile.empty()) return Refuse(err, "--token-file needs --allow-control");
    return 0;
  }
  if (given.tokenFile.empty()) return Refuse(err, "--allow-control needs --token-file FILE");
  std::ifstream file(given.tokenFile);
  if (!file) return Refuse(err, "cannot read the token file " + given.tokenFile);
  options.token = FirstLine(file);
  if (options.token.empty()) {
    return Refuse(err, "the token file " + given.tokenFile + " holds no token on its first line");
  }
  options.allowControl = true;
  return 0;
}

}  // namespace

CLI::App* AddServeCommand(CLI::App& app, ServeArguments& given) {
  CLI::App* serve = app.add_subcommand("serve", SERVE_DESCRIPTION);
  serve->add_option("--listen", given.listen, "ADDR:PORT to listen on (default 127.0.0.1:9137)")
      ->type_name("ADDR:PORT");
  serve->add_option("--interval", given.interval, "milliseconds between samples (default 500)")
      ->type_name("MS");
  serve->add_option("--history", given.history, "seconds of samples to keep (default 600)")
      ->type_name("SECONDS");
  serve->add_flag("--allow-control", given.allowControl,
                  "let POST /api/load and /api/profile change testers (needs --token-file)");
  serve->add_option("--token-file", given.tokenFile, "the file whose first line is the token")
      ->type_name("FILE");
  return serve;
}

int FinishServeOptions(const CLI::App& serve, const ServeArguments& given, ServeOptions& options,
                       std::FILE* err) {
  const int bad = StoreNumbers({{{"--interval", 10, 3600000, true,
                                  [&](double v) { options.intervalMs = static_cast<uint32_t>(v); }},
                                 &given.interval},
                                {{"--history", 1, 604800, true,
                                  [&](double v) { options.historyS = static_cast<uint32_t>(v); }},
                                 &given.history}},
                               serve, err);
  if (bad != 0) return bad;
  if (Given(serve, "--listen") && !SplitListen(given.listen, options)) {
    return Refuse(err, "invalid value '" + given.listen +
                           "' for --listen (expected ADDR:PORT, the port 0 to 65535)");
  }
  return ReadToken(given, options, err);
}

}  // namespace ralvex::lab
