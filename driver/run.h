// The assembler as a library: one call runs the whole program with its command line and
// returns the exit status. Everything a run makes lives in its RunState and goes with it,
// so the assembler can run many times in one process (tests, fuzzing).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fast/fast.h"

// Parses a setting of XEXASM_FAST: "none", "all", or a comma list of "scan", "engine" and
// "replay". Returns false for anything else.
bool parse_fast_setting(const std::string& text, unsigned& mechanisms);

// Where a run takes its input and puts its output, and how it runs.
struct RunIO {
  int stdin_fd = 0;
  const std::string* stdin_text = nullptr;  // when set, standard input is this text
  int stdout_fd = 1;
  int stderr_fd = 2;
  std::string* stdout_capture = nullptr;    // when set, standard output goes here
  std::string* stderr_capture = nullptr;    // when set, standard error goes here
  // When set, the binary load file goes here, also when the command line names no output
  // file (in-process runs of a source held in memory); no output file is created.
  std::string* xex_capture = nullptr;
  // Called between the two passes (tests).
  std::function<void()> between_passes;
  unsigned fast = FAST_ALL;  // the fast layer's mechanisms in use
  bool* replayed = nullptr;  // when set, told whether pass 2 replayed pass 1's parse
  // Largest section buffer a run will allocate; a larger section stops the run.
  int64_t section_limit = int64_t{1} << 24;
  // Largest record of pass 1's parse kept for pass 2 (bytes); beyond it pass 2 reads and
  // parses the source again.
  size_t trace_limit = size_t{64} << 20;
  // The process ends when the run returns (the program's own main): the run's memory is
  // left for the end of the process to take back at once, instead of piece by piece.
  bool process_ends = false;
};

// Runs the whole assembler with the command-line arguments (program name excluded) and
// returns the exit status.
int xexasm_run(const std::vector<std::string>& args, const RunIO& io);
