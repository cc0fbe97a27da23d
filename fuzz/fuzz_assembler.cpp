// libFuzzer target: the whole assembler (both passes, reports, binary load file) on one
// input held in memory, every stream captured.
//
// The input is the source text. When its first byte is one of the mode bytes below, that
// byte is taken off and chooses how the run is made:
//   $01  standard input held in memory, with -D (the scanner's debug trace)
//   $02  the source read from a file (named fz.asm)
//   $03  the source read from a file, with -D
//   $04  standard input read from a pipe
//   $05  standard input read from a pipe, with -D
// Any other first byte belongs to the source, which is then standard input held in memory.
// Every run without -D is made twice: with pass 2 replaying pass 1's parse and with pass 2
// parsing the source again; the two must agree in every stream and the status.
//
// The runs take place in a private scratch folder holding a few include files, so an
// INCLUDE reaches only those; an input that could name a file elsewhere (an INCLUDE
// together with a '/') is skipped.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "driver/run.h"

namespace {

constexpr int64_t SECTION_LIMIT = 65536;
const char* const SOURCE_NAME = "fz.asm";
constexpr size_t PIPE_MAX = 60000;

void write_file(const char* name, std::string_view text) {
  FILE* f = std::fopen(name, "wb");
  if (!f) {
    std::perror(name);
    std::abort();
  }
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

std::string scratch_folder;

void remove_scratch_folder() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch_folder, ignored);
}

void make_scratch_folder() {
  const char* base = std::getenv("TMPDIR");
  std::string dir = std::string(base && *base ? base : "/tmp") + "/xexasm-fuzz.XXXXXX";
  if (!::mkdtemp(dir.data()) || ::chdir(dir.c_str()) != 0) {
    std::perror("scratch folder");
    std::abort();
  }
  scratch_folder = dir;
  std::atexit(remove_scratch_folder);
  // Include files the inputs may name: a plain one, a nested one, one that includes
  // itself, an empty one, one that ends inside a string, and a folder.
  write_file("a.inc", "inc_a: .DB 1,2,\"a\"\n LDA inc_a\n");
  write_file("b.inc", " INCLUDE \"a.inc\"\ninc_b: JMP (inc_b)\n");
  write_file("self.inc", "x: INCLUDE \"self.inc\"\n");
  write_file("empty.inc", "");
  write_file("open.inc", ".DB \"open");
  ::mkdir("dir.inc", 0755);
}

bool may_reach_outside(std::string_view text) {
  return text.find("INCLUDE") != std::string_view::npos &&
         text.find('/') != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  make_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  bool debug = false;
  bool from_file = false;
  bool from_pipe = false;
  if (!input.empty() && input[0] >= 1 && input[0] <= 5) {
    debug = input[0] & 1;
    from_file = input[0] & 2;
    from_pipe = input[0] & 4;
    input.remove_prefix(1);
  }
  // What a pipe holds without a reader (an input longer than -max_len=4096 is not made).
  if (input.size() > PIPE_MAX) from_pipe = false;
  if (may_reach_outside(input)) return -1;  // not added to the corpus

  std::string source(input);
  struct Outcome {
    int status;
    std::string out, err, xex;
  };
  auto run = [&](bool parse_twice) {
    Outcome r;
    RunIO io;
    io.stdout_capture = &r.out;
    io.stderr_capture = &r.err;
    io.xex_capture = &r.xex;
    io.section_limit = SECTION_LIMIT;
    io.parse_twice = parse_twice;
    std::vector<std::string> args;
    if (debug) args.emplace_back("-D");
    int pipe_fds[2] = {-1, -1};
    if (from_file) {
      write_file(SOURCE_NAME, source);
      args.emplace_back(SOURCE_NAME);
    } else if (from_pipe) {
      if (::pipe2(pipe_fds, O_CLOEXEC) != 0 ||
          ::write(pipe_fds[1], source.data(), source.size()) != static_cast<ssize_t>(source.size())) {
        std::perror("pipe");
        std::abort();
      }
      ::close(pipe_fds[1]);
      io.stdin_fd = pipe_fds[0];
    } else {
      io.stdin_text = &source;
    }
    r.status = xexasm_run(args, io);
    if (from_file) ::unlink(SOURCE_NAME);
    if (from_pipe) ::close(pipe_fds[0]);
    return r;
  };

  Outcome r = run(false);
  // Pass 2 replays pass 1's parse where it can; parsing the source again must give the
  // very same run.
  if (!debug) {
    Outcome again = run(true);
    if (again.status != r.status || again.out != r.out || again.err != r.err || again.xex != r.xex) {
      std::fprintf(stderr, "pass 2's replay gives another run than parsing the source again\n");
      std::abort();
    }
  }
  int status = r.status;
  const std::string& err = r.err;
  const std::string& xex = r.xex;

  // What every run must give, whatever its input.
  if (status != 0 && status != 1) {
    std::fprintf(stderr, "exit status %d\n", status);
    std::abort();
  }
  if (status == 0 && xex.compare(0, 2, "\xff\xff") != 0) {
    std::fprintf(stderr, "a successful run wrote no load file header\n");
    std::abort();
  }
  if (status == 1 && err.empty()) {
    std::fprintf(stderr, "a failed run gave no message\n");
    std::abort();
  }
  if (!err.empty() && err.back() != '\n') {
    std::fprintf(stderr, "standard error does not end with a whole line\n");
    std::abort();
  }
  return 0;
}
