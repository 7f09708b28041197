// The tester's end of the line: a pseudo-terminal pair it creates, or a tty it is given.
#pragma once

#include <string>

namespace ralvex::tester_tool {

struct Endpoint {
  int fd = -1;           // where the tester reads and writes
  int holdFd = -1;       // the pseudo-terminal's other side, kept open so that its reads work
                         // between the host's opens (-1 for a tty)
  std::string hostPath;  // the path the host opens (the pseudo-terminal's side, or the tty)
};

// A new pseudo-terminal pair in binary mode. False with one line in *error.
bool OpenPseudoTerminal(Endpoint* endpoint, std::string* error);

// A tty in binary mode at 115200 baud, 8 data bits, no parity, one stop bit.
bool OpenTty(const std::string& path, Endpoint* endpoint, std::string* error);

void CloseEndpoint(Endpoint* endpoint);

}  // namespace ralvex::tester_tool
