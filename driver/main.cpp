// Program entry: xexasm [-D] [source]
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/run.h"

namespace {

// Standard input, output and error open on something. A descriptor that the program was
// started without would go to the first file the run opens (the load file), and the
// reports would be written into it; each missing one is opened on /dev/null instead (or,
// without it, on a pipe that reads as empty and cannot be written).
void standard_descriptors_open() {
  for (int fd = 0; fd <= 2; fd++) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0) {
      if (null != fd) {
        ::dup2(null, fd);
        ::close(null);
      }
      continue;
    }
    int ends[2];
    if (::pipe(ends) != 0) continue;
    int keep = fd == 0 ? ends[0] : ends[1], other = fd == 0 ? ends[1] : ends[0];
    if (keep != fd) {
      ::dup2(keep, fd);
      ::close(keep);
    }
    if (other != fd) ::close(other);
  }
}

}  // namespace

// The program: the standard descriptors made safe, then one run on them, whose status is
// the exit status.
int main(int argc, char** argv) {
  standard_descriptors_open();
  // A write to a pipe without a reader, or past the file size limit, fails like any other
  // write and is reported as one, instead of ending the process without a word.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  // Blocks of 128 KiB and more are mapped from the system and go back to it when freed.
  // Left to itself the allocator raises that threshold to the size of each such block
  // freed, so that, depending on the order in which the two threads free and make theirs,
  // a table that pass 1 frees may stay in the heap beneath pass 2's buffers (3 MB more at
  // the peak of a run of a million lines).
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  std::vector<std::string> args(argv + 1, argv + argc);
  RunIO io;
  // XEXASM_FAST picks the fast layer's mechanisms: none runs the plain core alone (to check
  // one against the other); unset, every mechanism runs.
  if (const char* fast = std::getenv("XEXASM_FAST"); fast && *fast && !parse_fast_setting(fast, io.fast)) {
    std::fprintf(stderr, "XEXASM_FAST: unknown setting %s (none, all, or a list of scan,engine,replay)\n", fast);
    return 1;
  }
  io.process_ends = true;
  return xexasm_run(args, io);
}
