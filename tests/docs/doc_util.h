// Helpers of the documentation and example tests: load file parsing, hex lists, and what
// a run printed. The runs themselves go through tests/support/run_helper.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace doctest_util {

std::vector<std::string> split_lines(const std::string& text);

struct Segment {
  unsigned start = 0;
  unsigned end = 0;
  std::vector<std::uint8_t> data;
};

// Splits a binary load file into its segments; on a malformed file returns nothing and
// says why in `why`.
std::optional<std::vector<Segment>> parse_xex(const std::string& bytes, std::string& why);

// Two-digit hexadecimal bytes separated by white space; '#' starts a comment.
std::vector<std::uint8_t> parse_hex_list(const std::string& text);
std::string hex_string(const std::vector<std::uint8_t>& bytes);

// The stderr lines that report an error: everything but the informational lines.
std::vector<std::string> error_lines(const std::string& err);

// The value of a name in the symbol listing of standard output.
std::optional<unsigned> listed_value(const std::string& out, const std::string& name);

}  // namespace doctest_util
