// Program entry: xexasm [-D] [source]
#include <string>
#include <vector>

#include "driver/run.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return xexasm_run(args, RunIO{});
}
