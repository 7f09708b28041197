#include "lab/serve/serve_api.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "lab/log/row_fields.h"
#include "lab/serve/metrics_text.h"

namespace ralvex::lab {

namespace {

// A query value: missing, given once, or not usable (given twice, or not of its form).
struct Value {
  bool given = false;
  bool usable = true;
  std::string text;
};

Value QueryValue(const ApiRequest& request, const std::string& name) {
  const auto [first, last] = request.query.equal_range(name);
  if (first == last) return {};
  return {true, std::next(first) == last, first->second};
}

// A whole number in [min, max]; nullopt for anything else.
std::optional<uint32_t> Whole(const Value& value, uint32_t min, uint32_t max) {
  uint32_t number = 0;
  const char* end = value.text.data() + value.text.size();
  const auto [ptr, ec] = std::from_chars(value.text.data(), end, number);
  if (!value.usable || value.text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  if (number < min || number > max) return std::nullopt;
  return number;
}

ApiReply Json(const nlohmann::json& body) {
  return {200, "application/json", body.dump(), "", false};
}

ApiReply Page(const ApiRequest&, const ApiContext& context) {
  return {200, "text/html; charset=utf-8", context.page, "", false};
}

ApiReply Metrics(const ApiRequest&, const ApiContext& context) {
  return {200, METRICS_CONTENT_TYPE, MetricsText(context.model.Testers()), "", false};
}

ApiReply Status(const ApiRequest&, const ApiContext& context) {
  nlohmann::json all = nlohmann::json::array();
  for (const TesterView& tester : context.model.Testers()) {
    nlohmann::json status = StatusObject(tester.snapshot);
    status["up"] = tester.up;
    all.push_back(std::move(status));
  }
  return Json(all);
}

// The serial= value, or the reply that refuses the request.
std::optional<ApiReply> RefuseSerial(const Value& serial) {
  if (!serial.given) return ErrorReply(400, "serial= is missing");
  if (!serial.usable) return ErrorReply(400, "serial= is given more than once");
  return std::nullopt;
}

ApiReply Samples(const ApiRequest& request, const ApiContext& context) {
  const Value serial = QueryValue(request, "serial");
  if (auto refused = RefuseSerial(serial)) return *refused;
  const Value since = QueryValue(request, "since");
  std::optional<WallTime> after;
  if (since.given) {
    after = since.usable ? ParseUtc(since.text) : std::nullopt;
    if (!after) return ErrorReply(400, "since= is not a time like 2026-12-08T23:44:03.123Z");
  }
  const auto rows = context.model.Samples(serial.text, after);
  if (!rows) return ErrorReply(404, "no tester " + serial.text);
  std::string body = "[";
  for (const LogRow& row : *rows) body += (body.size() > 1 ? "," : "") + RowJson(RowFields(row));
  return {200, "application/json", body + "]", "", false};
}

const char* VerdictName(const link::SetResult& result) {
  if (!result.status) return "unknown";
  switch (*result.status) {
    case link::SET_ACCEPTED:
      return "accepted";
    case link::SET_REFUSED:
      return "refused";
    case link::SET_MALFORMED:
      return "malformed";
  }
  return "unknown";
}

// The gate of both control endpoints, in this order: allowed at all, the token, then serial=.
std::optional<ApiReply> RefuseControl(const ApiRequest& request, const ControlPolicy& policy) {
  if (!policy.allowed) return ErrorReply(403, "control is off: start serve with --allow-control");
  const auto token = BearerToken(request.authorization);
  if (!token || !SameToken(*token, policy.token)) {
    ApiReply reply = ErrorReply(401, "a bearer token is needed, and this is not it");
    reply.challenge = true;
    return reply;
  }
  return RefuseSerial(QueryValue(request, "serial"));
}

// The action for the tester of serial= (checked by RefuseControl), and the tester's answer.
ApiReply Carry(const ApiRequest& request, const ControlAction& action, const ApiContext& context) {
  const std::string serial = QueryValue(request, "serial").text;
  const std::optional<ControlOutcome> outcome = context.model.Control(serial, action);
  if (!outcome) return ErrorReply(404, "no tester " + serial);
  if (!outcome->up) return ErrorReply(503, "the tester " + serial + " is down");
  if (!outcome->valid) return ErrorReply(400, "the source has no such profile at that voltage");
  const link::SetResult& r = outcome->result;
  nlohmann::json body = {{"serial", serial},
                         {"answered", r.answered},
                         {"accepted", r.Accepted()},
                         {"verdict", VerdictName(r)}};
  ApiReply reply = Json(body);
  if (!r.answered) reply.status = 504;
  return reply;
}

ApiReply Load(const ApiRequest& request, const ApiContext& context) {
  if (auto refused = RefuseControl(request, context.policy)) return *refused;
  const auto ma = Whole(QueryValue(request, "ma"), 0, 65535);
  if (!ma) return ErrorReply(400, "ma= must be a whole number of mA from 0 to 65535");
  ControlAction action;
  action.kind = CONTROL_LOAD;
  action.loadMa = static_cast<uint16_t>(*ma);
  return Carry(request, action, context);
}

ApiReply Profile(const ApiRequest& request, const ApiContext& context) {
  if (auto refused = RefuseControl(request, context.policy)) return *refused;
  const auto profile = Whole(QueryValue(request, "profile"), 1, 255);
  if (!profile) return ErrorReply(400, "profile= must be a profile's number from 1");
  const Value mvText = QueryValue(request, "mv");
  const auto mv = mvText.given ? Whole(mvText, 0, 65535) : std::optional<uint32_t>(0);
  if (!mv) return ErrorReply(400, "mv= must be a whole number of mV from 0 to 65535");
  ControlAction action;
  action.kind = CONTROL_PROFILE;
  action.profile = static_cast<uint8_t>(*profile);
  action.voltageMv = static_cast<uint16_t>(*mv);
  return Carry(request, action, context);
}

struct Route {
  const char* path;
  const char* method;
  ApiReply (*handle)(const ApiRequest&, const ApiContext&);
};

const Route ROUTES[] = {
    {"/", "GET", Page},
    {"/metrics", "GET", Metrics},
    {"/api/status", "GET", Status},
    {"/api/samples", "GET", Samples},
    {"/api/load", "POST", Load},
    {"/api/profile", "POST", Profile},
};

}  // namespace

ApiReply ErrorReply(int status, const std::string& message) {
  return {status, "application/json", nlohmann::json{{"error", message}}.dump(), "", false};
}

ApiReply HandleApi(const ApiRequest& request, const ApiContext& context) {
  for (const Route& route : ROUTES) {
    if (request.path != route.path) continue;
    // HEAD is GET without the body, which the transport leaves out.
    const bool head = request.method == "HEAD" && std::string(route.method) == "GET";
    if (request.method == route.method || head) return route.handle(request, context);
    ApiReply reply = ErrorReply(405, request.method + " is not taken here: use " + route.method);
    reply.allow = route.method == std::string("GET") ? "GET, HEAD" : route.method;
    return reply;
  }
  return ErrorReply(404, "nothing at " + request.path);
}

}  // namespace ralvex::lab
