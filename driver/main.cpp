// Program entry: xexasm [-D] [source]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/run.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  RunIO io;
  // XEXASM_FAST picks the fast layer's mechanisms: none runs the plain core alone (to check
  // one against the other); unset, every mechanism runs.
  if (const char* fast = std::getenv("XEXASM_FAST"); fast && *fast && !parse_fast_setting(fast, io.fast)) {
    std::fprintf(stderr, "XEXASM_FAST: unknown setting %s (none, all, or a list of scan,engine,replay)\n", fast);
    return 1;
  }
  return xexasm_run(args, io);
}
