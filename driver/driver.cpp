// The driver: command line, the two passes, the reports and the binary load file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <new>

#include "assembly/section.h"
#include "assembly/symbol.h"
#include "base/diag.h"
#include "driver/run.h"
#include "fast/fast.h"
#include "output/reports.h"
#include "output/xex.h"
#include "parser/engine.h"
#include "source/reader.h"
#include "source/scanner.h"

Run* g = nullptr;

namespace {

constexpr int UNGET_CAPACITY = 1024;

// The run: the handle every layer reads, each module's record, and what the driver itself
// keeps (the command line's outcome and the binary load file).
struct RunState {
  Run run;
  Reader reader;
  Scanner scanner;
  Sections sections;
  Symbols symbols;
  Parser parser;
  std::unique_ptr<FastLayer, void (*)(FastLayer*)> fast{nullptr, fast_destroy};
  RunIO io;
  OutStream xex;  // the binary load file
  bool xex_open = false;
  std::string output_name;
  ~RunState() {
    if (xex.fd >= 0) ::close(xex.fd);
  }
};

RunState* state = nullptr;

// The output file named after a source path: the text before the first '.', then ".xex".
// `source` is the path that will be assembled (the last one given).
void open_output_for(const std::string& arg, const std::string& source) {
  RunState& r = *state;
  size_t dot = arg.find('.');
  if (dot == std::string::npos) return;  // no '.': the earlier output stays in force
  std::string name = arg.substr(0, dot) + ".xex";
  r.output_name = name;
  if (r.io.xex_capture) return;  // the capture stands in for every output file
  if (r.xex.fd >= 0) {
    ::close(r.xex.fd);
    r.xex.fd = -1;
  }
  r.xex_open = false;
  // Never empty the source (xexasm p.xex names its own output; so would xexasm p.xex.asm
  // p.xex, through the first argument).
  struct stat src, out;
  bool same = name == source || (::stat(source.c_str(), &src) == 0 && ::stat(name.c_str(), &out) == 0 &&
                                 src.st_dev == out.st_dev && src.st_ino == out.st_ino);
  if (same) {
    report_error("Output %s Would Overwrite the Source\n", name.c_str());
    return;
  }
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    report_error("Could Not open %s for Output\n", name.c_str());
    return;
  }
  out_init(r.xex, fd, nullptr, false);
  r.xex_open = true;
}

// The command line: -D turns debug mode on, other options are ignored, the last other
// argument is the source, and each argument with a '.' names an output file at once.
// Returns the source path, or null for standard input.
const std::string* read_command_line(const std::vector<std::string>& args, std::string& path) {
  bool have_path = false;
  for (const std::string& arg : args)
    if (arg.empty() || arg[0] != '-') path = arg;
  for (const std::string& arg : args) {
    if (!arg.empty() && arg[0] == '-') {
      if (arg.size() > 1 && arg[1] == 'D') {
        g->debug = true;
        note("Debug Mode Is ON\n");
      }
      continue;
    }
    have_path = true;
    open_output_for(arg, path);
  }
  return have_path ? &path : nullptr;
}

// What a pass starts with: the source opened from its start, the pass number, for pass 2
// every section's buffer, and an empty parser.
void begin_pass(int n, const std::string* source) {
  fast_pass_starts(*state->fast, n);
  if (!source) note("Get Input from Consol\n");
  if (!reader_open_source(source ? source->c_str() : nullptr))
    fatal("Unable to Open %s for input\n", source->c_str());
  g->pass = n;
  if (n == 2) {
    sections_alloc_buffers();
    sections_rewind();
    out_printf(g->out, "***** PASS 2 *****\n");
  }
  arena_reset(g->statement);
  parser_start();
}

void finish_output() {
  RunState& r = *state;
  if (!r.xex_open) return;
  write_binary_load_file(r.xex, r.sections.table);
  bool ok = out_flush(r.xex);
  if (r.xex.fd >= 0) {
    if (::close(r.xex.fd) != 0) ok = false;
    r.xex.fd = -1;
  }
  if (!ok) report_error("Could not write %s\n", r.output_name.c_str());
}

// The pipeline: command line, pass 1 (measure), buffers, pass 2 (store), reports, load file.
void assemble(const std::vector<std::string>& args) {
  RunState& r = *state;
  reader_init(UNGET_CAPACITY);
  symbols_start();
  sections_start();
  std::string path;
  const std::string* source = read_command_line(args, path);
  // Debug mode traces every token of both passes: only the plain scanner and parser do.
  r.fast.reset(fast_create(g->debug ? FAST_NONE : r.io.fast, r.io.trace_limit));

  begin_pass(1, source);
  fast_run_pass(*r.fast);
  reader_close_source();
  if (r.io.between_passes) r.io.between_passes();

  begin_pass(2, source);
  bool replay = fast_can_replay(*r.fast);
  if (r.io.replayed) *r.io.replayed = replay;
  if (replay) fast_replay(*r.fast);
  else fast_run_pass(*r.fast);
  reader_close_source();
  sections_check_sizes();

  dump_sections(g->out, r.sections.table);
  list_symbols(g->out, r.symbols.table);
  finish_output();
}

// Sets up a run's state and streams; null when its memory cannot be had.
RunState* run_create(const RunIO& io) {
  RunState* r = new (std::nothrow) RunState();
  if (!r) return nullptr;
  r->io = io;
  r->run.reader = &r->reader;
  r->run.scanner = &r->scanner;
  r->run.sections = &r->sections;
  r->run.symbols = &r->symbols;
  r->run.parser = &r->parser;
  r->reader.stdin_fd = io.stdin_fd;
  r->reader.stdin_given = io.stdin_text;
  r->sections.limit = io.section_limit;
  out_init(r->run.out, io.stdout_fd, io.stdout_capture, false);
  r->run.out.fail_message = "Could not write standard output\n";
  out_init(r->run.err, io.stderr_fd, io.stderr_capture, true);
  out_init(r->xex, -1, io.xex_capture, false);
  r->xex_open = io.xex_capture != nullptr;
  return r;
}

}  // namespace

bool parse_fast_setting(const std::string& text, unsigned& mechanisms) {
  if (text == "none") return mechanisms = FAST_NONE, true;
  if (text == "all") return mechanisms = FAST_ALL, true;
  unsigned m = 0;
  size_t at = 0;
  for (;;) {
    size_t comma = text.find(',', at);
    std::string name = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    if (name == "scan") m |= FAST_SCAN;
    else if (name == "engine") m |= FAST_ENGINE;
    else if (name == "replay") m |= FAST_REPLAY;
    else return false;
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  mechanisms = m;
  return true;
}

int xexasm_run(const std::vector<std::string>& args, const RunIO& io) {
  state = run_create(io);
  if (!state) {
    static const char msg[] = "Out of Memory\n";
    if (io.stderr_capture) io.stderr_capture->append(msg);
    else if (::write(io.stderr_fd, msg, sizeof msg - 1) < 0) {
    }
    return 1;
  }
  g = &state->run;
  int status = 0;
  try {
    assemble(args);
    status = g->error_count > 0 ? 1 : 0;
  } catch (const FatalStop& stop) {
    status = stop.status;
  } catch (const std::bad_alloc&) {
    try {
      out_of_memory();
    } catch (const FatalStop& stop) {
      status = stop.status;
    }
  }
  bool reported = g->out.failed;  // a failed write during the run has been reported
  if (!out_flush(g->out) && !reported) {
    note("Could not write standard output\n");
    status = 1;
  }
  delete state;
  state = nullptr;
  g = nullptr;
  return status;
}
