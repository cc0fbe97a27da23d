// The prescanner: the block scanner's tokens cut on a second thread.
#include "fast/prescan.h"

#include <chrono>
#include <sys/mman.h>
#include <unistd.h>

#include <new>
#include <thread>

#include "assembly/name_table.h"

namespace {

constexpr ptrdiff_t JOB_LIMIT = ptrdiff_t{1} << 30;   // offsets stay within 32 bits
constexpr uint64_t SHORT_JOB = 16;                    // a job of fewer entries is short
// Awake between jobs: the gap between two of a pass's jobs is far shorter, and a sleeping
// thread can take from tens of microseconds to milliseconds to wake (longer on a virtual
// machine), which the pass would spend cutting the tokens itself.
constexpr auto IDLE_SPIN = std::chrono::milliseconds(1);
constexpr auto NAP = std::chrono::microseconds(20);          // asleep while the ring is full

constexpr uint32_t JOB_OPEN = 1, JOB_TAKEN = 2, JOB_REVOKED = 3;
// The claim word: the job's number, and its state in the two low bits.
constexpr uint32_t claim_of(uint32_t job, uint32_t state) { return job << 2 | state; }

// One turn of a spin loop: a pause that leaves the core's resources to the other thread.
inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Maps in the pages wholly inside [at, at + n) as if written, without writing them (no
// effect where the system cannot), a piece at a time: a job posted meanwhile is taken first,
// and the pages not yet mapped are left to the pass's own page faults.
void populate(Prescan& ps, uintptr_t at, size_t n) {
#ifdef MADV_POPULATE_WRITE
  constexpr uintptr_t PIECE = 32768;
  static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  uintptr_t from = (at + page - 1) & ~(page - 1), to = (at + n) & ~(page - 1);
  for (uintptr_t p = from; p < to; p += PIECE) {
    if ((ps.claim.load(std::memory_order_relaxed) & 3) == JOB_OPEN) return;
    madvise(reinterpret_cast<void*>(p), to - p < PIECE ? to - p : PIECE, MADV_POPULATE_WRITE);
  }
#else
  (void)ps, (void)at, (void)n;
#endif
}

// The thread's part of prescan_populate.
void populate_asked(Prescan& ps) {
  if (ps.populate_at.load(std::memory_order_relaxed) == 0) return;
  size_t n = ps.populate_size.load(std::memory_order_relaxed);
  uintptr_t at = ps.populate_at.exchange(0, std::memory_order_acquire);
  if (at) populate(ps, at, n);
}

// The thread: waits for an open job it has not seen, spinning for a while, then asleep
// until the pass rings. Returns the claim of the job, or 0 when the prescanner is to quit.
uint32_t wait_for_job(Prescan& ps, uint32_t seen) {
  auto since = std::chrono::steady_clock::now();
  for (unsigned spins = 1;; spins++) {
    if (ps.quit.load(std::memory_order_acquire)) return 0;
    uint32_t c = ps.claim.load(std::memory_order_acquire);
    if (c != seen && (c & 3) == JOB_OPEN) return c;
    populate_asked(ps);
    // Awake while the pass still has entries to take: the next job follows them.
    if (ps.head.load(std::memory_order_relaxed) != ps.tail.load(std::memory_order_relaxed)) {
      since = std::chrono::steady_clock::now();
      for (int i = 0; i < 64; i++) relax();
      continue;
    }
    if (spins % 64 != 0 || std::chrono::steady_clock::now() - since < IDLE_SPIN) {
      relax();
      continue;
    }
    // The pass rings the bell after it posts a job when it sees the flag; the bell's
    // count, read after the flag is set, makes a ring in between end the wait at once.
    ps.asleep.store(true);
    uint32_t bell = ps.bell.load();
    c = ps.claim.load();
    if ((c == seen || (c & 3) != JOB_OPEN) && !ps.quit.load()) ps.bell.wait(bell);
    ps.asleep.store(false);
    since = std::chrono::steady_clock::now();
  }
}

// Doubles the table, the numbers kept.
void grow_numbers(NameNumbers& x) {
  std::vector<uint64_t> old(x.slots.size() * 2, NameNumbers::FREE);
  old.swap(x.slots);
  size_t mask = x.slots.size() - 1;
  for (uint64_t s : old) {
    if (s == NameNumbers::FREE) continue;
    size_t i = (s >> 32) & mask;
    while (x.slots[i] != NameNumbers::FREE) i = (i + 1) & mask;
    x.slots[i] = s;
  }
}

// The ring's entry of a token cut_token gave (code < 0: the job's end, where the token it
// left to the plain scanner begins).
PrescanEntry entry_of(int code, const CutToken& t, const unsigned char* base) {
  if (code < 0)
    return PrescanEntry{static_cast<uint32_t>(t.next - base), PrescanEntry::STOP, 0, t.next_pos.line, t.next_pos.col};
  return PrescanEntry{static_cast<uint32_t>(t.pos_byte - base), static_cast<uint16_t>(code),
                      static_cast<uint16_t>(t.len), t.pos.line, t.pos.col};
}

// Cuts the job into the ring, up to its first token left to the plain scanner (or until
// the pass cancels it). `count`: the entries cut so far, for Prescan::cut_limit.
void cut_job(Prescan& ps, uint64_t& count) {
  const unsigned char* base = ps.base;
  const unsigned char* end = ps.end;
  const unsigned char* p = base;
  SrcPos pos = ps.pos;
  uint64_t h = ps.head.load(std::memory_order_relaxed);
  uint64_t first = h;
  uint64_t t = ps.tail.load(std::memory_order_acquire);
  for (;;) {
    while (h - t >= Prescan::RING) {
      // Full: the pass has a while's work in hand, and a spinning wait would slow it
      // where the two threads share a core.
      ps.head.store(h, std::memory_order_release);
      if (ps.cancel.load(std::memory_order_relaxed)) return;
      std::this_thread::sleep_for(NAP);
      t = ps.tail.load(std::memory_order_acquire);
    }
    if (count++ >= ps.cut_limit) {
      // A thread that stops in the middle of a job (tests: the pass goes on alone).
      ps.head.store(h, std::memory_order_release);
      while (!ps.cancel.load(std::memory_order_relaxed)) relax();
      return;
    }
    CutToken c;
    int code = cut_token(p, end, pos, c);
    ps.ring[h & (Prescan::RING - 1)] = entry_of(code, c, base);
    if (code == TOK_IDENT)
      ps.names[h & (Prescan::RING - 1)] = ps.numbering ? name_number(ps.numbers, c.text, c.len) : NO_NAME;
    h++;
    if (code < 0) break;
    p = c.next;
    pos = c.next_pos;
    // The first entries at once (the pass waits for them), then in runs.
    if (h - first < 4 || h % 16 == 0) {
      ps.head.store(h, std::memory_order_release);
      if (ps.cancel.load(std::memory_order_relaxed)) return;
    }
  }
  ps.head.store(h, std::memory_order_release);
}

// The thread's loop: takes each job posted, cuts it, and tells the pass it has ended.
void prescanner(Prescan& ps) {
  uint32_t seen = 0;
  uint64_t count = 0;
  while (uint32_t c = wait_for_job(ps, seen)) {
    seen = c;
    uint32_t taken = claim_of(c >> 2, JOB_TAKEN);
    if (!ps.claim.compare_exchange_strong(c, taken, std::memory_order_acq_rel)) continue;
    seen = taken;
    cut_job(ps, count);
    ps.finished.store(taken >> 2, std::memory_order_release);
  }
}

// The thread's entry point.
void* prescanner_thread(void* context) {
  Prescan& ps = *static_cast<Prescan*>(context);
  // Started on another processor than the pass's (below); from now on anywhere.
  sched_setaffinity(0, sizeof ps.processors, &ps.processors);
  prescanner(ps);
  return nullptr;
}

// The thread, started on a processor other than the pass's: left to itself, the system
// starts it on the pass's own and moves it only later, which can take milliseconds. With
// one processor to run on there is no thread (it could only slow the pass down).
bool start_thread(Prescan& ps) {
  ps.unavailable = true;
  if (sched_getaffinity(0, sizeof ps.processors, &ps.processors) != 0 || CPU_COUNT(&ps.processors) < 2) return false;
  ps.ring.reset(new (std::nothrow) PrescanEntry[Prescan::RING]);
  ps.names.reset(new (std::nothrow) uint32_t[Prescan::RING]);
  if (!ps.ring || !ps.names) return false;
  ps.numbers.seed = name_hash_seed();
  cpu_set_t others = ps.processors;
  int mine = sched_getcpu();
  if (mine >= 0 && mine < CPU_SETSIZE) CPU_CLR(mine, &others);
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  if (CPU_COUNT(&others) > 0) pthread_attr_setaffinity_np(&attr, sizeof others, &others);
  ps.started = pthread_create(&ps.thread, &attr, prescanner_thread, &ps) == 0;
  pthread_attr_destroy(&attr);
  ps.unavailable = !ps.started;
  return ps.started;
}

// The thread took the job and stopped in it (its processor was taken away): the pass goes
// on with the block scanner from the last entry it took, and posts no job until the thread
// has ended this one.
void abandon_job(Prescan& ps) {
  ps.cancel.store(true, std::memory_order_relaxed);
  ps.active = false;
  ps.abandoned = true;
}

// Whether no abandoned job is still running (with `wait`, once it has ended); the ring is
// then where the thread left it.
bool settle(Prescan& ps, bool wait) {
  if (!ps.abandoned) return true;
  while (ps.finished.load(std::memory_order_acquire) != ps.job) {
    if (!wait) return false;
    relax();
  }
  ps.cancel.store(false, std::memory_order_relaxed);
  ps.taken = ps.seen = ps.head.load(std::memory_order_acquire);
  ps.tail.store(ps.taken, std::memory_order_release);
  ps.abandoned = false;
  return true;
}

// Posts a job: the rest of the current block, when it is worth one.
bool start_job(Prescan& ps) {
  if (ps.unavailable || !settle(ps, false)) return false;
  if (ps.inline_left) {
    ps.inline_left--;
    return false;
  }
  const Reader& r = *g->reader;
  if (!r.unget.empty()) return false;
  const InputStream& in = *r.current;
  if (in.end - in.p < (ps.started ? (ps.min_job + 3) / 4 : ps.min_job)) return false;
  if (!ps.started && !start_thread(ps)) return false;
  ps.base = in.p;
  ps.end = in.end - in.p > JOB_LIMIT ? in.p + JOB_LIMIT : in.end;
  ps.pos = in.pos;
  ps.numbering = g->pass == 1;
  ps.job_first = ps.taken;
  ps.job = (ps.job + 1) & 0x3FFFFFFF;
  if (ps.job == 0) ps.job = 1;  // a claim of 0 means no job
  ps.active = true;
  ps.in_hand = false;
  ps.claim.store(claim_of(ps.job, JOB_OPEN), std::memory_order_release);
  ps.bell.fetch_add(1);
  if (ps.asleep.load()) ps.bell.notify_one();
  return true;
}

// Takes the job back from a thread that has not taken it yet; false when it has.
bool revoke_job(Prescan& ps) {
  uint32_t open = claim_of(ps.job, JOB_OPEN);
  if (!ps.claim.compare_exchange_strong(open, claim_of(ps.job, JOB_REVOKED), std::memory_order_acq_rel)) {
    ps.in_hand = true;
    return false;
  }
  ps.active = false;
  return true;
}

// Waits for the next entry; false when the job was revoked or abandoned instead.
bool wait_for_entry(Prescan& ps) {
  for (unsigned waits = 0; ps.taken == ps.seen; waits++) {
    ps.seen = ps.head.load(std::memory_order_acquire);
    if (ps.taken != ps.seen) break;
    if (!ps.in_hand) {
      if (ps.claim.load(std::memory_order_relaxed) == claim_of(ps.job, JOB_TAKEN)) ps.in_hand = true;
      else if (waits >= ps.patience && revoke_job(ps)) return false;
    } else if (waits >= ps.stall) {
      abandon_job(ps);
      return false;
    }
    relax();
  }
  ps.in_hand = true;
  return true;
}

// A job taken back (or abandoned): the pass cuts tokens itself before it posts the next,
// twice as many for each such job in a row (up to 32 times `inline_run`), so that a thread
// that cannot run (its processor taken by another program) costs the pass one wait in
// thousands of tokens rather than in hundreds.
void cut_inline_after_revoke(Prescan& ps) {
  if (ps.revoked_in_a_row < 6) ps.revoked_in_a_row++;
  uint64_t n = uint64_t{ps.inline_run} << (ps.revoked_in_a_row - 1);
  ps.inline_left = n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
}

// The block scanner on the pass's own thread. The plain scanner may read the next block
// only when no job is still reading this one.
int inline_token(Prescan& ps) {
  int code = fast_scan(*g->reader, *g->scanner);
  if (code >= 0) return code;
  settle(ps, true);
  return next_token();
}

// The job's end: the reader where the thread left it, and the plain scanner's token.
int take_stop(Prescan& ps, const PrescanEntry& e) {
  InputStream& in = *g->reader->current;
  in.p = ps.base + e.start;
  in.pos.line = e.line;
  in.pos.col = e.col;
  ps.tail.store(ps.taken, std::memory_order_release);
  ps.active = false;
  if (ps.taken - ps.job_first < SHORT_JOB) ps.inline_left = ps.inline_run;
  return next_token();
}

}  // namespace

uint32_t name_number(NameNumbers& x, const unsigned char* p, size_t n) {
  if (x.failed) return NO_NAME;
  try {
    if (x.slots.empty()) x.slots.assign(1024, NameNumbers::FREE);
    uint64_t hash = keyed_name_hash(x.seed, p, n) >> 32;
    size_t mask = x.slots.size() - 1;
    size_t i = hash & mask;
    for (; x.slots[i] != NameNumbers::FREE; i = (i + 1) & mask)
      if (x.slots[i] >> 32 == hash) return static_cast<uint32_t>(x.slots[i]);
    if (x.count == NameNumbers::LIMIT) return NO_NAME;
    uint32_t number = x.count++;
    x.slots[i] = hash << 32 | number;
    if (x.count * size_t{2} > x.slots.size()) grow_numbers(x);
    return number;
  } catch (const std::bad_alloc&) {
    x.failed = true;
    return NO_NAME;
  }
}

void prescan_forget_names(Prescan& ps) {
  NameNumbers& x = ps.numbers;
  std::vector<uint64_t>().swap(x.slots);
  x.count = 0;
  x.failed = false;
}

int prescan_next_token_slow(Prescan& ps) {
  ps.last_name = NO_NAME;
  if (!ps.active && !start_job(ps)) return inline_token(ps);
  if (!wait_for_entry(ps)) {
    cut_inline_after_revoke(ps);
    return inline_token(ps);
  }
  ps.revoked_in_a_row = 0;
  const PrescanEntry e = ps.ring[ps.taken & (Prescan::RING - 1)];
  if (e.code == PrescanEntry::STOP) {
    ps.taken++;
    return take_stop(ps, e);
  }
  return prescan_take(ps);
}

void prescan_populate(Prescan& ps, void* bytes, size_t n) {
  // One request at a time (a second one while the first waits is dropped): the size
  // first, then the address that makes it whole.
  if (!ps.started || ps.populate_at.load(std::memory_order_relaxed) != 0) return;
  ps.populate_size.store(n, std::memory_order_relaxed);
  ps.populate_at.store(reinterpret_cast<uintptr_t>(bytes), std::memory_order_release);
}

void prescan_stop(Prescan& ps) {
  // A job the thread has taken ends as an abandoned one does.
  if (ps.active && !revoke_job(ps)) abandon_job(ps);
  ps.active = false;
  settle(ps, true);
}

Prescan::~Prescan() {
  if (!started) return;
  prescan_stop(*this);
  quit.store(true);
  bell.fetch_add(1);
  bell.notify_one();
  pthread_join(thread, nullptr);
}
