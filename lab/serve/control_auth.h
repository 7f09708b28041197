// Control over HTTP: off unless --allow-control, and then only with the bearer token that
// --token-file holds (its first line, trimmed).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ralvex::lab {

struct ControlPolicy {
  bool allowed = false;
  std::string token;  // never empty while allowed
};

// The token of an "Authorization: Bearer TOKEN" header's value; nullopt for any other scheme.
std::optional<std::string_view> BearerToken(std::string_view header);
// Compares in time that depends on the lengths only, never on where the texts differ.
bool SameToken(std::string_view given, std::string_view expected);

}  // namespace ralvex::lab
