// The command line. The arguments are taken in order: -D turns debug mode on (only the
// second character counts, so -Dxyz does too), the options below take effect, any other
// argument that begins with '-' is ignored (a lone '-' and a lone '--' included), except an
// unknown long option (--...), which is refused; every other argument is a source path,
// the last one wins, and each names an output file unless -o gives one.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

struct Definition {
  std::string name;
  std::string value;  // as written: decimal, or $ and hexadecimal digits
};

struct Options {
  bool help = false;      // -h, --help
  bool version = false;   // --version
  bool quiet = false;     // -q, --quiet
  // Each -D...: the number of source paths given before it (each writes "Debug Mode Is
  // ON", in its place among the output files that the paths create).
  std::vector<size_t> debug_at;
  std::vector<std::string> paths;  // the non-option arguments, in order
  std::string output;              // -o FILE, --output=FILE; empty: formed from each path
  bool output_given = false;
  std::vector<std::string> include_dirs;  // -I DIR, --include-dir=DIR, in order
  std::string deps;                       // --deps=FILE
  std::vector<Definition> definitions;    // --define NAME=VALUE, --define=NAME=VALUE
  std::vector<std::string> names_files;   // --names=FILE
  std::string listing;                    // -l FILE, --listing=FILE
  std::string labels;                     // --labels=FILE
  bool gnu_messages = false;              // --messages=gnu
  std::string error;  // a command line that cannot be taken: the message, else empty
};

// Reads the arguments (program name excluded). `error` tells what was refused.
Options read_options(const std::vector<std::string>& args);
// The usage text of --help; its first line (without its line feed) also follows the
// message of a refused command line.
std::string usage_text();
const char* usage_line();
