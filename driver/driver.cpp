// The driver: command line, the two passes, the reports and the binary load file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "assembly/section.h"
#include "assembly/symbol.h"
#include "base/diag.h"
#include "driver/names.h"
#include "driver/options.h"
#include "driver/replace_file.h"
#include "driver/run.h"
#include "fast/fast.h"
#include "output/listing.h"
#include "output/reports.h"
#include "output/xex.h"
#include "parser/engine.h"
#include "source/reader.h"
#include "source/scanner.h"

Run* g = nullptr;

namespace {

constexpr int UNGET_CAPACITY = 1024;

// The listing's lines, made on a second thread from the end of pass 2 on while the run
// writes standard output, the load file and the label file, and makes the listing's
// tables. The thread reads what pass 2 left (the lines, the placements, the sections),
// which nothing changes any more, and a copy of the messages so far; it calls nothing that
// reaches the run's handle. The lines go into the file beside the listing's target as
// they are made; the end of the run adds the rest and decides whether the file is kept.
struct ListingJob {
  ReplacingFile file;
  OutStream out;
  MessageLog messages;
  std::exception_ptr failure;  // what stopped the thread, if anything did
  std::thread thread;
  ~ListingJob() {
    if (thread.joinable()) thread.join();
  }
};

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
  Options options;      // the command line
  // What a listing is made of (--listing): pass 1's lines, pass 2's placements, the messages.
  struct {
    LineLog lines;
    Placements placements;
    MessageLog messages;
  } listing;
  std::string source;   // the source path (the last path given); none: standard input
  bool have_source = false;
  // Last, so that its thread has stopped before anything it reads goes.
  std::unique_ptr<ListingJob> listing_job;
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

// Whether two paths name one file: the same text, or the same device and inode.
bool same_file(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return a == b || (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
                    sa.st_ino == sb.st_ino);
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
  if (same_file(name, source)) {
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
  struct stat out;
  if (::fstat(fd, &out) == 0) {
    w.dev = static_cast<uint64_t>(out.st_dev);
    w.ino = static_cast<uint64_t>(out.st_ino);
  }
  // Named again (or linked): the earlier entry is this file.
  std::vector<WrittenFile>& written = r.reader.written;
  std::erase_if(written, [&](const WrittenFile& e) { return e.dev == w.dev && e.ino == w.ino; });
  written.push_back(std::move(w));
}

// An output file the command line names (-o, --deps) that is the source itself.
bool names_the_source(const std::string& name) {
  RunState& r = *state;
  return r.have_source && same_file(name, r.source);
}

// -o FILE: the load file goes there, and nowhere else. It is written at the end, and only
// when the run succeeds; until then FILE is not touched. An INCLUDE of FILE is an error
// (the reader is told of it as the load file's target).
void take_output_option() {
  RunState& r = *state;
  r.output_name = r.options.output;
  if (names_the_source(r.output_name)) fatal("Output %s Would Overwrite the Source\n", r.output_name.c_str());
  if (r.io.xex_capture) return;
  r.xex_open = true;
  WrittenFile w;
  w.name = r.output_name;
  w.is_output = true;
  if (struct stat st; ::stat(w.name.c_str(), &st) == 0) {
    w.dev = static_cast<uint64_t>(st.st_dev);
    w.ino = static_cast<uint64_t>(st.st_ino);
    r.reader.written.push_back(std::move(w));
  }
}

// The source paths and -D, in the order given: -D turns debug mode on, and each path with a
// '.' names an output file at once (unless -o names the load file).
void take_paths() {
  RunState& r = *state;
  const Options& o = r.options;
  size_t debug = 0;
  auto debug_before = [&](size_t paths) {
    for (; debug < o.debug_at.size() && o.debug_at[debug] <= paths; debug++) {
      if (g->quiet) continue;  // -q: nothing but errors, not even a trace
      g->debug = true;
      note("Debug Mode Is ON\n");
    }
  };
  for (size_t i = 0; i < o.paths.size(); i++) {
    debug_before(i);
    if (!o.output_given) open_output_for(o.paths[i], r.source);
  }
  debug_before(o.paths.size());
}

// --help and --version: the text on standard output, and the run ends there.
bool answer_only(const Options& o) {
  if (o.help) {
    std::string text = usage_text();
    out_write(g->out, text.data(), text.size());
  } else if (o.version) {
    out_printf(g->out, "xexasm %s\n", XEXASM_VERSION);
  }
  return o.help || o.version;
}

// The command line: a refused one stops the run before anything is read or written; the
// options take effect, the predefined names are given to the symbol table, and the paths
// name the source and the output files. False when the run ends here (--help, --version).
bool take_command_line(const std::vector<std::string>& args) {
  RunState& r = *state;
  r.options = read_options(args);
  const Options& o = r.options;
  g->gnu_messages = o.gnu_messages;
  if (!o.error.empty()) fatal("%s%s\n%s\n", "xexasm: ", o.error.c_str(), usage_line());
  if (answer_only(o)) return false;
  if (!o.paths.empty()) {
    r.source = o.paths.back();
    r.have_source = true;
  }
  bool has_dot = std::any_of(o.paths.begin(), o.paths.end(), [](const std::string& p) { return p.find('.') != std::string::npos; });
  if (!o.deps.empty()) {
    if (!o.output_given && !has_dot) fatal("xexasm: --deps needs the load file's name (-o FILE, or a source name with a '.')\n");
    if (names_the_source(o.deps)) fatal("Output %s Would Overwrite the Source\n", o.deps.c_str());
    if (o.output_given && o.deps == o.output) fatal("xexasm: --deps and -o name the same file\n");
  }
  if (o.quiet) {
    g->quiet = true;
    g->out.discard = true;
  }
  r.reader.include_dirs = o.include_dirs;
  predefine_names(o);
  if (o.output_given) take_output_option();
  take_paths();
  return true;
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
  if (r.options.output_given && g->error_count > 0) return;  // -o FILE keeps its bytes
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
    // -o FILE is opened only now, when it is written.
    if (r.output_fd < 0) r.output_fd = ::open(r.output_name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (r.output_fd < 0) {
      report_error("Could Not open %s for Output\n", r.output_name.c_str());
      return;
    }
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

// A name in a make rule: a blank or '#' behind a backslash, '$' doubled.
std::string make_quoted(const std::string& name) {
  std::string q;
  for (char c : name) {
    if (c == ' ' || c == '\t' || c == '#') q += '\\';
    else if (c == '$') q += '$';
    q += c;
  }
  return q;
}

// Writes all of `bytes`, again after an interrupted write; false when a write fails.
bool write_all(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A small file written whole: beside its target and renamed over it, or in place when
// nothing can be made beside it.
bool write_file_whole(const std::string& path, const std::string& bytes) {
  ReplacingFile f;
  if (replacing_open(f, path)) {
    if (write_all(f.fd, bytes)) return replacing_commit(f);
    replacing_abandon(f);
    return false;
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return false;
  bool ok = write_all(fd, bytes);
  return ::close(fd) == 0 && ok;
}

// One of the files that the INCLUDEs read (by device and inode).
bool is_included(const std::string& name) {
  struct stat out, in;
  if (::stat(name.c_str(), &out) != 0) return false;
  for (const std::string& path : state->reader.included)
    if (::stat(path.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) return true;
  return false;
}

// --deps=FILE, after a run without errors: a make rule whose target is the load file and
// whose prerequisites are the source and every file that INCLUDE read (in the order first
// read), then an empty rule for each included file, so that make goes on when one of them
// is deleted.
void write_deps() {
  RunState& r = *state;
  const std::string& file = r.options.deps;
  if (file.empty() || g->error_count > 0) return;
  if (is_included(file)) {
    report_error("Output %s Would Overwrite an Include File\n", file.c_str());
    return;
  }
  std::string rule = make_quoted(r.output_name);
  rule += ':';
  if (r.have_source) rule.append(1, ' ').append(make_quoted(r.source));
  for (const std::string& path : r.reader.included) rule.append(1, ' ').append(make_quoted(path));
  rule += "\n";
  for (const std::string& path : r.reader.included) rule.append(1, '\n').append(make_quoted(path)).append(":\n");
  if (!write_file_whole(file, rule)) report_error("Could not write %s\n", file.c_str());
}

// The reports on standard output (none in a quiet run).
void print_reports() {
  if (g->quiet) return;
  dump_sections(g->out, state->sections.table);
  list_symbols(g->out, state->symbols.table);
}

// The files of the end of a run: the make rule and the load file. A file that is written
// only when the run succeeds waits until standard output has been written, whose failure
// is an error too.
void write_outputs() {
  RunState& r = *state;
  if ((r.options.output_given || !r.options.deps.empty()) && !out_flush(g->out)) stream_failed(g->out);
  write_deps();
  finish_output();
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

// --messages=gnu and --listing: the messages name their file, and what a listing is made of
// is kept from here on (nothing of it otherwise).
void start_listing_and_messages() {
  RunState& r = *state;
  g->gnu_messages = r.options.gnu_messages;
  g->inputs.keep = r.options.gnu_messages || !r.options.listing.empty();
  if (r.options.listing.empty()) return;
  g->lines = &r.listing.lines;
  g->placements = &r.listing.placements;
  g->messages = &r.listing.messages;
}

// A file written at the end (--listing, --labels): never over the source or an included
// file; whole (beside its target, then renamed over it; in place when nothing can be made
// beside it), or, when writing fails, reported.
void write_report_file(const std::string& file, void (*write)(OutStream&)) {
  if (names_the_source(file)) return report_error("Output %s Would Overwrite the Source\n", file.c_str());
  if (is_included(file)) return report_error("Output %s Would Overwrite an Include File\n", file.c_str());
  ReplacingFile beside;
  bool replacing = replacing_open(beside, file);
  int fd = replacing ? beside.fd : ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
  bool ok = fd >= 0;
  if (ok) {
    auto out = std::make_unique<OutStream>();
    out_init(*out, fd, nullptr, false);
    write(*out);
    ok = out_flush(*out);
    if (!replacing && ::close(fd) != 0) ok = false;
  }
  if (replacing && ok) ok = replacing_commit(beside, false);
  if (!ok) report_error("Could not write %s\n", file.c_str());
}

// The thread of the job.
void make_listing_lines(ListingJob& job, const LineLog& lines, const Placements& placed) {
  try {
    write_listing_lines(job.out, lines, placed, job.messages);
  } catch (...) {
    job.failure = std::current_exception();
  }
}

// From the end of pass 2: the listing's lines, when they go to a regular file that the
// listing may replace, are made on a second thread. Anything else waits for the end.
void start_listing() {
  RunState& r = *state;
  const std::string& listing = r.options.listing;
  if (!g->lines || names_the_source(listing) || is_included(listing)) return;
  auto job = std::make_unique<ListingJob>();
  if (!replacing_open(job->file, listing)) return;
  out_init(job->out, job->file.fd, nullptr, false);
  job->messages = *g->messages;
  try {
    job->thread = std::thread(make_listing_lines, std::ref(*job), std::cref(r.listing.lines),
                              std::cref(r.listing.placements));
  } catch (const std::system_error&) {
    return;  // no thread to be had: the listing is written at the end
  }
  r.listing_job = std::move(job);
}

// The job's listing completed, when the messages logged since it began point nowhere into
// the source (else false): those messages, the tables, and the file in its place.
bool complete_listing(ListingJob& job) {
  RunState& r = *state;
  auto tables = std::make_unique<OutStream>();
  std::string text;
  out_init(*tables, -1, &text, false);
  write_listing_tables(*tables, r.sections.table, r.symbols.table);  // while the lines are made
  out_flush(*tables);
  job.thread.join();
  if (job.failure) std::rethrow_exception(job.failure);
  const std::vector<LoggedMessage>& all = r.listing.messages.list;
  const LoggedMessage* later = all.data() + job.messages.list.size();
  const LoggedMessage* end = all.data() + all.size();
  for (const LoggedMessage* m = later; m != end; m++)
    if (m->placed) return false;
  write_listing_messages(job.out, later, end);
  out_write(job.out, text.data(), text.size());
  bool ok = out_flush(job.out) && replacing_commit(job.file, false);
  if (!ok) report_error("Could not write %s\n", r.options.listing.c_str());
  return true;
}

// The end of a run, also of one that a fatal error stopped (`stopped`): the listing, with
// every message so far, and, when the load file is written (a run that completed; with -o,
// one without errors), the label file that goes with it. What the job made is used when
// the run completed; else it is made here.
void write_listing_and_labels(bool stopped) {
  RunState& r = *state;
  std::unique_ptr<ListingJob> job = std::move(r.listing_job);
  if (stopped) job.reset();  // its lines are made again, with every message
  bool listing = g->lines != nullptr;  // asked for, and not yet written
  g->lines = nullptr;
  g->messages = nullptr;  // the messages about these files are not listed in them
  try {
    bool with_load_file = !stopped && !(r.options.output_given && g->error_count > 0);
    if (with_load_file && !r.options.labels.empty())
      write_report_file(r.options.labels, [](OutStream& out) { write_label_file(out, state->symbols.table); });
    if (!listing) return;
    if (job && complete_listing(*job)) return;
    write_report_file(r.options.listing, [](OutStream& out) {
      RunState& s = *state;
      write_listing(out, s.listing.lines, s.listing.placements, s.listing.messages, s.sections.table,
                    s.symbols.table);
    });
  } catch (...) {
    if (!stopped) throw;  // a second stop ends the run as the first did
  }
}

// The pipeline: command line, pass 1 (measure), buffers, pass 2 (store), reports, load file.
void assemble(const std::vector<std::string>& args) {
  RunState& r = *state;
  reader_init(UNGET_CAPACITY);
  symbols_start();
  sections_start();
  if (!take_command_line(args)) return;
  start_listing_and_messages();
  const std::string* source = r.have_source ? &r.source : nullptr;
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

  start_listing();
  print_reports();
  write_outputs();
  write_listing_and_labels(false);
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
  if (stopped) write_listing_and_labels(true);
  settle_outputs();
  // A failed write of standard output is reported once, whenever it shows.
  if (!out_flush(g->out)) stream_failed(g->out);
  if (!stopped) status = g->error_count > 0 ? 1 : 0;
  // Still reachable through `state` (a leak checker at exit sees none); the prescanner's
  // thread, idle since its last pass, ends with the process.
  if (io.process_ends) return status;
  delete state;
  state = nullptr;
  g = nullptr;
  return status;
}
