// The driver: command line, the two passes, the reports and the binary load file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "assembly/section.h"
#include "driver/run.h"
#include "output/reports.h"
#include "output/xex.h"
#include "parser/engine.h"
#include "source/reader.h"

Run* g = nullptr;

Run::~Run() {
  if (xex.fd >= 0) ::close(xex.fd);
  if (sections) table_destroy(sections);
}

void fatal_stop(int status) { throw FatalStop{status}; }

static void vmessage(const char* fmt, va_list ap) { out_vprintf(g->err, fmt, ap); }

void fatal(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vmessage(fmt, ap);
  va_end(ap);
  fatal_stop(1);
}

void out_of_memory() { fatal("Out of Memory\n"); }

void report_error(const char* fmt, ...) {
  g->error_count++;
  va_list ap;
  va_start(ap, fmt);
  vmessage(fmt, ap);
  va_end(ap);
}

void note(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vmessage(fmt, ap);
  va_end(ap);
}

void stream_failed(OutStream& s) {
  if (&s == &g->out) fatal("Could not write standard output\n");
  // The binary load file reports its failure when it is closed; standard error has
  // nowhere left to report to.
}

// The output file named after a source path: the text before the first '.', then ".xex".
// `source` is the path that will be assembled (the last one given).
static void open_output_for(const std::string& arg, const std::string& source) {
  size_t dot = arg.find('.');
  if (dot == std::string::npos) return;  // no '.': the earlier output stays in force
  std::string name = arg.substr(0, dot) + ".xex";
  g->output_name = name;
  if (g->io.xex_capture) return;  // the capture stands in for every output file
  if (g->xex.fd >= 0) {
    ::close(g->xex.fd);
    g->xex.fd = -1;
  }
  g->xex_open = false;
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
  out_init(g->xex, fd, nullptr, false);
  g->xex_open = true;
}

static void open_source(const std::string* path) {
  if (!path) note("Get Input from Consol\n");
  if (!reader_open_source(path ? path->c_str() : nullptr))
    fatal("Unable to Open %s for input\n", path->c_str());
}

static void finish_output() {
  if (!g->xex_open) return;
  write_binary_load_file(g->xex);
  bool ok = out_flush(g->xex);
  if (g->xex.fd >= 0) {
    if (::close(g->xex.fd) != 0) ok = false;
    g->xex.fd = -1;
  }
  if (!ok) report_error("Could not write %s\n", g->output_name.c_str());
}

static void assemble(const std::vector<std::string>& args) {
  reader_init(UNGET_CAPACITY);
  symbols_start();
  g->sections = table_create(SECTION_BUCKETS);

  bool have_path = false;
  std::string path;
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
  const std::string* source = have_path ? &path : nullptr;

  g->pass = 1;
  open_source(source);
  if (!g->debug) trace_start();
  run_pass();
  trace_finish();
  reader_close_source();
  if (g->io.between_passes) g->io.between_passes();

  open_source(source);
  g->pass = 2;
  sections_alloc_buffers();
  out_printf(g->out, "***** PASS 2 *****\n");
  bool replay = trace_replayable();
  if (g->io.replayed) *g->io.replayed = replay;
  if (replay)
    trace_replay();
  else
    run_pass();
  sections_check_sizes();

  dump_sections(g->out);
  list_symbols(g->out);
  reader_close_source();
  finish_output();
}

int xexasm_run(const std::vector<std::string>& args, const RunIO& io) {
  Run* run = new (std::nothrow) Run();
  if (!run) {
    static const char msg[] = "Out of Memory\n";
    if (io.stderr_capture) io.stderr_capture->append(msg);
    else if (::write(io.stderr_fd, msg, sizeof msg - 1) < 0) {}
    return 1;
  }
  g = run;
  g->io = io;
  out_init(g->out, io.stdout_fd, io.stdout_capture, false);
  out_init(g->err, io.stderr_fd, io.stderr_capture, true);
  out_init(g->xex, -1, io.xex_capture, false);
  g->xex_open = io.xex_capture != nullptr;

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
    try {
      note("Could not write standard output\n");
    } catch (const FatalStop&) {
    }
    status = 1;
  }
  delete g;
  g = nullptr;
  return status;
}
