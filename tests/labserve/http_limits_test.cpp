// The transport as a client on a raw socket meets it: the limits the library does not keep by
// itself (URI over 8 KiB: 414; headers over 8 KiB in all, in one line or many: 431; a body over
// 64 KiB: 413), requests without a body, the routing statuses, one port for one server, and a
// server that keeps serving.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "lab/serve/http_server.h"
#include "tests/labserve/serve_fakes.h"

namespace ralvex::lab {
namespace {

// Sends `request` whole and returns the status line of the reply ("" when none came).
std::string StatusLine(uint16_t port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval timeout{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::string reply;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[512];
    while (reply.find("\r\n") == std::string::npos) {
      const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      reply.append(buffer, static_cast<std::size_t>(got));
    }
  }
  ::close(fd);
  return reply.substr(0, reply.find("\r\n"));
}

std::string Headers(int count, std::size_t valueSize) {
  std::string lines;
  for (int i = 0; i < count; ++i) {
    lines += "X-Field-" + std::to_string(i) + ": " + std::string(valueSize, 'v') + "\r\n";
  }
  return lines;
}

class HttpLimits : public ::testing::Test {
 protected:
  HttpLimits()
      : server([this](const ApiRequest& r) {
          return HandleApi(r, {model, policy, page});
        }) {
    model.rows["KORA1"] = {};
    std::string error;
    EXPECT_TRUE(server.Bind("127.0.0.1", 0, &error)) << error;
    server.Start();
  }

  test_support::ScriptedModel model;
  ControlPolicy policy;
  std::string page = "<html></html>";
  HttpServer server;
};

TEST_F(HttpLimits, EachBadRequestGetsItsStatusAndTheServerGoesOn) {
  const std::string host = "Host: x\r\n";
  const struct {
    const char* what;
    std::string request;
    const char* status;
  } cases[] = {
      {"a good request", "GET /metrics HTTP/1.1\r\n" + host + "\r\n", "200"},
      {"a URI just under 8 KiB",
       "GET /metrics?x=" + std::string(8000, 'a') + " HTTP/1.1\r\n" + host + "\r\n", "200"},
      {"a URI over 8 KiB",
       "GET /metrics?x=" + std::string(8200, 'a') + " HTTP/1.1\r\n" + host + "\r\n", "414"},
      {"a path over 8 KiB", "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n" + host + "\r\n",
       "414"},
      {"headers just under 8 KiB", "GET /metrics HTTP/1.1\r\n" + host + Headers(80, 80) + "\r\n",
       "200"},
      {"one header line over 8 KiB", "GET / HTTP/1.1\r\n" + host + Headers(1, 9000) + "\r\n",
       "431"},
      {"the first header over 8 KiB", "GET / HTTP/1.1\r\n" + Headers(1, 9000) + "\r\n", "431"},
      {"many short headers over 8 KiB", "GET / HTTP/1.1\r\n" + host + Headers(100, 80) + "\r\n",
       "431"},
      {"thousands of tiny headers", "GET / HTTP/1.1\r\n" + host + Headers(3000, 1) + "\r\n", "431"},
      {"an unknown path", "GET /nothing HTTP/1.1\r\n" + host + "\r\n", "404"},
      {"a wrong method", "DELETE /metrics HTTP/1.1\r\n" + host + "\r\n", "405"},
      {"a malformed query value",
       "GET /api/samples?serial=KORA1&since=x HTTP/1.1\r\n" + host + "\r\n", "400"},
      {"a POST without a body", "POST /api/load?serial=KORA1&ma=1 HTTP/1.1\r\n" + host + "\r\n",
       "403"},
      {"a POST with a body",
       "POST /api/load?serial=KORA1&ma=1 HTTP/1.1\r\n" + host + "Content-Length: 4\r\n\r\nabcd",
       "403"},
      {"a body over 64 KiB",
       "POST /api/load HTTP/1.1\r\n" + host + "Content-Length: 1000000\r\n\r\n" +
           std::string(70000, 'b'),
       "413"},
      {"a method nobody knows", "BREW / HTTP/1.1\r\n" + host + "\r\n", "400"},
      {"no request line", "\x01\x02\x03\r\n\r\n", "400"},
  };
  for (const auto& c : cases) {
    const std::string line = StatusLine(server.Port(), c.request);
    EXPECT_EQ(line.substr(0, 12), std::string("HTTP/1.1 ") + c.status) << c.what << ": " << line;
    EXPECT_EQ(StatusLine(server.Port(), "GET /metrics HTTP/1.1\r\n" + host + "\r\n").substr(9, 3),
              "200")
        << "after " << c.what;
  }
}

TEST_F(HttpLimits, APortHasOneServer) {
  HttpServer second([](const ApiRequest&) { return ApiReply{}; });
  std::string error;
  EXPECT_FALSE(second.Bind("127.0.0.1", server.Port(), &error));
  EXPECT_NE(error.find("in use"), std::string::npos) << error;
}

TEST(HttpHeaderBytes, CountsEveryLineAsItCame) {
  const std::multimap<std::string, std::string> none, two = {{"Host", "x"}, {"A", "bc"}};
  EXPECT_EQ(HeaderBytes(none), 0u);
  EXPECT_EQ(HeaderBytes(two), (4 + 2 + 1 + 2) + (1 + 2 + 2 + 2));
}

}  // namespace
}  // namespace ralvex::lab
