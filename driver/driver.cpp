// The driver: command line, the two passes, the reports and the binary load file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <new>
#include <vector>

#include "assembly/section.h"
#include "assembly/symbol.h"
#include "base/diag.h"
#include "driver/replace_file.h"
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
  OutStream xex;  // the binary load file, while it is written
  bool xex_open = false;  // there is a load file to write (a capture, or output_fd)
  bool xex_written = false;
  std::string output_name;
  int output_fd = -1;  // the load file's target, created while the arguments are read
  ReplacingFile replacing;
  ~RunState() {
    if (output_fd >= 0) ::close(output_fd);
  }
};

RunState* state = nullptr;

// The reader's entry of the load file's target (the last output file created).
WrittenFile* output_entry() {
  for (WrittenFile& w : state->reader.written)
    if (w.is_output) return &w;
  return nullptr;
}

// A regular file left empty through a descriptor (an output file the run does not write).
void empty_file(int fd) {
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && ::ftruncate(fd, 0) != 0) {
  }
}

// The load file's target gives way to a later argument's: it is closed, and emptied at the
// end of the run (unless the run reads it).
void supersede_output() {
  RunState& r = *state;
  if (WrittenFile* w = output_entry()) w->is_output = false;
  if (r.output_fd >= 0) ::close(r.output_fd);
  r.output_fd = -1;
  r.xex_open = false;
}

// The output file named after a source path: the text before the first '.', then ".xex".
// `source` is the path that will be assembled (the last one given). The file is created
// now, but its old bytes stay until the end of the run: the load file replaces them whole
// then, and a run that stops early, or does not write it, leaves it empty (unless the run
// read it: a file the run reads keeps its bytes).
void open_output_for(const std::string& arg, const std::string& source) {
  RunState& r = *state;
  size_t dot = arg.find('.');
  if (dot == std::string::npos) return;  // no '.': the earlier output stays in force
  std::string name = arg.substr(0, dot) + ".xex";
  r.output_name = name;
  if (r.io.xex_capture) return;  // the capture stands in for every output file
  supersede_output();
  // Never empty the source (xexasm p.xex names its own output; so would xexasm p.xex.asm
  // p.xex, through the first argument).
  struct stat src, out;
  bool same = name == source || (::stat(source.c_str(), &src) == 0 && ::stat(name.c_str(), &out) == 0 &&
                                 src.st_dev == out.st_dev && src.st_ino == out.st_ino);
  if (same) {
    report_error("Output %s Would Overwrite the Source\n", name.c_str());
    return;
  }
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    report_error("Could Not open %s for Output\n", name.c_str());
    return;
  }
  r.output_fd = fd;
  r.xex_open = true;
  WrittenFile w;
  w.name = name;
  w.is_output = true;
  if (::fstat(fd, &out) == 0) {
    w.dev = static_cast<uint64_t>(out.st_dev);
    w.ino = static_cast<uint64_t>(out.st_ino);
  }
  // Named again (or linked): the earlier entry is this file.
  std::vector<WrittenFile>& written = r.reader.written;
  std::erase_if(written, [&](const WrittenFile& e) { return e.dev == w.dev && e.ino == w.ino; });
  written.push_back(std::move(w));
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

// The load file: into a new file beside the target that replaces it whole; in place when
// the target is not a regular file (a device, a FIFO) or nothing can be made beside it.
// A failure leaves the target empty.
void finish_output() {
  RunState& r = *state;
  if (!r.xex_open) return;
  if (r.io.xex_capture) {
    write_binary_load_file(r.xex, r.sections.table);
    out_flush(r.xex);
    return;
  }
  if (const WrittenFile* w = output_entry(); w && w->read) return;  // reported: it keeps its bytes
  bool ok;
  if (replacing_open(r.replacing, r.output_name)) {
    out_init(r.xex, r.replacing.fd, nullptr, false);
    write_binary_load_file(r.xex, r.sections.table);
    ok = out_flush(r.xex);
    if (ok) ok = replacing_commit(r.replacing);
    else replacing_abandon(r.replacing);
  } else {
    empty_file(r.output_fd);
    out_init(r.xex, r.output_fd, nullptr, false);
    write_binary_load_file(r.xex, r.sections.table);
    ok = out_flush(r.xex);
    if (!ok) empty_file(r.output_fd);
    if (::close(r.output_fd) != 0) ok = false;
    r.output_fd = -1;
  }
  r.xex.fd = -1;
  r.xex_written = ok;
  if (!ok) report_error("Could not write %s\n", r.output_name.c_str());
}

// The end of every run, completed or stopped: an output file that the run created and did
// not write or read is left empty, and the load file's target is closed.
void settle_outputs() {
  RunState& r = *state;
  replacing_abandon(r.replacing);
  for (const WrittenFile& w : r.reader.written) {
    if (w.read) continue;
    if (w.is_output) {
      if (!r.xex_written && r.output_fd >= 0) empty_file(r.output_fd);
      continue;
    }
    // An earlier argument's output file, closed since: emptied if it is still that file
    // (and a regular one: nothing else is opened again).
    auto same = [&w](const struct stat& st) {
      return S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_dev) == w.dev && static_cast<uint64_t>(st.st_ino) == w.ino;
    };
    struct stat st;
    if (::stat(w.name.c_str(), &st) != 0 || !same(st)) continue;
    int fd = ::open(w.name.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) continue;
    if (::fstat(fd, &st) == 0 && same(st)) empty_file(fd);
    ::close(fd);
  }
  if (r.output_fd >= 0) ::close(r.output_fd);
  r.output_fd = -1;
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
  bool stopped = false;
  try {
    assemble(args);
  } catch (const FatalStop& stop) {
    status = stop.status;
    stopped = true;
  } catch (const std::bad_alloc&) {
    stopped = true;
    try {
      out_of_memory();
    } catch (const FatalStop& stop) {
      status = stop.status;
    }
  }
  settle_outputs();
  // A failed write of standard output is reported once, whenever it shows.
  if (!out_flush(g->out)) stream_failed(g->out);
  if (!stopped) status = g->error_count > 0 ? 1 : 0;
  delete state;
  state = nullptr;
  g = nullptr;
  return status;
}
