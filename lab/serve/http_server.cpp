#include "lab/serve/http_server.h"

#include <httplib.h>

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace ralvex::lab {

namespace {

ApiRequest RequestOf(const httplib::Request& req) {
  ApiRequest request;
  request.method = req.method;
  request.path = req.path;
  request.query.insert(req.params.begin(), req.params.end());
  request.authorization = req.get_header_value("Authorization");
  return request;
}

void Answer(const ApiReply& reply, httplib::Response& res) {
  res.status = reply.status;
  res.set_content(reply.body, reply.contentType.c_str());
  if (!reply.allow.empty()) res.set_header("Allow", reply.allow);
  if (reply.challenge) res.set_header("WWW-Authenticate", "Bearer");
}

// Whether the request this worker thread serves got past its headers (to the routing): the
// library's own 400s tell by it what they refuse.
thread_local bool routed = false;

bool KnownMethod(const std::string& method) {
  for (const char* known : {"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS", "PATCH"}) {
    if (method == known) return true;
  }
  return false;
}

std::string Reason(const std::string& host, uint16_t port, int error) {
  std::string text = "cannot listen on " + host + ":" + std::to_string(port);
  if (error == EADDRINUSE) return text + ": the port is in use";
  if (error != 0) return text + ": " + std::strerror(error);
  return text + " (the port in use, or not an address of this machine)";
}

constexpr const char* HEADERS_TOO_LARGE = "the request headers are over 8 KiB";

// A request refused for its size: the connection goes, with whatever of the request is left on it.
void AnswerAndClose(int status, const char* message, httplib::Response& res) {
  Answer(ErrorReply(status, message), res);
  res.set_header("Connection", "close");
}

// The limits the library leaves to us, and the requests without a body: those are answered here,
// before the library would wait for a body that never comes (a POST without Content-Length).
// Unhandled lets the request through to the library, which reads its body first.
httplib::Server::HandlerResponse Route(const HttpServer::Handler& handler,
                                       const httplib::Request& req, httplib::Response& res) {
  routed = true;
  const bool bodiless = !req.has_header("Content-Length") && !req.has_header("Transfer-Encoding");
  if (req.target.size() > REQUEST_URI_LIMIT) {
    AnswerAndClose(414, "the request URI is over 8 KiB", res);
  } else if (HeaderBytes(req.headers) > REQUEST_HEADERS_LIMIT) {
    AnswerAndClose(431, HEADERS_TOO_LARGE, res);
  } else if (req.get_header_value<uint64_t>("Content-Length") > REQUEST_BODY_LIMIT) {
    AnswerAndClose(413, "the request body is over 64 KiB", res);
  } else if (bodiless) {
    Answer(handler(RequestOf(req)), res);
  } else {
    return httplib::Server::HandlerResponse::Unhandled;
  }
  return httplib::Server::HandlerResponse::Handled;
}

// What the library refuses by itself, before any handler. A well-formed request whose headers it
// could not read had a header line over its 8 KiB limit: headers too large.
void Refused(const httplib::Request& req, httplib::Response& res) {
  if (res.status == 400 && res.body.empty() && !routed && KnownMethod(req.method) &&
      !req.version.empty()) {
    AnswerAndClose(431, HEADERS_TOO_LARGE, res);
  }
  if (res.body.empty())
    res.set_content(ErrorReply(res.status, "bad request").body, "application/json");
}

}  // namespace

HttpServer::HttpServer(Handler handler)
    : handler_(std::move(handler)), server_(std::make_unique<httplib::Server>()) {
  httplib::Server& s = *server_;
  s.new_task_queue = [] { return new httplib::ThreadPool(HTTP_WORKERS); };
  // One request a connection: the library watches an idle kept-alive connection by waking every
  // few milliseconds, which costs more than a new connection on a page that polls twice a second.
  s.set_keep_alive_max_count(1);
  s.set_payload_max_length(REQUEST_BODY_LIMIT);  // no endpoint reads a body: 413 beyond this
  // A reply's pieces go out as they are written, not held back for the client's delayed
  // acknowledgement (tens of milliseconds).
  s.set_tcp_nodelay(true);
  // Address reuse for a quick restart, but never two servers on one port (the library's own
  // default shares the port).
  s.set_socket_options([](socket_t sock) {
    const int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    return Route(handler_, req, res);
  });
  const httplib::Server::Handler serve = [this](const httplib::Request& req,
                                                httplib::Response& res) {
    Answer(handler_(RequestOf(req)), res);
  };
  s.Get(".*", serve).Post(".*", serve).Put(".*", serve).Patch(".*", serve);
  s.Delete(".*", serve).Options(".*", serve);
  s.set_post_routing_handler([](const httplib::Request&, httplib::Response&) { routed = false; });
  s.set_error_handler(
      [](const httplib::Request& req, httplib::Response& res) { Refused(req, res); });
}

HttpServer::~HttpServer() {
  Stop();
}

bool HttpServer::Bind(const std::string& host, uint16_t port, std::string* error) {
  errno = 0;
  if (port == 0) {
    const int chosen = server_->bind_to_any_port(host);
    if (chosen > 0) port_ = static_cast<uint16_t>(chosen);
  } else if (server_->bind_to_port(host, port)) {
    port_ = port;
  }
  if (port_ != 0) return true;
  *error = Reason(host, port, errno);
  return false;
}

void HttpServer::Start() {
  thread_ = std::thread([this] { server_->listen_after_bind(); });
}

void HttpServer::Stop() {
  // A stop before the serving thread is listening would be lost; give it a moment to begin.
  for (int i = 0; i < 1000 && thread_.joinable() && !server_->is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace ralvex::lab
