// Replay: pass 1 records the actions of its parse, and pass 2 makes them again instead of
// reading and parsing the source once more.
//
// Pass 2 reads the same text as pass 1, so its parse is the same sequence of shifts and
// reductions; only the values differ (symbols defined further down are known by then).
// The record keeps, in order, every action that does something (production and stack
// entry), the text of every literal that an action reads, the symbol that each identifier
// named, and every include switch (its name goes to standard output again).
//
// Contract: the replay makes the same reduction_action calls, in the same order, on
// entries that hold what a plain pass 2's entries would hold when the action reads them
// (the token texts, the results of earlier actions), and writes the include names at the
// same points, so every output is the same as a plain pass 2's. Without positions asked
// for, entries carry no source position: the only plain message that prints one (no
// section selected) stops pass 1 first. With them (messages that name their file, a
// listing), every action whose entry's position a message or the listing reads carries
// it: a statement's (its first token), an operand's (a name, a number, a bracket, a prefix
// operator: what a message about a name or a divisor points at).
// Two specialised steps: a number's entry gets the value that its action worked out from
// the same text in pass 1, and an identifier's entry the symbol that pass 1's lookup found
// (pass 2 creates no symbols, so the lookup of the same name would find the same one);
// their actions are left out.
//
// Pass 2 replays only when pass 1 reported nothing, the record stayed within its limit,
// every opening of a file in pass 1 read a regular file and the same bytes, and every
// such file still is a regular file of those bytes (compared by a hash keyed per run);
// the check looks at a file's type before it opens it, so that nothing but a regular file
// is ever opened for it. In any other case pass 2 parses again.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "parser/engine.h"
#include "source/reader.h"

// A file pass 1 read, by name (one entry however often it was opened): what it read of it,
// as its size and a keyed hash of its bytes, which every opening must have read alike.
struct ReadFile {
  std::string name;         // as the INCLUDE wrote it (printed when the replay enters it)
  std::string path;         // where it was opened (checked before pass 2 replays)
  bool regular = true;      // every opening found a regular file
  bool consistent = true;   // every opening read the same bytes, as far
  bool seen = false;        // an opening has been read whole: the fields below are set
  bool read_to_end = false;
  uint64_t size = 0;
  uint64_t hash = 0;
};

// A keyed hash of a file's bytes, fed in pieces. Sixty-four bytes at a time, in four lanes
// of sixteen: in each lane the two words, each mixed with a half of the key and the lane's
// constant, are multiplied into 128 bits whose halves are folded into the lane's state (the
// lanes do not wait for one another); the last bytes, the length and the four states are
// mixed together at the end. Not a cryptographic hash: it tells a file changed between the
// passes from one read alike (two different texts give the same hash with a chance of about
// 2^-64 under a key drawn for the run), at a fraction of a cycle per byte.
struct FileHash {
  static constexpr size_t BLOCK = 64;
  static constexpr uint64_t LANE[4] = {0xa0761d6478bd642full, 0xe7037ed1a0b428dbull, 0x8ebc6af09c88c6e3ull,
                                       0x589965cc75374cc3ull};
  uint64_t k0 = 0, k1 = 0;
  uint64_t state[4] = {};
  unsigned char tail[BLOCK] = {};
  size_t tail_bytes = 0;
  uint64_t length = 0;
  explicit FileHash(const uint64_t key[2] = nullptr) : k0(key ? key[0] : 0), k1(key ? key[1] : 0) {
    for (int i = 0; i < 4; i++) state[i] = k0 ^ LANE[3 - i];
  }
  static uint64_t fold(uint64_t a, uint64_t b) {
    __extension__ using Wide = unsigned __int128;
    Wide m = static_cast<Wide>(a) * b;
    return static_cast<uint64_t>(m) ^ static_cast<uint64_t>(m >> 64);
  }
  void block(const unsigned char* p) {
    for (int i = 0; i < 4; i++, p += 16) {
      uint64_t a, b;
      std::memcpy(&a, p, 8);
      std::memcpy(&b, p + 8, 8);
      state[i] = fold(a ^ k0 ^ LANE[i], b ^ k1 ^ state[i]);
    }
  }
  void add(const unsigned char* p, size_t n) {
    length += n;
    if (tail_bytes != 0) {
      size_t take = n < BLOCK - tail_bytes ? n : BLOCK - tail_bytes;
      std::memcpy(tail + tail_bytes, p, take);
      tail_bytes += take, p += take, n -= take;
      if (tail_bytes < BLOCK) return;
      block(tail);
      tail_bytes = 0;
    }
    for (; n >= BLOCK; n -= BLOCK, p += BLOCK) block(p);
    std::memcpy(tail, p, n);
    tail_bytes = n;
  }
  uint64_t finish() {
    std::memset(tail + tail_bytes, 0, BLOCK - tail_bytes);
    block(tail);
    uint64_t h = fold(state[0] ^ length ^ LANE[1], state[1] ^ k1 ^ LANE[2]);
    return fold(h ^ state[2] ^ LANE[3], state[3] ^ k0 ^ LANE[0]);
  }
};

// An opening of a file that pass 1 is reading: the hash of what it has read so far.
struct OpenRead {
  uint32_t file = 0;  // in Recording::files
  FileHash hash;
  bool at_end = false;  // the reads reached the file's end
  bool active = false;  // the slot is in use (slots are reused: as many as inputs open at once)
};

// A piece of the record: `used` bytes of it hold units (not zero-filled beyond them).
struct RecordChunk {
  std::unique_ptr<uint8_t[]> bytes;
  size_t used = 0;
};

struct Recording {
  bool on = false;       // recording
  // Positions are kept too (messages that name their file and line, a listing): each
  // action whose entry's position a message or the listing reads carries it.
  bool positions = false;
  bool usable = false;   // pass 1 recorded everything
  size_t limit = 0;      // the most bytes the record may take
  std::vector<RecordChunk> chunks;           // the record, in chunks that never move
  std::vector<ReadFile> files;               // one per name and path: memory follows the
  std::map<std::string, uint32_t> file_of;   // distinct files, not the number of includes entered
  uint64_t key[2] = {};  // the hash's key, new for each run
  std::vector<OpenRead> reading;
  uint8_t* cur = nullptr;       // where the next unit goes in the last chunk
  uint8_t* limit_at = nullptr;  // the last chunk's end
  size_t total = 0;             // bytes of all chunks
  // The next chunk, made ready ahead by `make_spare` (when set, and when it gives one: its
  // pages mapped in before the record reaches it).
  std::unique_ptr<uint8_t[]> spare;
  uint8_t* (*make_spare)(void* context, size_t n) = nullptr;
  void* spare_context = nullptr;
};

// Pass 1: attaches the recorder to the reader and the engine.
void record_start(Recording& rec, size_t limit);
// Pass 1: the action of `production` on entry `base`, which it left as `v` (what the
// recorder hears through the engine's watch; a learned feed tells it directly).
void record_action(Recording& rec, int production, int base, const ParseValue& v);
// The pass loop gave the statement's memory back: so will the replay, here.
void record_statement_end(Recording& rec);
// After pass 1: detaches it.
void record_finish(Recording& rec);
// Before pass 2: whether the record can stand for the source.
bool record_replayable(Recording& rec);
// Pass 2: the recorded actions, made again.
void record_replay(Recording& rec);
