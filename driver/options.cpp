// The command line.
#include "driver/options.h"

namespace {

// An option's argument: the text after '=' in --name=VALUE, else the next argument.
bool take_value(const std::vector<std::string>& args, size_t& i, const std::string& arg, size_t name_length,
                std::string& value) {
  if (arg.size() > name_length && arg[name_length] == '=') {
    value = arg.substr(name_length + 1);
    return true;
  }
  if (arg.size() != name_length || i + 1 >= args.size()) return false;
  value = args[++i];
  return true;
}

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// A long option (--...); false when it is unknown or lacks its value.
bool long_option(const std::vector<std::string>& args, size_t& i, Options& o) {
  const std::string& arg = args[i];
  std::string value;
  auto is = [&](const char* name) {
    std::string n = name;
    return arg == n || starts_with(arg, (n + "=").c_str());
  };
  if (arg == "--help") return o.help = true;
  if (arg == "--version") return o.version = true;
  if (arg == "--quiet") return o.quiet = true;
  if (arg == "--messages=gnu") return o.gnu_messages = true;
  if (is("--output") && take_value(args, i, arg, 8, value)) {
    o.output = value;
    return o.output_given = true;
  }
  if (is("--include-dir") && take_value(args, i, arg, 13, value)) return o.include_dirs.push_back(value), true;
  if (is("--deps") && take_value(args, i, arg, 6, value)) return o.deps = value, true;
  if (is("--names") && take_value(args, i, arg, 7, value)) return o.names_files.push_back(value), true;
  if (is("--listing") && take_value(args, i, arg, 9, value)) return o.listing = value, true;
  if (is("--labels") && take_value(args, i, arg, 8, value)) return o.labels = value, true;
  if (is("--define") && take_value(args, i, arg, 8, value)) {
    size_t eq = value.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    o.definitions.push_back(Definition{value.substr(0, eq), value.substr(eq + 1)});
    return true;
  }
  return false;
}

// A short option that takes effect: -h, -q, -o FILE, -I DIR, -l FILE (the value may also
// follow at once: -oFILE). Others are ignored, as they always were.
bool short_option(const std::vector<std::string>& args, size_t& i, Options& o) {
  const std::string& arg = args[i];
  char c = arg.size() > 1 ? arg[1] : '\0';
  if (c == 'D') return ++o.debug_flags, true;
  if (c == 'h' && arg.size() == 2) return o.help = true;
  if (c == 'q' && arg.size() == 2) return o.quiet = true;
  if (c != 'o' && c != 'I' && c != 'l') return true;
  std::string value;
  if (arg.size() > 2) value = arg.substr(2);
  else if (i + 1 < args.size()) value = args[++i];
  else return false;
  if (c == 'o') o.output = value, o.output_given = true;
  else if (c == 'I') o.include_dirs.push_back(value);
  else o.listing = value;
  return true;
}

}  // namespace

Options read_options(const std::vector<std::string>& args) {
  Options o;
  for (size_t i = 0; i < args.size(); i++) {
    const std::string& arg = args[i];
    if (arg.empty() || arg[0] != '-') {
      o.paths.push_back(arg);
    } else if (starts_with(arg, "--")) {
      if (!long_option(args, i, o)) o.error = "unknown option or missing value: " + arg;
    } else if (!short_option(args, i, o)) {
      o.error = "option " + arg + " needs a value";
    }
    if (!o.error.empty()) break;
  }
  return o;
}

const char* usage_text() {
  return "usage: xexasm [options] [source.asm]\n"
         "Assembles a 6502 source into an Atari binary load file (source.xex).\n"
         "  -o FILE, --output=FILE   write the load file to FILE (only when the run succeeds)\n"
         "  -I DIR, --include-dir=DIR  look for INCLUDE files in DIR too (repeatable)\n"
         "  --deps=FILE              write a make rule of the files the run read\n"
         "  --define NAME=VALUE      a predefined name (repeatable)\n"
         "  --names=FILE             predefined names from FILE (NAME = VALUE lines)\n"
         "  -q, --quiet              no reports; only errors on standard error\n"
         "  -l FILE, --listing=FILE  write a listing\n"
         "  --labels=FILE            write a label file ($XXXX name)\n"
         "  --messages=gnu           messages as FILE:LINE:COL: error: TEXT\n"
         "  -D                       trace every token on standard error\n"
         "  -h, --help               this text\n"
         "  --version                the name and version\n";
}
