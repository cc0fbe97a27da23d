#include "doc_util.h"

#include <cctype>
#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace doctest_util {

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::optional<std::vector<Segment>> parse_xex(const std::string& file, std::string& why) {
  const std::vector<std::uint8_t> b(file.begin(), file.end());
  if (b.size() < 2 || b[0] != 0xFF || b[1] != 0xFF) {
    why = "the file does not start with $FF $FF";
    return std::nullopt;
  }
  std::vector<Segment> segments;
  std::size_t i = 2;
  while (i < b.size()) {
    if (b.size() - i < 4) {
      why = "a segment header is cut short at offset " + std::to_string(i);
      return std::nullopt;
    }
    Segment s;
    s.start = b[i] | (b[i + 1] << 8);
    s.end = b[i + 2] | (b[i + 3] << 8);
    if (s.start == 0xFFFF) {
      why = "a second $FF $FF header at offset " + std::to_string(i);
      return std::nullopt;
    }
    if (s.end < s.start) {
      why = "the segment at offset " + std::to_string(i) + " ends before it starts";
      return std::nullopt;
    }
    i += 4;
    std::size_t n = s.end - s.start + 1;
    if (b.size() - i < n) {
      why = "the segment starting at offset " + std::to_string(i - 4) + " is cut short";
      return std::nullopt;
    }
    s.data.assign(b.begin() + static_cast<std::ptrdiff_t>(i), b.begin() + static_cast<std::ptrdiff_t>(i + n));
    i += n;
    segments.push_back(std::move(s));
  }
  return segments;
}

std::vector<std::uint8_t> parse_hex_list(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  for (const auto& raw : split_lines(text)) {
    std::string line = raw.substr(0, raw.find('#'));
    std::istringstream in(line);
    std::string tok;
    while (in >> tok) {
      if (tok.size() != 2 || !isxdigit(static_cast<unsigned char>(tok[0])) ||
          !isxdigit(static_cast<unsigned char>(tok[1])))
        throw std::runtime_error("not a hexadecimal byte: " + tok);
      bytes.push_back(static_cast<std::uint8_t>(std::stoul(tok, nullptr, 16)));
    }
  }
  return bytes;
}

std::string hex_string(const std::vector<std::uint8_t>& bytes) {
  std::string s;
  char buf[4];
  for (auto b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    if (!s.empty()) s += ' ';
    s += buf;
  }
  return s;
}

static bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::vector<std::string> error_lines(const std::string& err) {
  std::vector<std::string> errors;
  for (const auto& line : split_lines(err)) {
    if (line.empty() || starts_with(line, "Section:") || starts_with(line, "Output Section ") ||
        line == "Get Input from Consol" || line == "Debug Mode Is ON")
      continue;
    errors.push_back(line);
  }
  return errors;
}

std::optional<unsigned> listed_value(const std::string& out, const std::string& name) {
  const std::string heading = "-------------- Symbol Table -----------------";
  std::size_t at = out.find(heading);
  if (at == std::string::npos) return std::nullopt;
  for (const auto& line : split_lines(out.substr(at + heading.size()))) {
    if (line.size() == name.size() + 6 && starts_with(line, (name + "\t$").c_str()))
      return static_cast<unsigned>(std::stoul(line.substr(name.size() + 2), nullptr, 16));
  }
  return std::nullopt;
}

}  // namespace doctest_util
