#include "tests/support/run_helper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace xtest {

namespace {

constexpr int UNGET_CAPACITY = 1024;  // as the driver sets it

// Where two texts first differ: offset and a few bytes of each side, escaped.
std::string first_difference(const std::string& a, const std::string& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) i++;
  auto around = [i](const std::string& s) {
    std::string shown;
    for (size_t k = i; k < s.size() && k < i + 60; k++) {
      unsigned char c = static_cast<unsigned char>(s[k]);
      char buf[8];
      if (c == '\n') {
        shown += "\\n";
      } else if (c < 0x20 || c >= 0x7F) {
        std::snprintf(buf, sizeof buf, "\\x%02x", c);
        shown += buf;
      } else {
        shown += static_cast<char>(c);
      }
    }
    return i < s.size() ? "\"" + shown + "\"" : std::string("<end>");
  };
  size_t line = 1;
  for (size_t k = 0; k < i; k++) line += a[k] == '\n';
  return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) + ", first difference at offset " +
         std::to_string(i) + " (line " + std::to_string(line) + "): " + around(a) + " vs " + around(b);
}

Outcome run_with(const std::vector<std::string>& args, const RunOptions& options, const std::string* stdin_text,
                 int stdin_fd = 0) {
  Outcome r;
  RunIO io;
  io.stdin_fd = stdin_fd;
  io.stdin_text = stdin_text;
  if (options.stdout_fd >= 0) io.stdout_fd = options.stdout_fd;
  else io.stdout_capture = &r.out;
  io.stderr_capture = &r.err;
  io.xex_capture = options.capture_xex ? &r.xex : nullptr;
  io.between_passes = options.between_passes;
  io.fast = options.fast;
  io.replayed = &r.replayed;
  io.section_limit = options.section_limit;
  io.trace_limit = options.trace_limit;
  r.status = xexasm_run(args, io);
  return r;
}

}  // namespace

std::string difference(const Outcome& expected, const Outcome& actual) {
  std::string d;
  if (expected.status != actual.status)
    d += "status " + std::to_string(expected.status) + " vs " + std::to_string(actual.status) + "\n";
  if (expected.out != actual.out) d += "stdout: " + first_difference(expected.out, actual.out) + "\n";
  if (expected.err != actual.err) d += "stderr: " + first_difference(expected.err, actual.err) + "\n";
  if (expected.xex != actual.xex) d += "load file: " + first_difference(expected.xex, actual.xex) + "\n";
  if (expected.written != actual.written)
    d += "listing and label file: " + first_difference(expected.written, actual.written) + "\n";
  return d;
}

Outcome run_args(const std::vector<std::string>& args, const RunOptions& options) {
  static const std::string no_input;
  return run_with(args, options, &no_input);
}

Outcome run_stdin(const std::string& source, const RunOptions& options, const std::vector<std::string>& args) {
  return run_with(args, options, &source);
}

Outcome run_source(const std::string& source, const RunOptions& options) {
  return run_args({shared_scratch().write("prog.asm", source)}, options);
}

Outcome run_in(const fs::path& folder, const std::vector<std::string>& args, const RunOptions& options) {
  WorkingFolder here(folder);
  return run_args(args, options);
}

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "xexasm_test_XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch folder");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string ScratchDir::write(const std::string& name, std::string_view text) const {
  fs::path p = path_ / name;
  write_file(p, text);
  return p.string();
}

WorkingFolder::WorkingFolder(const fs::path& folder) : old_(fs::current_path()) { fs::current_path(folder); }

WorkingFolder::~WorkingFolder() {
  std::error_code ignored;
  fs::current_path(old_, ignored);
}

const ScratchDir& shared_scratch() {
  static ScratchDir dir;
  return dir;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, std::string_view text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!f) throw std::runtime_error("cannot write " + path.string());
}

void write_corpus_includes(const fs::path& folder) {
  write_file(folder / "a.inc", "inc_a: .DB 1,2,\"a\"\n LDA inc_a\n");
  write_file(folder / "b.inc", " INCLUDE \"a.inc\"\ninc_b: JMP (inc_b)\n");
  write_file(folder / "self.inc", "x: INCLUDE \"self.inc\"\n");
  write_file(folder / "empty.inc", "");
  write_file(folder / "open.inc", ".DB \"open");
  fs::create_directories(folder / "dir.inc");
}

std::vector<fs::path> corpus_entries(const fs::path& dir) {
  std::vector<fs::path> entries;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) entries.push_back(e.path());
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::string_view corpus_source(std::string_view input) {
  if (!input.empty() && input[0] >= 1 && input[0] <= 7) input.remove_prefix(1);
  return input;
}

std::optional<CorpusRun> run_corpus_input(std::string_view input, unsigned fast) {
  constexpr size_t PIPE_MAX = 60000;  // what a pipe takes in without a reader
  bool from_file = false, from_pipe = false, gnu = false, listing = false;
  CorpusRun run;
  if (!input.empty() && input[0] >= 1 && input[0] <= 5) {
    run.debug = input[0] & 1;
    from_file = input[0] & 2;
    from_pipe = input[0] & 4;
  } else if (!input.empty() && (input[0] == 6 || input[0] == 7)) {
    from_file = gnu = true;
    listing = input[0] == 7;
  }
  input = corpus_source(input);
  if (input.size() > PIPE_MAX) from_pipe = false;
  if (input.find("INCLUDE") != std::string_view::npos && input.find('/') != std::string_view::npos)
    return std::nullopt;

  const std::string source(input);
  RunOptions options;
  options.fast = fast;
  options.section_limit = 65536;
  std::vector<std::string> args;
  if (run.debug) args.emplace_back("-D");
  if (gnu) args.emplace_back("--messages=gnu");
  if (listing) args.insert(args.end(), {"-l", "fz.lst", "--labels=fz.lab"});
  if (from_file) {
    // The load file goes to a real fz.xex, as the program writes it; none is left from an
    // earlier run (the source may include it).
    write_file("fz.asm", source);
    ::unlink("fz.xex");
    args.emplace_back("fz.asm");
    options.capture_xex = false;
    run.outcome = run_args(args, options);
    if (std::error_code ec; fs::exists("fz.xex", ec)) run.outcome.xex = read_file("fz.xex");
    for (const char* name : {"fz.lst", "fz.lab"}) {
      if (std::error_code ec; fs::exists(name, ec)) run.outcome.written += read_file(name) + '\f';
      ::unlink(name);
    }
    ::unlink("fz.asm");
    ::unlink("fz.xex");
  } else if (from_pipe) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0 ||
        ::write(fds[1], source.data(), source.size()) != static_cast<ssize_t>(source.size())) {
      std::perror("pipe");
      std::abort();
    }
    ::close(fds[1]);
    run.outcome = run_with(args, options, nullptr, fds[0]);
    // The descriptor is the caller's: the run reads it and leaves it open.
    if (::close(fds[0]) != 0) {
      std::perror("the run closed its standard input");
      std::abort();
    }
  } else {
    run.outcome = run_stdin(source, options, args);
  }
  return run;
}

OperationRun::OperationRun() {
  run.reader = &reader;
  run.scanner = &scanner;
  run.sections = &sections;
  run.symbols = &symbols;
  run.parser = &parser;
  g = &run;
  out_init(run.out, -1, &out, false);
  out_init(run.err, -1, &err, true);
  reader_init(UNGET_CAPACITY);
  symbols_start();
  sections_start();
  run.pass = 1;
}

OperationRun::~OperationRun() {
  if (g == &run) g = nullptr;
}

void OperationRun::begin_pass2() {
  run.pass = 2;
  sections_alloc_buffers();
  sections_rewind();
}

}  // namespace xtest
