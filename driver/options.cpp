// The command line.
#include "driver/options.h"

namespace {

bool starts_with(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// The options that take a value, by their long and short names ('\0': none).
enum class Valued { Output, IncludeDir, Deps, Define, Names, Listing, Labels };
struct ValuedOption {
  const char* name;
  char letter;
  Valued what;
};
constexpr ValuedOption VALUED[] = {
    {"--output", 'o', Valued::Output},   {"--include-dir", 'I', Valued::IncludeDir}, {"--deps", '\0', Valued::Deps},
    {"--define", '\0', Valued::Define},  {"--names", '\0', Valued::Names},           {"--listing", 'l', Valued::Listing},
    {"--labels", '\0', Valued::Labels},
};

// Takes an option's value; false with `o.error` set when it cannot be taken.
bool take(Options& o, const ValuedOption& opt, const std::string& value) {
  std::string shown = opt.name;
  if (value.empty()) {
    o.error = "option " + shown + " needs a value";
    return false;
  }
  switch (opt.what) {
    case Valued::Output: o.output = value, o.output_given = true; break;
    case Valued::IncludeDir: o.include_dirs.push_back(value); break;
    case Valued::Deps: o.deps = value; break;
    case Valued::Names: o.names_files.push_back(value); break;
    case Valued::Listing: o.listing = value; break;
    case Valued::Labels: o.labels = value; break;
    case Valued::Define: {
      size_t eq = value.find('=');
      if (eq == std::string::npos || eq == 0) {
        o.error = "option --define needs NAME=VALUE, not " + value;
        return false;
      }
      o.definitions.push_back(Definition{value.substr(0, eq), value.substr(eq + 1)});
      break;
    }
  }
  return true;
}

// A long option (--name, --name=VALUE, or --name VALUE for those that take one).
bool long_option(const std::vector<std::string>& args, size_t& i, Options& o) {
  const std::string& arg = args[i];
  if (arg == "--") return true;  // ignored, as every other argument beginning with '-' was
  if (arg == "--help") return o.help = true;
  if (arg == "--version") return o.version = true;
  if (arg == "--quiet") return o.quiet = true;
  if (arg == "--messages=gnu") return o.gnu_messages = true;
  for (const ValuedOption& opt : VALUED) {
    std::string name = opt.name;
    if (starts_with(arg, name + "=")) return take(o, opt, arg.substr(name.size() + 1));
    if (arg != name) continue;
    if (i + 1 >= args.size()) {
      o.error = "option " + name + " needs a value";
      return false;
    }
    return take(o, opt, args[++i]);
  }
  o.error = "unknown option " + arg.substr(0, arg.find('='));
  return false;
}

// A short option that takes effect: -D..., -h, -q, -o FILE, -I DIR, -l FILE (the value may
// also follow at once: -oFILE). Others are ignored, as they always were.
bool short_option(const std::vector<std::string>& args, size_t& i, Options& o) {
  const std::string& arg = args[i];
  char c = arg.size() > 1 ? arg[1] : '\0';
  if (c == 'D') {
    o.debug_at.push_back(o.paths.size());
    return true;
  }
  if (c == 'h' && arg.size() == 2) return o.help = true;
  if (c == 'q' && arg.size() == 2) return o.quiet = true;
  for (const ValuedOption& opt : VALUED) {
    if (opt.letter == '\0' || opt.letter != c) continue;
    if (arg.size() > 2) return take(o, opt, arg.substr(2));
    if (i + 1 >= args.size()) {
      o.error = std::string("option -") + c + " needs a value";
      return false;
    }
    return take(o, opt, args[++i]);
  }
  return true;
}

const char* const USAGE[] = {
    "usage: xexasm [options] [source.asm]",
    "Assembles a 6502 source into an Atari binary load file (source.xex).",
    "  -o FILE, --output=FILE     write the load file to FILE (only when the run succeeds)",
    "  -I DIR, --include-dir=DIR  look for INCLUDE files in DIR too (repeatable)",
    "  --deps=FILE                write a make rule of the load file and the files read",
    "  --define NAME=VALUE        a predefined name, decimal or $hex (repeatable)",
    "  --names=FILE               predefined names from FILE (NAME = VALUE lines)",
    "  -q, --quiet                no reports; only errors on standard error",
    "  -l FILE, --listing=FILE    write a listing",
    "  --labels=FILE              write a label file ($XXXX name)",
    "  --messages=gnu             messages as FILE:LINE:COL: error: TEXT",
    "  -D                         trace every token on standard error",
    "  -h, --help                 this text",
    "  --version                  the name and version",
    "Examples:",
    "  xexasm -o game.xex -I lib game.asm             the load file named; INCLUDE looks in lib/ too",
    "  xexasm -l game.lst --labels=game.lab game.asm  a listing and a label file as well",
    "  xexasm --messages=gnu game.asm                 errors as game.asm:12:5: error: TEXT",
};

}  // namespace

Options read_options(const std::vector<std::string>& args) {
  Options o;
  for (size_t i = 0; i < args.size() && o.error.empty(); i++) {
    const std::string& arg = args[i];
    if (arg.empty() || arg[0] != '-') o.paths.push_back(arg);
    else if (starts_with(arg, "--")) long_option(args, i, o);
    else short_option(args, i, o);
  }
  // An error stops the reading, but its message takes the form asked for further on.
  if (!o.error.empty())
    for (const std::string& arg : args) o.gnu_messages = o.gnu_messages || arg == "--messages=gnu";
  return o;
}

std::string usage_text() {
  std::string text;
  for (const char* line : USAGE) {
    text += line;
    text += '\n';
  }
  return text;
}

const char* usage_line() { return USAGE[0]; }
