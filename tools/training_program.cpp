// training_program FILE: writes the program that a profile-guided build runs the
// instrumented assembler on (the benchmarks' generated program of 100,000 lines).
#include <cstdio>

#include "bench/programs.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: training_program FILE\n");
    return 2;
  }
  const GeneratedProgram program = generate_program(100000);
  std::FILE* f = std::fopen(argv[1], "wb");
  bool written = f && std::fwrite(program.text.data(), 1, program.text.size(), f) == program.text.size();
  if (f && std::fclose(f) != 0) written = false;
  if (!written) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
