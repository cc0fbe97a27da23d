// Helpers of the documentation and example tests: temp folders, runs of the built program,
// load file parsing, hex lists.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace doctest_util {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path);
void write_file(const fs::path& path, const std::string& text);
std::vector<std::string> split_lines(const std::string& text);

// A fresh folder under the system's temp folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

struct RunResult {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs the program with the arguments in the folder, standard input empty.
RunResult run_program(const std::string& program, const std::vector<std::string>& args, const fs::path& folder);

struct Segment {
  unsigned start = 0;
  unsigned end = 0;
  std::vector<std::uint8_t> data;
};

// Splits a binary load file into its segments; on a malformed file returns nothing and
// says why in `why`.
std::optional<std::vector<Segment>> parse_xex(const std::vector<std::uint8_t>& bytes, std::string& why);
std::vector<std::uint8_t> read_bytes(const fs::path& path);

// Two-digit hexadecimal bytes separated by white space; '#' starts a comment.
std::vector<std::uint8_t> parse_hex_list(const std::string& text);
std::string hex_string(const std::vector<std::uint8_t>& bytes);

// The stderr lines that report an error: everything but the informational lines.
std::vector<std::string> error_lines(const std::string& err);

// The value of a name in the symbol listing of standard output.
std::optional<unsigned> listed_value(const std::string& out, const std::string& name);

}  // namespace doctest_util
