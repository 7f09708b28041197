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

}  // namespace

ServeCommand::ServeCommand(CLI::App& app)
    : command_(app.add_subcommand("serve", SERVE_DESCRIPTION)) {
  command_->add_option("--listen", listen_, "ADDR:PORT to listen on (default 127.0.0.1:9137)")
      ->type_name("ADDR:PORT");
  command_->add_option("--interval", interval_, "milliseconds between samples (default 500)")
      ->type_name("MS");
  command_->add_option("--history", history_, "seconds of samples to keep (default 600)")
      ->type_name("SECONDS");
  command_->add_flag("--allow-control", allowControl_,
                     "let POST /api/load and /api/profile change testers (needs --token-file)");
  command_->add_option("--token-file", tokenFile_, "the file whose first line is the token")
      ->type_name("FILE");
}

bool ServeCommand::Parsed() const {
  return command_->parsed();
}

int ServeCommand::Store(ServeOptions& options, std::FILE* err) const {
  const int bad = StoreNumbers({{{"--interval", 10, 3600000, true,
                                  [&](double v) { options.intervalMs = static_cast<uint32_t>(v); }},
                                 &interval_},
                                {{"--history", 1, 604800, true,
                                  [&](double v) { options.historyS = static_cast<uint32_t>(v); }},
                                 &history_}},
                               *command_, err);
  if (bad != 0) return bad;
  if (Given(*command_, "--listen") && !SplitListen(listen_, options)) {
    return Refuse(err, "invalid value '" + listen_ +
                           "' for --listen (expected ADDR:PORT, the port 0 to 65535)");
  }
  return ReadToken(options, err);
}

int ServeCommand::ReadToken(ServeOptions& options, std::FILE* err) const {
  if (!allowControl_) {
    if (!tokenFile_.empty()) return Refuse(err, "--token-file needs --allow-control");
    return 0;
  }
  if (tokenFile_.empty()) return Refuse(err, "--allow-control needs --token-file FILE");
  std::ifstream file(tokenFile_);
  if (!file) return Refuse(err, "cannot read the token file " + tokenFile_);
  options.token = FirstLine(file);
  if (options.token.empty()) {
    return Refuse(err, "the token file " + tokenFile_ + " holds no token on its first line");
  }
  options.allowControl = true;
  return 0;
}

}  // namespace ralvex::lab
