// The HTTP interface apart from the transport: which path and method get which status, the query
// values it refuses, the JSON it answers with, and the gate in front of control (403 while it is
// off whatever the request carries, 401 without the right token, only then the values).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "lab/log/log_row.h"
#include "lab/serve/serve_api.h"
#include "tests/labserve/serve_fakes.h"

namespace ralvex::lab {
namespace {

using test_support::ScriptedModel;

constexpr const char TOKEN[] = "s3cret-token";

class ServeApi : public ::testing::Test {
 protected:
  ServeApi() {
    TesterView t;
    t.serial = "KORA1";
    t.up = true;
    t.snapshot.serial = "KORA1";
    t.snapshot.stats.voltage = 9000;
    model.testers.push_back(t);
    LogRow row;
    row.sample.time = *ParseUtc("2026-12-08T10:00:00.000Z");
    row.sample.voltageMv = 9000;
    model.rows["KORA1"] = {row};
    row.sample.time = *ParseUtc("2026-12-08T10:00:00.500Z");
    model.rows["KORA1"].push_back(row);
  }

  ApiReply Call(const std::string& method, const std::string& path,
                std::multimap<std::string, std::string> query = {},
                const std::string& authorization = "") {
    return HandleApi({method, path, std::move(query), authorization}, {model, policy, page});
  }

  ScriptedModel model;
  ControlPolicy policy;
  std::string page = "<html>live</html>";
};

TEST_F(ServeApi, PathsAndMethods) {
  const struct {
    const char* method;
    const char* path;
    int status;
    const char* allow;
  } cases[] = {
      {"GET", "/", 200, ""},
      {"GET", "/metrics", 200, ""},
      {"HEAD", "/metrics", 200, ""},
      {"GET", "/api/status", 200, ""},
      {"GET", "/nothing", 404, ""},
      {"GET", "/metrics/", 404, ""},
      {"POST", "/nothing", 404, ""},
      {"POST", "/metrics", 405, "GET, HEAD"},
      {"DELETE", "/", 405, "GET, HEAD"},
      {"PUT", "/api/samples", 405, "GET, HEAD"},
      {"GET", "/api/load", 405, "POST"},
      {"HEAD", "/api/profile", 405, "POST"},
  };
  for (const auto& c : cases) {
    const ApiReply reply = Call(c.method, c.path);
    EXPECT_EQ(reply.status, c.status) << c.method << " " << c.path;
    EXPECT_EQ(reply.allow, c.allow) << c.method << " " << c.path;
  }
  EXPECT_EQ(Call("GET", "/").body, page);
  EXPECT_EQ(Call("GET", "/metrics").contentType, "text/plain; version=0.0.4; charset=utf-8");
}

TEST_F(ServeApi, StatusIsAnArrayOfStatusObjectsWithTheirUpFlag) {
  model.testers.push_back(model.testers[0]);
  model.testers[1].serial = model.testers[1].snapshot.serial = "KORA2";
  model.testers[1].up = false;
  const nlohmann::json all = nlohmann::json::parse(Call("GET", "/api/status").body);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0]["schema"], "ralvex.status/1");
  EXPECT_EQ(all[0]["tester"]["serial"], "KORA1");
  EXPECT_EQ(all[0]["measurements"]["voltage_mv"], 9000);
  EXPECT_EQ(all[0]["up"], true);
  EXPECT_EQ(all[1]["tester"]["serial"], "KORA2");
  EXPECT_EQ(all[1]["up"], false);
}

TEST_F(ServeApi, SamplesRefuseWhatTheyCannotRead) {
  const struct {
    std::multimap<std::string, std::string> query;
    int status;
    std::size_t rows;  // when 200
  } cases[] = {
      {{{"serial", "KORA1"}}, 200, 2},
      {{{"serial", "KORA1"}, {"since", "2026-12-08T10:00:00.000Z"}}, 200, 1},
      {{{"serial", "KORA1"}, {"since", "2026-12-08T10:00:01.000Z"}}, 200, 0},
      {{{"serial", "KORA1"}, {"other", "x"}}, 200, 2},
      {{}, 400, 0},
      {{{"serial", "KORA1"}, {"serial", "KORA1"}}, 400, 0},
      {{{"serial", "KORA1"}, {"since", ""}}, 400, 0},
      {{{"serial", "KORA1"}, {"since", "yesterday"}}, 400, 0},
      {{{"serial", "KORA1"}, {"since", "2026-12-08T10:00:00Z"}}, 400, 0},
      {{{"serial", "KORA1"}, {"since", "2026-13-08T10:00:00.000Z"}}, 400, 0},
      {{{"serial", "KORA1"}, {"since", "2026-12-08T10:00:00.000Z"}, {"since", "x"}}, 400, 0},
      {{{"serial", "KORA9"}}, 404, 0},
      {{{"serial", ""}}, 404, 0},
  };
  for (const auto& c : cases) {
    const ApiReply reply = Call("GET", "/api/samples", c.query);
    EXPECT_EQ(reply.status, c.status) << reply.body;
    const nlohmann::json body = nlohmann::json::parse(reply.body);
    if (c.status == 200) {
      EXPECT_EQ(body.size(), c.rows);
    } else {
      EXPECT_TRUE(body.contains("error")) << reply.body;
    }
  }
}

TEST_F(ServeApi, SampleRowsCarryTheLogsColumns) {
  const nlohmann::json rows =
      nlohmann::json::parse(Call("GET", "/api/samples", {{"serial", "KORA1"}}).body);
  ASSERT_EQ(rows.size(), 2u);
  std::vector<std::string> keys;
  for (const auto& [key, value] : rows[0].items()) keys.push_back(key);
  std::vector<std::string> columns(LOG_COLUMNS.begin(), LOG_COLUMNS.end());
  std::sort(columns.begin(), columns.end());
  EXPECT_EQ(keys, columns);  // the parser keeps keys sorted
  EXPECT_EQ(rows[0]["time"], "2026-12-08T10:00:00.000Z");
  EXPECT_EQ(rows[1]["voltage_mv"], 9000);
}

TEST_F(ServeApi, ControlIsForbiddenWhileOffWhateverTheRequestCarries) {
  const std::multimap<std::string, std::string> queries[] = {
      {{"serial", "KORA1"}, {"ma", "500"}},
      {{"serial", "KORA1"}, {"profile", "2"}},
      {{"serial", "KORA9"}, {"ma", "x"}},
      {},
  };
  for (const char* path : {"/api/load", "/api/profile"}) {
    for (const auto& query : queries) {
      for (const char* auth : {"", "Bearer s3cret-token", "Basic abc"}) {
        EXPECT_EQ(Call("POST", path, query, auth).status, 403) << path << " " << auth;
      }
    }
  }
  EXPECT_TRUE(model.actions.empty());
}

TEST_F(ServeApi, ControlWantsTheBearerTokenBeforeAnythingElse) {
  policy = {true, TOKEN};
  const char* wrong[] = {"",
                         "Bearer",
                         "Bearer ",
                         "Bearer s3cret",
                         "Bearer s3cret-token2",
                         "Bearer S3CRET-TOKEN",
                         "Basic s3cret-token",
                         "s3cret-token",
                         "Bearer s3cret-tokeN"};
  for (const char* auth : wrong) {
    const ApiReply reply = Call("POST", "/api/load", {{"serial", "KORA1"}, {"ma", "500"}}, auth);
    EXPECT_EQ(reply.status, 401) << auth;
    EXPECT_TRUE(reply.challenge) << auth;
    // Bad values too are refused by the token first.
    EXPECT_EQ(Call("POST", "/api/profile", {{"profile", "x"}}, auth).status, 401) << auth;
  }
  EXPECT_TRUE(model.actions.empty());
  for (const char* right :
       {"Bearer s3cret-token", "bearer s3cret-token", "BEARER  s3cret-token "}) {
    EXPECT_EQ(Call("POST", "/api/load", {{"serial", "KORA1"}, {"ma", "500"}}, right).status, 200)
        << right;
  }
}

TEST_F(ServeApi, ControlValuesAndOutcomes) {
  policy = {true, TOKEN};
  const std::string auth = std::string("Bearer ") + TOKEN;
  const struct {
    const char* path;
    std::multimap<std::string, std::string> query;
    int status;
  } cases[] = {
      {"/api/load", {{"serial", "KORA1"}, {"ma", "0"}}, 200},
      {"/api/load", {{"serial", "KORA1"}, {"ma", "65535"}}, 200},
      {"/api/load", {{"serial", "KORA1"}, {"ma", "65536"}}, 400},
      {"/api/load", {{"serial", "KORA1"}, {"ma", "-1"}}, 400},
      {"/api/load", {{"serial", "KORA1"}, {"ma", "1.5"}}, 400},
      {"/api/load", {{"serial", "KORA1"}, {"ma", "12abc"}}, 400},
      {"/api/load", {{"serial", "KORA1"}, {"ma", ""}}, 400},
      {"/api/load", {{"serial", "KORA1"}}, 400},
      {"/api/load", {{"serial", "KORA1"}, {"ma", "1"}, {"ma", "2"}}, 400},
      {"/api/load", {{"ma", "500"}}, 400},
      {"/api/load", {{"serial", "KORA9"}, {"ma", "500"}}, 404},
      {"/api/profile", {{"serial", "KORA1"}, {"profile", "2"}}, 200},
      {"/api/profile", {{"serial", "KORA1"}, {"profile", "5"}, {"mv", "9000"}}, 200},
      {"/api/profile", {{"serial", "KORA1"}, {"profile", "0"}}, 400},
      {"/api/profile", {{"serial", "KORA1"}, {"profile", "256"}}, 400},
      {"/api/profile", {{"serial", "KORA1"}, {"profile", "2"}, {"mv", "x"}}, 400},
      {"/api/profile", {{"serial", "KORA1"}}, 400},
      {"/api/profile", {{"serial", "KORA9"}, {"profile", "2"}}, 404},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Call("POST", c.path, c.query, auth).status, c.status) << c.path;
  }
  ASSERT_EQ(model.actions.size(), 4u);  // only the good ones reached a tester
  EXPECT_EQ(model.actions[1].loadMa, 65535);
  EXPECT_EQ(model.actions[3].kind, CONTROL_PROFILE);
  EXPECT_EQ(model.actions[3].profile, 5);
  EXPECT_EQ(model.actions[3].voltageMv, 9000);

  const struct {
    ControlOutcome outcome;
    int status;
    const char* verdict;  // for the answered ones
  } outcomes[] = {
      {{true, true, {true, link::SET_ACCEPTED}}, 200, "accepted"},
      {{true, true, {true, link::SET_REFUSED}}, 200, "refused"},
      {{true, true, {true, std::nullopt}}, 200, "unknown"},
      {{true, true, {false, std::nullopt}}, 504, "unknown"},
      {{false, true, {}}, 503, nullptr},
      {{true, false, {}}, 400, nullptr},
  };
  for (const auto& o : outcomes) {
    model.outcome = o.outcome;
    const ApiReply reply =
        Call("POST", "/api/profile", {{"serial", "KORA1"}, {"profile", "1"}}, auth);
    EXPECT_EQ(reply.status, o.status) << reply.body;
    if (o.verdict != nullptr) {
      EXPECT_EQ(nlohmann::json::parse(reply.body)["verdict"], o.verdict);
    }
  }
}

TEST(ControlAuth, BearerTokenAndComparison) {
  const struct {
    const char* header;
    std::optional<std::string> token;
  } headers[] = {
      {"Bearer abc", "abc"},       {"bearer abc", "abc"},     {"  Bearer   abc  ", "abc"},
      {"Bearer", std::nullopt},    {"Bearer ", std::nullopt}, {"Basic abc", std::nullopt},
      {"Bearerabc", std::nullopt}, {"", std::nullopt},
  };
  for (const auto& h : headers) {
    const auto token = BearerToken(h.header);
    EXPECT_EQ(token ? std::optional<std::string>(std::string(*token)) : std::nullopt, h.token)
        << h.header;
  }
  EXPECT_TRUE(SameToken("abc", "abc"));
  EXPECT_FALSE(SameToken("abd", "abc"));
  EXPECT_FALSE(SameToken("ab", "abc"));
  EXPECT_FALSE(SameToken("abcd", "abc"));
  EXPECT_FALSE(SameToken("", "abc"));
  EXPECT_FALSE(SameToken("abc", ""));
  EXPECT_FALSE(SameToken("abcabc", "abc"));  // a repeat of the token is not the token
}

}  // namespace
}  // namespace ralvex::lab
