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
//   $06  the source read from a file, with --messages=gnu
//   $07  the source read from a file, with --messages=gnu, a listing and a label file
//        (fz.lst, fz.lab), whose texts every setting must give alike too
// Any other first byte belongs to the source, which is then standard input held in memory.
// Every run without -D is made under each setting of the fast layer: the plain core alone
// first, then each mechanism alone and all of them; each must give the plain core's run in
// every stream and the status. (-D turns the fast layer off.)
//
// The runs take place in a private scratch folder holding a few include files, so an
// INCLUDE reaches only those; an input that could name a file elsewhere (an INCLUDE
// together with a '/') is skipped. Standard input and output are closed (see
// close_standard_streams).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "tests/support/run_helper.h"

namespace {

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
  xtest::write_corpus_includes(dir);
}

[[noreturn]] void fail(const char* what, const char* setting) {
  std::fprintf(stderr, "%s (XEXASM_FAST=%s)\n", what, setting);
  std::abort();
}


// The runs take place with standard input and standard output closed (libFuzzer needs
// neither; it reports on standard error), so that the files a run opens take descriptors 0
// and 1: a run must give the same outcome whatever numbers its files get, and nothing in
// it may read or write those descriptors behind its captured streams.
void close_standard_streams() {
  std::fflush(stdout);
  ::close(0);
  ::close(1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  make_scratch_folder();
  close_standard_streams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::optional<xtest::CorpusRun> plain = xtest::run_corpus_input(input, FAST_NONE);
  if (!plain) return -1;  // not added to the corpus
  const xtest::Outcome& r = plain->outcome;

  if (!plain->debug) {
    for (const xtest::FastSetting& s : xtest::FAST_SETTINGS) {
      if (s.mechanisms == FAST_NONE) continue;
      std::string d = xtest::difference(r, xtest::run_corpus_input(input, s.mechanisms)->outcome);
      if (!d.empty()) {
        std::fprintf(stderr, "%s", d.c_str());
        fail("the fast layer gives another run than the plain core", s.name);
      }
    }
  }

  // What every run must give, whatever its input.
  if (r.status != 0 && r.status != 1) {
    std::fprintf(stderr, "exit status %d\n", r.status);
    std::abort();
  }
  if (r.status == 0 && r.xex.compare(0, 2, "\xff\xff") != 0) fail("a successful run wrote no load file header", "none");
  if (r.status == 1 && r.err.empty()) fail("a failed run gave no message", "none");
  if (!r.err.empty() && r.err.back() != '\n') fail("standard error does not end with a whole line", "none");
  return 0;
}
