#include "cli/usage.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/cli/capture.h"
#include "tests/cli/expected_usage.h"

namespace ralvex::cli {
namespace {

using test_support::Capture;
using test_support::ExpectedUsage;

TEST(Usage, WholeTextWithTheNameAsTyped) {
  EXPECT_EQ(Capture([](std::FILE* f) { PrintUsage(f, "./bin/ralvex"); }),
            ExpectedUsage("./bin/ralvex"));
}

TEST(Usage, NameIsPrintedVerbatim) {
  // A percent sign in the program name is text, not a format directive.
  const std::string text = Capture([](std::FILE* f) { PrintUsage(f, "C:\\x\\%s%n.exe"); });
  EXPECT_EQ(text.rfind("Usage: C:\\x\\%s%n.exe [-f]", 0), 0u);
  EXPECT_EQ(Capture([](std::FILE* f) { PrintUsage(f, nullptr); }), ExpectedUsage(""));
}

}  // namespace
}  // namespace ralvex::cli
