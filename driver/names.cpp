// Predefined names from the command line.
#include "driver/names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "assembly/symbol.h"
#include "base/diag.h"
#include "source/tokens.h"

namespace {

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// A value as written: decimal digits, or '$' and hexadecimal digits, at most $FFFF. Null
// when it is good, else what is wrong with it.
const char* read_value(const std::string& text, uint16_t& value) {
  bool hex = !text.empty() && text[0] == '$';
  size_t at = hex ? 1 : 0;
  if (at == text.size()) return "the value is missing (decimal, or $ and hexadecimal digits)";
  uint32_t v = 0;
  for (; at < text.size(); at++) {
    char c = text[at];
    uint32_t digit;
    if (hex && is_hex_digit(c)) digit = c <= '9' ? static_cast<uint32_t>(c - '0') : static_cast<uint32_t>((c | 0x20) - 'a' + 10);
    else if (!hex && c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
    else return "the value is not a number (decimal, or $ and hexadecimal digits)";
    v = v * (hex ? 16 : 10) + digit;
    if (v > 0xFFFF) return "the value is above $FFFF";
  }
  value = static_cast<uint16_t>(v);
  return nullptr;
}

// A name that a source can refer to: a letter or '_', then letters, digits and '_'; not a
// keyword. Null when it is good.
const char* check_name(const std::string& name) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (name.empty() || !letter(name[0])) return "a name starts with a letter or '_'";
  for (char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9')) return "a name holds only letters, digits and '_'";
  if (keyword_code(name) >= 0) return "the name is a keyword";
  return nullptr;
}

// One definition; null when it is taken, else what is wrong with it.
const char* define(const std::string& name, const std::string& value_text) {
  if (const char* why = check_name(name)) return why;
  uint16_t value = 0;
  if (const char* why = read_value(value_text, value)) return why;
  symbol_predefine(name.c_str(), value);
  return nullptr;
}

// The text without blanks, tabs and carriage returns at either end.
std::string trimmed(const std::string& s) {
  size_t from = s.find_first_not_of(" \t\r");
  if (from == std::string::npos) return "";
  return s.substr(from, s.find_last_not_of(" \t\r") - from + 1);
}

// The whole of a file; false when it cannot be opened or read, or is a folder.
bool read_whole(const std::string& path, std::string& text) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  char block[1 << 14];
  while (ok) {
    ssize_t n = ::read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    text.append(block, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

// A names file: as given, else (a bare file name) where the installation keeps its names.
void read_names_file(const std::string& file) {
  std::string text;
  if (!read_whole(file, text)) {
    std::string folder = file.find('/') == std::string::npos ? installed_names_folder() : "";
    if (folder.empty() || !read_whole(folder + file, text)) fatal("Could not open Names File %s\n", file.c_str());
  }
  int line_number = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line_number < INT_MAX) line_number++;
    line = trimmed(line.substr(0, line.find(';')));
    if (line.empty()) continue;
    size_t eq = line.find('=');
    const char* why = eq == std::string::npos ? "expected NAME = VALUE"
                                               : define(trimmed(line.substr(0, eq)), trimmed(line.substr(eq + 1)));
    if (why) fatal("Names File %s, line %d: %s\n", file.c_str(), line_number, why);
  }
}

}  // namespace

std::string installed_names_folder() {
  char self[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "";
  std::string program(self, static_cast<size_t>(n));
  size_t slash = program.rfind('/');
  if (slash == std::string::npos) return "";
  return program.substr(0, slash) + "/../share/xexasm/";
}

void predefine_names(const Options& options) {
  for (const std::string& file : options.names_files) read_names_file(file);
  for (const Definition& d : options.definitions)
    if (const char* why = define(d.name, d.value))
      fatal("Bad Definition %s=%s: %s\n", d.name.c_str(), d.value.c_str(), why);
}
