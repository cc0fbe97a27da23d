// Runs of the assembler for the tests, the fuzz target and the benchmarks: whole runs in
// process (xexasm_run) with every stream captured, the fast settings they are compared
// under, private scratch folders, and the module records that single operations need.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "assembly/section.h"
#include "assembly/symbol.h"
#include "base/run.h"
#include "driver/run.h"
#include "fast/fast.h"
#include "parser/engine.h"
#include "source/reader.h"
#include "source/scanner.h"

namespace xtest {

namespace fs = std::filesystem;

// What a run leaves behind.
struct Outcome {
  int status = -1;
  std::string out, err, xex;
  std::string written;    // files the run wrote beside the load file (a listing, a label file)
  bool replayed = false;  // pass 2 replayed pass 1's parse
};

// Empty when both runs gave the same status, standard output, standard error and load
// file; otherwise which of them differ and where first.
std::string difference(const Outcome& expected, const Outcome& actual);

struct RunOptions {
  unsigned fast = FAST_ALL;
  int64_t section_limit = int64_t{1} << 24;
  size_t trace_limit = size_t{64} << 20;
  std::function<void()> between_passes;
  // The load file goes to Outcome::xex (also for a source on standard input) and no
  // output file is made; false: output files are written as the arguments name them.
  bool capture_xex = true;
  int stdout_fd = -1;  // when set, standard output goes to this descriptor, not Outcome::out
};

// The settings every harness compares: the plain core, each mechanism alone, all of them.
struct FastSetting {
  const char* name;  // as XEXASM_FAST spells it
  unsigned mechanisms;
};
inline constexpr FastSetting FAST_SETTINGS[] = {
    {"none", FAST_NONE}, {"scan", FAST_SCAN}, {"engine", FAST_ENGINE}, {"replay", FAST_REPLAY}, {"all", FAST_ALL},
};

// One whole run with the command-line arguments, in the current folder; standard input empty.
Outcome run_args(const std::vector<std::string>& args, const RunOptions& options = {});
// The source held in memory as standard input; `args` (no source among them) before it.
Outcome run_stdin(const std::string& source, const RunOptions& options = {}, const std::vector<std::string>& args = {});
// The source written to prog.asm in the shared scratch folder and assembled from there.
Outcome run_source(const std::string& source, const RunOptions& options = {});
// A run in `folder` (the working folder while it lasts): include names are relative to it.
Outcome run_in(const fs::path& folder, const std::vector<std::string>& args, const RunOptions& options = {});

// A fresh private folder, removed with everything in it when the object goes. Its path
// holds no '.', so that the output name of a source in it is cut at the source's own
// extension.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& path() const { return path_; }
  // The path of `name` in the folder, after writing `text` to it.
  std::string write(const std::string& name, std::string_view text) const;

 private:
  fs::path path_;
};

// Makes `folder` the working folder while it lives.
class WorkingFolder {
 public:
  explicit WorkingFolder(const fs::path& folder);
  ~WorkingFolder();
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

 private:
  fs::path old_;
};

// One scratch folder for the whole test program, removed when the program ends.
const ScratchDir& shared_scratch();

std::string read_file(const fs::path& path);
void write_file(const fs::path& path, std::string_view text);

// The include files that inputs of the fuzz corpus name: a plain one, a nested one, one
// that includes itself, an empty one, one that ends inside a string, and a folder.
void write_corpus_includes(const fs::path& folder);

// The entries of the corpus folder `dir`, in name order.
std::vector<fs::path> corpus_entries(const fs::path& dir);
// A corpus input's source: the input without the first byte that chooses the fuzz
// target's run ($01-$07), if it has one.
std::string_view corpus_source(std::string_view input);

// An input of the fuzz corpus, run the way the fuzz target runs it, in the current folder
// (which should hold the corpus includes). A first byte $01-$07 is taken off and chooses
// the run: $01-$05 by bits, bit 0 -D, bit 1 the source read from a file (fz.asm, whose
// load file is the real file fz.xex, read back into the outcome), bit 2 standard input
// from a pipe; $06 the file with --messages=gnu, $07 also a listing and a label file (read
// back into the outcome); any other first byte belongs to the source, which is then
// standard input held in memory. Sections are limited to 64 KiB. An input that could name a file outside the
// folder (INCLUDE together with '/') is not run: nothing is returned.
struct CorpusRun {
  bool debug = false;  // the fast layer is off in debug mode
  Outcome outcome;
};
std::optional<CorpusRun> run_corpus_input(std::string_view input, unsigned fast);

// A run set up as the driver sets it up before pass 1, with standard output and standard
// error captured, so that single operations can be called the way the actions call them.
// g points at it while it lives.
struct OperationRun {
  std::string out, err;
  Run run;
  Reader reader;
  Scanner scanner;
  Sections sections;
  Symbols symbols;
  Parser parser;
  OperationRun();
  ~OperationRun();
  OperationRun(const OperationRun&) = delete;
  OperationRun& operator=(const OperationRun&) = delete;
  // Moves to pass 2 as the driver does: buffers allocated, location counters at 0.
  void begin_pass2();
};

}  // namespace xtest
