// The HTTP interface of `serve`, apart from the transport: a request (method, path, query values,
// the Authorization header) in, a status with its body out.
//
//   GET  /               the live page
//   GET  /metrics        Prometheus text
//   GET  /api/status     the status objects of every tester, in an array
//   GET  /api/samples    ?serial=S[&since=T]: the history's rows after T, in an array
//   POST /api/load       ?serial=S&ma=N: set the load (with --allow-control and the token)
//   POST /api/profile    ?serial=S&profile=N[&mv=V]: choose a source profile (the same)
//
// Unknown paths get 404, another method on a known path 405 (with Allow), a malformed or missing
// query value 400, a serial number no tester has 404 (the transport adds 413, 414 and 431). The
// control endpoints answer 403 without --allow-control whatever the request carries, 401 without
// the right bearer token, 503 while the tester is down, 504 when it did not answer, and otherwise
// 200 with what the tester said.
#pragma once

#include <map>
#include <string>

#include "lab/serve/control_auth.h"
#include "lab/serve/serve_model.h"

namespace ralvex::lab {

struct ApiRequest {
  std::string method;
  std::string path;
  std::multimap<std::string, std::string> query;  // decoded
  std::string authorization;                      // the header's value; empty when none
};

struct ApiReply {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  std::string allow;       // for 405: the methods the path takes
  bool challenge = false;  // for 401: ask for a bearer token
};

struct ApiContext {
  ServeModel& model;
  const ControlPolicy& policy;
  const std::string& page;  // the live page's HTML
};

ApiReply HandleApi(const ApiRequest& request, const ApiContext& context);

// A reply with a JSON body {"error": message}.
ApiReply ErrorReply(int status, const std::string& message);

}  // namespace ralvex::lab
