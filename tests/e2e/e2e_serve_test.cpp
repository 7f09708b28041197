// ralvex-lab serve run as a child process on the two-tester bench, reached over loopback as a
// scraper and a script would: both testers in /metrics and /api/status, a load set with the token,
// the ports held against ralvex meanwhile, and after SIGTERM exit 0 with both loads back at 0 mA.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "e2e_support.h"

namespace ralvex::e2e {
namespace {

constexpr const char FIRST[] = "KORA4VLH7Y";
constexpr const char SECOND[] = "KORA8QZ2M4";

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A port nothing listens on right now.
uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

// One request on its own connection; the whole reply ("" when nothing answered).
std::string Http(uint16_t port, const std::string& method, const std::string& target,
                 const std::string& headers = "") {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address = Loopback(port);
  timeval timeout{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::string reply;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    const std::string request = method + " " + target +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers +
                                "\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[4096];
    for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
      reply.append(buffer, static_cast<std::size_t>(got));
    }
  }
  ::close(fd);
  return reply;
}

std::string Body(const std::string& reply) {
  const std::size_t at = reply.find("\r\n\r\n");
  return at == std::string::npos ? "" : reply.substr(at + 4);
}

bool Within(std::chrono::seconds limit, const std::function<bool()>& done) {
  const auto giveUp = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

class ServeE2e : public E2eTest {
 protected:
  std::string SetCurrent(const std::string& bench, const std::string& serial) const {
    const RunResult stats = Run({"-d", serial, "-s"}, bench);
    const std::size_t at = stats.out.find("SET CURRENT:");
    return at == std::string::npos ? stats.err
                                   : stats.out.substr(at, stats.out.find('\n', at) - at);
  }
};

TEST_F(ServeE2e, ServesBothTestersAndLeavesNoLoadAfterSigterm) {
  const std::string bench = ReadyMade("two-testers.toml");
  const std::string tokenFile = Dir() + "/token";
  std::ofstream(tokenFile) << "e2e-token\n";
  const uint16_t port = FreePort();
  std::string metrics, status, loadReply, heldOut;
  int heldCode = -1;

  ChildSignals signals;
  signals.then = [&](pid_t pid) {
    const auto both = [&] {
      metrics = Body(Http(port, "GET", "/metrics"));
      return metrics.find(std::string("ralvex_voltage_volts{serial=\"") + FIRST) !=
                 std::string::npos &&
             metrics.find(std::string("ralvex_voltage_volts{serial=\"") + SECOND) !=
                 std::string::npos;
    };
    if (Within(std::chrono::seconds(20), both)) {
      status = Body(Http(port, "GET", "/api/status"));
      loadReply = Http(port, "POST", std::string("/api/load?serial=") + FIRST + "&ma=800",
                       "Authorization: Bearer e2e-token\r\n");
      Within(std::chrono::seconds(10), [&] {
        metrics = Body(Http(port, "GET", "/metrics"));
        return metrics.find(std::string("ralvex_set_current_amperes{serial=\"") + FIRST +
                            "\"} 0.8\n") != std::string::npos;
      });
      const RunResult held = Run({"-d", FIRST, "-s"}, bench);
      heldCode = held.code;
      heldOut = held.err;
    }
    ::kill(pid, SIGTERM);
  };
  const RunResult served =
      RunCommand({RALVEX_LAB_BINARY, "serve", "--listen", "127.0.0.1:" + std::to_string(port),
                  "--interval", "100", "--allow-control", "--token-file", tokenFile},
                 bench, {}, signals);

  EXPECT_EQ(served.code, 0) << served.err;
  EXPECT_NE(
      served.err.find("Serving 2 tester(s) on http://127.0.0.1:" + std::to_string(port) + "/"),
      std::string::npos)
      << served.err;
  EXPECT_NE(metrics.find(std::string("ralvex_up{serial=\"") + SECOND + "\"} 1\n"),
            std::string::npos)
      << metrics;
  EXPECT_NE(metrics.find(std::string("ralvex_set_current_amperes{serial=\"") + FIRST + "\"} 0.8\n"),
            std::string::npos)
      << metrics;
  ASSERT_FALSE(status.empty());
  const nlohmann::json all = nlohmann::json::parse(status);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0]["tester"]["serial"], FIRST);
  EXPECT_EQ(all[1]["tester"]["serial"], SECOND);
  EXPECT_EQ(all[0]["schema"], "ralvex.status/1");
  EXPECT_EQ(all[1]["measurements"]["voltage_mv"], 5000);
  EXPECT_EQ(loadReply.substr(0, 12), "HTTP/1.1 200") << loadReply;
  EXPECT_NE(heldCode, 0) << "ralvex opened a tester serve holds: " << heldOut;
  EXPECT_EQ(SetCurrent(bench, FIRST), "SET CURRENT:0mA");
  EXPECT_EQ(SetCurrent(bench, SECOND), "SET CURRENT:0mA");
}

TEST_F(ServeE2e, APortInUseEndsItWithExitOne) {
  const std::string bench = ReadyMade("two-testers.toml");
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  socklen_t size = sizeof address;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  const std::string listen = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  const RunResult served = RunCommand({RALVEX_LAB_BINARY, "serve", "--listen", listen}, bench);
  ::close(fd);
  EXPECT_EQ(served.code, 1);
  EXPECT_EQ(served.err, "Error: cannot listen on " + listen + ": the port is in use.\n");
}

}  // namespace
}  // namespace ralvex::e2e
