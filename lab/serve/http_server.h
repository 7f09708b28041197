// The HTTP transport of `serve` (cpp-httplib): a pool of worker threads hands each request to one
// handler, after the limits the library does not keep by itself: a request URI over 8 KiB gets
// 414, request headers over 8 KiB in all (however many lines) 431. The handler runs on the worker
// threads, several at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "lab/serve/serve_api.h"

namespace httplib {
class Server;
}  // namespace httplib

namespace ralvex::lab {

inline constexpr std::size_t REQUEST_URI_LIMIT = 8192;
inline constexpr std::size_t REQUEST_HEADERS_LIMIT = 8192;
inline constexpr std::size_t REQUEST_BODY_LIMIT = 64 * 1024;
inline constexpr std::size_t HTTP_WORKERS = 64;  // requests answered at once

// The bytes of the request's header lines as they came ("Name: value" and CR LF each).
template <typename Headers>
std::size_t HeaderBytes(const Headers& headers) {
  std::size_t bytes = 0;
  for (const auto& [name, value] : headers) bytes += name.size() + 2 + value.size() + 2;
  return bytes;
}

class HttpServer {
 public:
  using Handler = std::function<ApiReply(const ApiRequest&)>;

  explicit HttpServer(Handler handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the listening socket; port 0 takes any free one. False with `error` set.
  bool Bind(const std::string& host, uint16_t port, std::string* error);
  uint16_t Port() const { return port_; }
  // Serves on a thread of its own until Stop.
  void Start();
  void Stop();

 private:
  Handler handler_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  uint16_t port_ = 0;
};

}  // namespace ralvex::lab
