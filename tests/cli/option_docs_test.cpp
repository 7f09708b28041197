// The manual page and the bash completion name every option of the option table, and only those.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cli/options.h"

#ifndef RALVEX_SOURCE_DIR
#error "RALVEX_SOURCE_DIR must name the source tree"
#endif

namespace ralvex::cli {
namespace {

using Words = std::set<std::string>;

std::string ReadSource(const std::string& relativePath) {
  std::ifstream in(std::string(RALVEX_SOURCE_DIR) + "/" + relativePath);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Both forms of every row (with an argument or without one), as a user types them.
Words TableForms(bool takingArgument) {
  Words forms;
  for (const OptionRow& row : OptionRows()) {
    if (row.takesArgument != takingArgument) continue;
    forms.insert(LowerCase(row.shortForm));
    forms.insert(LowerCase(row.longForm));
  }
  return forms;
}

Words AllTableForms() {
  Words forms = TableForms(true);
  forms.merge(TableForms(false));
  return forms;
}

// Every option word ("-x", "--xyz") in `text`.
Words OptionWords(const std::string& text) {
  static const std::regex OPTION(R"((^|[\s'|])(--?[a-z]+)\b)");
  Words words;
  for (std::sregex_iterator it(text.begin(), text.end(), OPTION), end; it != end; ++it) {
    words.insert((*it)[2]);
  }
  return words;
}

// The manual page's OPTIONS section: each entry's tag line (".BR \-c ", " \-\-connection"),
// with the roff escapes taken out. `takingArgument` keeps the entries that name an argument.
Words ManualPageOptions(bool takingArgument) {
  const std::string page = ReadSource("docs/ralvex.1");
  const std::size_t begin = page.find(".SH OPTIONS\n");
  const std::size_t end = page.find(".SH ", begin + 1);
  EXPECT_NE(begin, std::string::npos) << "no OPTIONS section";
  std::istringstream section(page.substr(begin, end - begin));
  std::string line;
  std::string previous;
  Words words;
  while (std::getline(section, line)) {
    if (previous == ".TP" && line.rfind(".BR ", 0) == 0) {
      const bool hasArgument = line.find("\\fI") != std::string::npos;
      std::string plain = std::regex_replace(line, std::regex(R"(\\-)"), "-");
      if (hasArgument == takingArgument) words.merge(OptionWords(plain));
    }
    previous = line;
  }
  return words;
}

// The completion's list of words it offers (compgen -W '...').
Words CompletionOffers() {
  const std::string script = ReadSource("packaging/bash-completion/ralvex");
  const std::size_t begin = script.find("compgen -W '");
  EXPECT_NE(begin, std::string::npos) << "no compgen word list";
  const std::size_t from = begin + std::string("compgen -W '").size();
  return OptionWords(script.substr(from, script.find('\'', from) - from));
}

// The completion's case patterns: the options after which it offers no option words.
Words CompletionArgumentOptions() {
  const std::string script = ReadSource("packaging/bash-completion/ralvex");
  const std::size_t begin = script.find("case ${prev,,} in");
  const std::size_t end = script.find("esac", begin);
  EXPECT_NE(begin, std::string::npos) << "no case on the previous word";
  std::istringstream body(script.substr(begin, end - begin));
  std::string line;
  Words words;
  while (std::getline(body, line)) {
    const std::size_t close = line.find(')');
    if (close != std::string::npos && line.find('-') < close) {
      words.merge(OptionWords(line.substr(0, close)));
    }
  }
  return words;
}

TEST(OptionDocs, ManualPageNamesEveryOptionWithItsArgument) {
  EXPECT_EQ(ManualPageOptions(true), TableForms(true));
  EXPECT_EQ(ManualPageOptions(false), TableForms(false));
}

TEST(OptionDocs, CompletionOffersEveryOptionAndNoOtherWord) {
  EXPECT_EQ(CompletionOffers(), AllTableForms());
  EXPECT_EQ(CompletionArgumentOptions(), TableForms(true));
}

TEST(OptionDocs, OptionWordsAreReadAsTyped) {
  // The readers themselves: forms in a list, after a quote or a bar, and nothing inside words.
  EXPECT_EQ(OptionWords("'-h --help\n  -f | --find) x-y --Z"),
            Words({"-h", "--help", "-f", "--find"}));
}

}  // namespace
}  // namespace ralvex::cli
