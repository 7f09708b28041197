#include "lab/serve/control_auth.h"

namespace ralvex::lab {

namespace {

constexpr std::string_view SPACE = " \t\r\n\f\v";

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(SPACE);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(SPACE) - first + 1);
}

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string_view> BearerToken(std::string_view header) {
  constexpr std::string_view SCHEME = "bearer ";
  header = Trimmed(header);
  if (header.size() <= SCHEME.size() || !SameLetters(header.substr(0, SCHEME.size()), SCHEME)) {
    return std::nullopt;
  }
  return Trimmed(header.substr(SCHEME.size()));
}

bool SameToken(std::string_view given, std::string_view expected) {
  unsigned char differ = given.size() == expected.size() ? 0 : 1;
  for (std::size_t i = 0; i < given.size(); ++i) {
    const char other = expected.empty() ? '\0' : expected[i % expected.size()];
    differ |= static_cast<unsigned char>(given[i] ^ other);
  }
  return differ == 0;
}

}  // namespace ralvex::lab
