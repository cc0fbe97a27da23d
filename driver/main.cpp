// Program entry: xexasm [-D] [source]
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/run.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  RunIO io;
  // Set to anything but empty or 0: pass 2 parses the source again instead of replaying
  // pass 1's parse (to check one against the other).
  const char* twice = std::getenv("XEXASM_PARSE_TWICE");
  io.parse_twice = twice && *twice && std::string(twice) != "0";
  return xexasm_run(args, io);
}
