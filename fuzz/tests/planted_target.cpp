// A fuzz target with planted faults, for the tests of fuzz/run.sh: an input whose hash is
// that of one of the words below crashes, leaks, hangs or runs into undefined behaviour.
// The words are found by hash so that the fuzzer cannot reach them by itself; every other
// input is harmless and adds a little coverage by its first byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

uint64_t fnv1a(const uint8_t* p, size_t n) {
  uint64_t h = 0xcbf29ce484222325u;
  for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * 0x100000001b3u;
  return h;
}

uint64_t word(const char* w) { return fnv1a(reinterpret_cast<const uint8_t*>(w), std::strlen(w)); }

volatile int sink;
volatile bool forever = true;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint64_t h = fnv1a(data, size);
  if (h == word("plant:overflow")) {
    char* p = static_cast<char*>(std::malloc(4));
    sink = p[size];  // read past the block
    std::free(p);
  } else if (h == word("plant:leak")) {
    void* volatile lost = std::malloc(64);
    (void)lost;
  } else if (h == word("plant:hang")) {
    while (forever) {
    }
  } else if (h == word("plant:undefined")) {
    int big = 0x7fffffff - static_cast<int>(size) + 15;  // 0x7fffffff for this word
    sink = big + 1;
  }
  // Harmless inputs: a few branches for the fuzzer to find.
  if (size > 0) {
    switch (data[0] & 7) {
      case 0: sink = 0; break;
      case 1: sink = 1; break;
      case 2: sink = 2; break;
      case 3: if (size > 1 && data[1] == 'x') sink = 3; break;
      default: sink = 4; break;
    }
  }
  return 0;
}
