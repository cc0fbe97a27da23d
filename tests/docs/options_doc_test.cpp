// The command line's options where users look for them: every option of --help is
// described in the manual page's OPTIONS section, each with an example.

#include <gtest/gtest.h>

#include <sstream>

#include "doc_util.h"
#include "driver/options.h"
#include "tests/support/run_helper.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSourceDir = XEXASM_SOURCE_DIR;

// An option as troff writes it: every '-' as "\-".
std::string troff(const std::string& option) {
  std::string t;
  for (char c : option) t += c == '-' ? std::string("\\-") : std::string(1, c);
  return t;
}

struct Entry {
  std::string tag;   // the line after .TP
  std::string body;  // the lines up to the next .TP or .SH
};

// The entries of the OPTIONS section (.TP, its tag line, its text).
std::vector<Entry> option_entries() {
  std::istringstream page(xtest::read_file(kSourceDir / "docs" / "xexasm.1"));
  std::vector<Entry> entries;
  std::string line;
  bool in_options = false, want_tag = false;
  while (std::getline(page, line)) {
    if (line.rfind(".SH", 0) == 0) {
      in_options = line == ".SH OPTIONS";
      continue;
    }
    if (!in_options) continue;
    if (line == ".TP") {
      entries.emplace_back();
      want_tag = true;
    } else if (line == ".PP") {
      in_options = false;  // the text after the list
    } else if (want_tag) {
      entries.back().tag = line;
      want_tag = false;
    } else if (!entries.empty()) {
      entries.back().body += line + "\n";
    }
  }
  return entries;
}

// The options of this command line (the listing's and the messages' options are described
// with their features).
const char* const kOptions[] = {"-o",  "--output", "-I",     "--include-dir", "--deps",    "--define", "--names",
                                "-q",  "--quiet",  "-h",     "--help",        "--version", "-D"};

TEST(ManualPage, EveryOptionIsDescribedWithAnExample) {
  const std::string usage = usage_text();
  const auto entries = option_entries();
  ASSERT_FALSE(entries.empty()) << "no OPTIONS section";
  for (const char* option : kOptions) {
    SCOPED_TRACE(option);
    EXPECT_NE(usage.find(std::string(" ") + option), std::string::npos) << "not in --help";
    const std::string spelled = troff(option);
    const Entry* found = nullptr;
    for (const auto& e : entries) {
      size_t at = e.tag.find(spelled);
      // The option itself, not the start of a longer one (\-\-define is no \-D).
      if (at != std::string::npos && (at + spelled.size() == e.tag.size() || !isalpha(static_cast<unsigned char>(e.tag[at + spelled.size()]))))
        found = &e;
    }
    ASSERT_NE(found, nullptr) << "no entry of the manual page's OPTIONS names it";
    size_t example = found->body.find("Example:\n.B \"xexasm ");
    EXPECT_NE(example, std::string::npos) << "its entry has no example:\n" << found->body;
  }
}

}  // namespace
