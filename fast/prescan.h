// The prescanner: the block scanner's tokens cut on a second thread, ahead of the pass.
//
// Contract: a sequence of prescan_next_token calls yields the same codes, token texts and
// token positions, and leaves the reader where the same sequence of fast_next_token calls
// would. The pass posts a job (the rest of the current block, from the reader's next byte
// on, with nothing pushed back); the thread cuts it with cut_token, the block scanner's own
// function, into a ring of entries, and ends the job with the first token that the block
// scanner leaves to the plain scanner. The pass takes the entries in order and applies each
// as fast_scan would have; at the job's end it calls next_token, which may read the next
// block or enter an include, and posts the next job on the next call. While a job runs the
// pass reads nothing but the block, which does not change until the job's end has been
// taken, and the thread reads only the block and the job. With no thread to be had, or
// where jobs come out short (a block full of carriage returns), fast_next_token runs on
// the pass's own thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <pthread.h>
#include <sched.h>

#include <vector>

#include "fast/scan.h"

// A token cut by the thread, in sixteen bytes (four to a line of memory, which the pass
// reads from the other processor's cache). The text, where the token sets one, and the
// reader's next byte and position after it follow from the code, the first byte and the
// length (see take_entry).
struct PrescanEntry {
  uint32_t start;     // offset of the token's first byte from the job's
  uint16_t code;      // STOP: the job's end, where the token left to the plain scanner begins
  uint16_t len;       // the text's length
  int32_t line, col;  // the token's position
  static constexpr uint16_t STOP = 0xFFFF;
};

constexpr uint32_t NO_NAME = UINT32_MAX;

// The thread's numbers for the names it cuts: the first identifier of each spelling gets the
// next number, every later one the same number. Names are told apart by a 32-bit hash under
// a seed drawn for the run, so two names may share a number (rarely): the pass checks the
// name of the symbol a number brings (fast.cpp). The thread's own, in pass 1; the pass sees
// only the numbers, and forgets them with the table when the pass ends. The first LIMIT
// names get numbers (a program of a million lines has about 125,000), so that the table and
// the pass's symbols by number take at most 3 MiB, for pass 1 only.
struct NameNumbers {
  std::vector<uint64_t> slots;  // hash << 32 | number; FREE: a free slot; at most half in use
  uint32_t count = 0;
  uint64_t seed = 0;
  bool failed = false;  // out of memory: no more numbers
  static constexpr uint64_t FREE = ~uint64_t{0};
  static constexpr uint32_t LIMIT = uint32_t{1} << 17;
};
// The number of the name [p, p + n); NO_NAME when there can be none.
uint32_t name_number(NameNumbers& x, const unsigned char* p, size_t n);

struct Prescan {
  static constexpr uint64_t RING = 16384;  // entries; a power of two
  static constexpr uint64_t PREFETCH = 16;  // entries ahead
  std::unique_ptr<PrescanEntry[]> ring;
  std::unique_ptr<uint32_t[]> names;  // beside each entry of an identifier: its name's number
  NameNumbers numbers;                // the thread's, while a job of pass 1 runs
  pthread_t thread{};
  bool started = false;
  cpu_set_t processors;       // where the run may run: the thread's, once it has started
  bool unavailable = false;  // no thread could be started: the block scanner runs inline
  // Bytes left in the block worth starting the thread for; a quarter of that (rounded up)
  // is worth a job once it runs.
  ptrdiff_t min_job = 16384;
  unsigned patience = 256;    // waits for the thread to take a job before the pass takes it back
  uint32_t inline_run = 256;  // tokens cut inline after a short job or one taken back
  unsigned stall = 4096;       // waits for an entry of a taken job before the pass goes on alone
  uint64_t cut_limit = UINT64_MAX;  // entries the thread cuts in all before it stops (tests)

  // The job, written by the pass before it posts the job in `claim`.
  const unsigned char* base = nullptr;
  const unsigned char* end = nullptr;
  SrcPos pos{1, 1};
  bool numbering = false;  // the thread numbers the job's names
  // The job's number and state (job << 2 | JOB_OPEN, JOB_TAKEN or JOB_REVOKED): the pass
  // posts it open; the thread takes it, or the pass revokes it when the thread is slow to
  // come (a sleeping processor can take milliseconds to wake) and cuts the block itself.
  alignas(64) std::atomic<uint32_t> claim{0};
  std::atomic<uint32_t> finished{0};  // the last job the thread took and ended
  std::atomic<uint32_t> bell{0};      // rung by each post; a sleeping thread waits on it
  std::atomic<bool> asleep{false};
  std::atomic<bool> cancel{false};    // end the running job now
  std::atomic<bool> quit{false};
  std::atomic<uintptr_t> populate_at{0};  // memory to map in (0: none), populate_size bytes
  std::atomic<size_t> populate_size{0};
  alignas(64) std::atomic<uint64_t> head{0};  // entries written (published in runs)
  alignas(64) std::atomic<uint64_t> tail{0};  // entries taken (published in runs)

  // The pass's own view.
  alignas(64) uint64_t taken = 0;  // entries taken
  uint64_t seen = 0;               // entries known to be written
  uint64_t job_first = 0;          // the running job's first entry
  uint32_t job = 0;                // the number of the last job posted
  bool active = false;             // a job is posted and not yet ended
  bool in_hand = false;            // ... and the thread has taken it
  bool abandoned = false;          // the thread stopped in a job; the pass went on without it
  uint32_t inline_left = 0;        // tokens to cut inline before the next job
  uint32_t last_name = NO_NAME;    // the number of the token just taken (an identifier)
  unsigned revoked_in_a_row = 0;   // jobs taken back (or abandoned) since the thread last cut one

  ~Prescan();
};

// prescan_next_token where the next entry is not at hand: a job to post or to wait for, the
// job's end, or a token cut on the pass's own thread.
int prescan_next_token_slow(Prescan& ps);

// Where a token's text begins (null: it sets none) and where the reader goes on after it,
// as cut_token gave them.
inline const unsigned char* prescan_text(const unsigned char* start, int code) {
  if (code < 256) return nullptr;  // punctuation
  bool skip = code == TOK_STRING || code == TOK_HEX_NUMBER || code == TOK_CHAR_CONSTANT;
  return start + (skip ? 1 : 0);
}
inline const unsigned char* prescan_next(const unsigned char* start, const unsigned char* text, const PrescanEntry& e) {
  if (!text) return start + 1;
  return text + e.len + (e.code == TOK_STRING ? 1 : 0);
}

// The job's next entry, a token, applied as fast_scan applies a token it cuts.
[[gnu::always_inline]] inline int prescan_take(Prescan& ps) {
  // A copy: once the pass says it has taken the entry, the thread may write its slot.
  const PrescanEntry e = ps.ring[ps.taken & (Prescan::RING - 1)];
  ps.last_name = e.code == TOK_IDENT ? ps.names[ps.taken & (Prescan::RING - 1)] : NO_NAME;
  ps.taken++;
  // The lines a few entries on, while the thread's cache still has them.
  if (ps.seen - ps.taken > Prescan::PREFETCH)
    __builtin_prefetch(&ps.ring[(ps.taken + Prescan::PREFETCH) & (Prescan::RING - 1)]);
  if (ps.taken % 64 == 0) ps.tail.store(ps.taken, std::memory_order_release);
  InputStream& in = *g->reader->current;
  Scanner& sc = *g->scanner;
  const unsigned char* start = ps.base + e.start;
  const unsigned char* text = prescan_text(start, e.code);
  const unsigned char* next = prescan_next(start, text, e);
  if (text) take_text(sc, text, e.len, in.end);
  sc.token_pos = SrcPos{e.line, e.col, in.pos.input};
  in.p = next;
  if (e.code == TOK_STRING) {
    // A string may hold line feeds and tabs.
    SrcPos pos = sc.token_pos;
    for (const unsigned char* c = start; c < next; c++) advance_position(pos, *c);
    in.pos = pos;
  } else {
    // One line; the column stops at its limit as advance_position stops it.
    int32_t width = static_cast<int32_t>(next - start);
    in.pos.line = e.line;
    in.pos.col = e.col > POSITION_LIMIT - width ? POSITION_LIMIT : e.col + width;
  }
  return e.code;
}

// The code of the token after the one just taken, when the thread has cut it already;
// else -1.
inline int prescan_peek(const Prescan& ps) {
  return ps.active && ps.taken != ps.seen ? ps.ring[ps.taken & (Prescan::RING - 1)].code : -1;
}

// The next token: from the thread's entries while a job runs, else through the block
// scanner.
inline int prescan_next_token(Prescan& ps) {
  if (ps.active && ps.taken != ps.seen && ps.ring[ps.taken & (Prescan::RING - 1)].code != PrescanEntry::STOP)
    return prescan_take(ps);
  return prescan_next_token_slow(ps);
}
// Maps in the pages of [bytes, bytes + n) (memory the pass is about to write) on the
// thread, when it runs, so that the pass does not stop for each page; the contents stay.
void prescan_populate(Prescan& ps, void* bytes, size_t n);
// Forgets the names' numbers (no job runs: between passes).
void prescan_forget_names(Prescan& ps);
// Ends a running job at once (before the pass stops or its reader goes); its entries are
// dropped, so this is only for a pass that ends by a fatal stop.
void prescan_stop(Prescan& ps);
