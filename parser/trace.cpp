// The trace of pass 1's parse and its replay in pass 2.
#include "parser/trace.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "assembly/data.h"
#include "assembly/encode.h"
#include "driver/run.h"
#include "parser/trace_record.h"

namespace {

constexpr uint32_t INCLUDE_SHAPE = 0;

constexpr uint64_t HASH_K = 0x9E3779B97F4A7C15ull;

inline uint64_t mix_word(uint64_t h, uint64_t w) {
  h = (h ^ w) * HASH_K;
  return h ^ (h >> 32);
}

inline uint32_t get_varint(const uint8_t*& p) {
  uint32_t v = *p++;
  if (v < 0x80) return v;
  v &= 0x7F;
  for (int shift = 7;; shift += 7) {
    uint32_t b = *p++;
    v |= (b & 0x7F) << shift;
    if (b < 0x80) return v;
  }
}

// The next whole word of a file, into the lane whose turn it is.
inline void add_word(InputRecord& rec, uint64_t w) {
  rec.lanes[rec.lane] = mix_word(rec.lanes[rec.lane], w);
  rec.lane = (rec.lane + 1) & 3;
}

int32_t unzigzag(uint32_t u) { return static_cast<int32_t>((u >> 1) ^ (0u - (u & 1))); }

void clear(ChunkedBytes& cb) {
  // The chunks lie in the run's region, which keeps them to the end: their pages go back.
  for (uint8_t* chunk : cb.chunks) ::madvise(chunk, ChunkedBytes::CHUNK, MADV_DONTNEED);
  cb.chunks.clear();
  cb.used.clear();
  cb.cur = cb.limit = nullptr;
}

void abandon() {
  Trace& t = g->trace;
  t.recording = false;
  t.usable = false;
  clear(t.shapes_used);
  clear(t.values);
  t.shape_bytes.clear();
  t.shape_start.clear();
  t.shape_slots.clear();
  t.includes.clear();
  t.total = 0;
}

uint32_t bytes_hash(const uint8_t* bytes, int n) {
  uint32_t h = 2166136261u;
  for (int i = 0; i < n; i++) h = (h ^ bytes[i]) * 16777619u;
  return h;
}

uint32_t add_shape(const uint8_t* bytes, int n) {
  Trace& t = g->trace;
  uint32_t id = static_cast<uint32_t>(t.shape_start.size() - 1);
  t.shape_bytes.insert(t.shape_bytes.end(), bytes, bytes + n);
  t.shape_start.push_back(static_cast<uint32_t>(t.shape_bytes.size()));
  return id;
}

// The number of the shape with these records, added when it is new.
uint32_t intern_shape(const uint8_t* bytes, int n) {
  Trace& t = g->trace;
  size_t mask = t.shape_slots.size() - 1;
  size_t i = bytes_hash(bytes, n) & mask;
  for (;; i = (i + 1) & mask) {
    uint32_t id = t.shape_slots[i];
    if (id == 0) break;
    uint32_t from = t.shape_start[id], to = t.shape_start[id + 1];
    if (to - from == static_cast<uint32_t>(n) && std::memcmp(&t.shape_bytes[from], bytes, static_cast<size_t>(n)) == 0)
      return id;
  }
  uint32_t id = add_shape(bytes, n);
  t.shape_slots[i] = id;
  if (++t.shape_count * 2 > t.shape_slots.size()) {
    std::vector<uint32_t> slots(t.shape_slots.size() * 2, 0);
    size_t m = slots.size() - 1;
    for (uint32_t k : t.shape_slots) {
      if (k == 0) continue;
      uint32_t from = t.shape_start[k], to = t.shape_start[k + 1];
      size_t j = bytes_hash(&t.shape_bytes[from], static_cast<int>(to - from)) & m;
      while (slots[j] != 0) j = (j + 1) & m;
      slots[j] = k;
    }
    t.shape_slots.swap(slots);
  }
  return id;
}

void put_shape(uint32_t id) {
  ChunkedBytes& cb = g->trace.shapes_used;
  if (cb.limit - cb.cur < 5 && !chunk_grow(cb, 5)) return;
  trace_put_varint(cb.cur, id);
}

}  // namespace

bool chunk_grow(ChunkedBytes& cb, size_t n) {
  Trace& t = g->trace;
  if (!t.recording) return false;
  if (t.total + ChunkedBytes::CHUNK > g->io.trace_limit || n > ChunkedBytes::CHUNK) {
    abandon();
    return false;
  }
  if (!cb.chunks.empty()) cb.used.push_back(static_cast<size_t>(cb.cur - cb.chunks.back()));
  cb.chunks.push_back(static_cast<uint8_t*>(region_alloc(ChunkedBytes::CHUNK)));
  cb.cur = cb.chunks.back();
  cb.limit = cb.cur + ChunkedBytes::CHUNK;
  t.total += ChunkedBytes::CHUNK;
  return true;
}

void trace_long_record(int production, int entry) {
  Trace& t = g->trace;
  int n = t.segment_length;
  if (n + 2 > Trace::SEGMENT_LIMIT) return abandon();
  if (n == 8)
    for (int k = 0; k < 8; k++) t.segment[k] = static_cast<uint8_t>(t.key >> (8 * k));
  t.segment[n] = static_cast<uint8_t>(production);
  t.segment[n + 1] = static_cast<uint8_t>(entry);
  t.segment_length = n + 2;
}

void trace_feed_close() {
  Trace& t = g->trace;
  int n = t.segment_length;
  uint32_t id;
  if (n <= 8) {
    uint8_t bytes[8];
    for (int k = 0; k < n; k++) bytes[k] = static_cast<uint8_t>(t.key >> (8 * k));
    id = intern_shape(bytes, n);
    if (id < 0x80)
      t.memo[trace_memo_slot(t.key)] = Trace::Memo{t.key, static_cast<uint16_t>(id), 1};
    else if (id < 0x4000)
      t.memo[trace_memo_slot(t.key)] =
          Trace::Memo{t.key, static_cast<uint16_t>((id & 0x7F) | 0x80 | (id >> 7) << 8), 2};
  } else {
    id = intern_shape(t.segment, n);
  }
  t.segment_length = 0;
  t.key = 0;
  put_shape(id);
}

void trace_string(const char* s) {
  size_t n = std::strlen(s);
  ChunkedBytes& cb = g->trace.values;
  if (static_cast<size_t>(cb.limit - cb.cur) < n + 6 && !chunk_grow(cb, n + 6)) return;
  trace_put_varint(cb.cur, static_cast<uint32_t>(n));
  std::memcpy(cb.cur, s, n + 1);  // with its NUL, for the replay to use in place
  cb.cur += n + 1;
}

// Four words at a time in four lanes, so that the multiplications overlap; the lanes are
// folded together when the hash is asked for.
void input_record_bytes(InputRecord& rec, const unsigned char* bytes, size_t n) {
  rec.size += n;
  while (n > 0 && rec.pending_count != 0) {
    rec.pending |= static_cast<uint64_t>(*bytes++) << (8 * rec.pending_count);
    n--;
    if (++rec.pending_count == 8) {
      add_word(rec, rec.pending);
      rec.pending = 0;
      rec.pending_count = 0;
    }
  }
  while (n >= 8 && rec.lane != 0) {
    uint64_t w;
    std::memcpy(&w, bytes, 8);
    add_word(rec, w);
    bytes += 8;
    n -= 8;
  }
  uint64_t h0 = rec.lanes[0], h1 = rec.lanes[1], h2 = rec.lanes[2], h3 = rec.lanes[3];
  for (; n >= 32; n -= 32, bytes += 32) {
    uint64_t w[4];
    std::memcpy(w, bytes, 32);
    h0 = mix_word(h0, w[0]);
    h1 = mix_word(h1, w[1]);
    h2 = mix_word(h2, w[2]);
    h3 = mix_word(h3, w[3]);
  }
  rec.lanes[0] = h0;
  rec.lanes[1] = h1;
  rec.lanes[2] = h2;
  rec.lanes[3] = h3;
  for (; n >= 8; n -= 8, bytes += 8) {
    uint64_t w;
    std::memcpy(&w, bytes, 8);
    add_word(rec, w);
  }
  for (; n > 0; n--) rec.pending |= static_cast<uint64_t>(*bytes++) << (8 * rec.pending_count++);
}

uint64_t input_record_hash(const InputRecord& rec) {
  uint64_t h = mix_word(rec.lanes[0], rec.lanes[1]);
  h = mix_word(h, rec.lanes[2]);
  h = mix_word(h, rec.lanes[3]);
  h = mix_word(h, static_cast<uint64_t>(rec.lane));
  return mix_word(mix_word(h, rec.pending), rec.size);
}

void trace_start() {
  abandon();
  Trace& t = g->trace;
  t.recording = true;
  t.usable = true;
  t.segment_length = 0;
  t.key = 0;
  t.shape_start.assign(2, 0);  // shape 0, the include switch, has no records
  t.shape_slots.assign(256, 0);
  t.shape_count = 0;
  for (Trace::Memo& m : t.memo) m = Trace::Memo{0, 0, 0};  // key 0 is no shape's
}

void trace_include(const char* name) {
  Trace& t = g->trace;
  if (t.segment_length != 0) trace_feed_close();
  if (!t.recording) return;
  put_shape(INCLUDE_SHAPE);
  trace_value(static_cast<uint32_t>(t.includes.size()));
  t.includes.emplace_back(name);
}

void trace_finish() {
  Trace& t = g->trace;
  if (t.recording && t.segment_length != 0) trace_feed_close();
  t.recording = false;
  if (!t.usable) return abandon();
  for (ChunkedBytes* cb : {&t.shapes_used, &t.values})
    if (!cb->chunks.empty()) cb->used.push_back(static_cast<size_t>(cb->cur - cb->chunks.back()));
}

// Whether a file still holds the bytes that pass 1 read from it.
static bool input_unchanged(const InputRecord& rec) {
  if (!rec.regular) return false;
  int fd = ::open(rec.name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) >= rec.size;
  if (same && rec.at_end && static_cast<uint64_t>(st.st_size) != rec.size) same = false;
  InputRecord now;
  std::unique_ptr<unsigned char[]> block;
  if (same) block = std::make_unique_for_overwrite<unsigned char[]>(size_t{1} << 16);
  while (same && now.size < rec.size) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(rec.size - now.size, uint64_t{1} << 16));
    ssize_t n;
    do {
      n = ::read(fd, block.get(), want);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
      same = false;
      break;
    }
    input_record_bytes(now, block.get(), static_cast<size_t>(n));
  }
  if (same && rec.at_end) {
    unsigned char extra;
    ssize_t n;
    do {
      n = ::read(fd, &extra, 1);
    } while (n < 0 && errno == EINTR);
    if (n != 0) same = false;
  }
  ::close(fd);
  return same && input_record_hash(now) == input_record_hash(rec);
}

bool trace_replayable() {
  if (!g->trace.usable || g->debug || g->error_count != 0 || g->io.parse_twice) return false;
  for (const InputRecord& rec : g->inputs)
    if (!input_unchanged(rec)) return false;
  return true;
}

namespace {

struct CompiledStep {
  uint8_t kind;
  uint8_t entry;
  uint8_t operand;
  uint8_t a;
  uint8_t b;
};

// Every shape as the steps that carry it out; shape k spans start[k] to start[k+1].
void compile_shapes(const Trace& t, std::vector<CompiledStep>& steps, std::vector<uint32_t>& start) {
  size_t shapes = t.shape_start.size() - 1;
  start.assign(shapes + 1, 0);
  steps.reserve(t.shape_bytes.size() / 2);
  for (size_t k = 0; k < shapes; k++) {
    start[k] = static_cast<uint32_t>(steps.size());
    const uint8_t* r = t.shape_bytes.data() + t.shape_start[k];
    const uint8_t* end = t.shape_bytes.data() + t.shape_start[k + 1];
    for (; r < end; r += 2) {
      int production = r[0];
      uint8_t entry = r[1];
      bool next_same = r + 2 < end && r[3] == entry;
      ReplayStep step = replay_step_of(production);
      if (step.kind == REPLAY_SYMBOL && next_same && r[2] == 159) {
        steps.push_back({REPLAY_SYMBOL_OPERAND, entry, 0, 0, 0});
        r += 2;
        continue;
      }
      if (step.kind == REPLAY_SYMBOL && next_same && r[2] == 166) {
        steps.push_back({REPLAY_LABEL, entry, 0, 0, 0});
        r += 2;
        continue;
      }
      if (step.kind == REPLAY_INT && next_same && r[2] == 160) {
        steps.push_back({REPLAY_INT_OPERAND, entry, 0, 0, 0});
        r += 2;
        continue;
      }
      steps.push_back({step.kind, entry, step.operand, step.a, step.b});
    }
  }
  start[shapes] = static_cast<uint32_t>(steps.size());
}

}  // namespace

void trace_replay() {
  Trace& t = g->trace;
  parser_start();
  arena_reset(g->statement);
  std::vector<CompiledStep> steps;
  std::vector<uint32_t> start;
  compile_shapes(t, steps, start);
  ParseValue* stack = g->parser.value_stack;
  Symbol* const* symbols = g->symbol_list.data();
  size_t symbol_count = g->symbol_list.size();
  // The items of the data list being built: one at a time, linked when its directive runs.
  std::vector<DataItem> items;
  // The value stream, read along with the shapes.
  size_t value_chunk = 0;
  const uint8_t* vp = nullptr;
  const uint8_t* vend = nullptr;
  auto value = [&]() -> uint32_t {
    while (vp == vend && value_chunk < t.values.chunks.size()) {
      vp = t.values.chunks[value_chunk];
      vend = vp + t.values.used[value_chunk];
      value_chunk++;
    }
    return get_varint(vp);
  };
  auto next_symbol = [&]() -> Symbol* {
    uint32_t k = value();
    return k != 0 && k <= symbol_count ? symbols[k - 1] : nullptr;
  };
  // Pass 2 changes no symbol's value: what symbol_value gives, for every symbol by number,
  // in one small array (the records lie all over memory; this is read in their order once).
  std::vector<uint32_t> known(symbol_count);
  for (size_t k = 0; k < symbol_count; k++)
    known[k] = static_cast<uint32_t>(symbols[k]->value) | (symbols[k]->defined ? 0x10000u : 0u);
  for (size_t c = 0; c < t.shapes_used.chunks.size(); c++) {
    const uint8_t* p = t.shapes_used.chunks[c];
    const uint8_t* end = p + t.shapes_used.used[c];
    while (p < end) {
      uint32_t id = get_varint(p);
      if (id == INCLUDE_SHAPE) {
        const std::string& name = t.includes[value()];
        out_write(g->out, name.data(), name.size());
        out_putc(g->out, '\n');
        continue;
      }
      const CompiledStep* st = steps.data() + start[id];
      const CompiledStep* st_end = steps.data() + start[id + 1];
      for (; st < st_end; st++) {
        ParseValue* v = &stack[st->entry];
        switch (st->kind) {
          case REPLAY_SYMBOL_OPERAND: {
            uint32_t k = value();
            if (k == 0 || k > symbol_count) {
              v->expr = ExprValue{0, 0};
              break;
            }
            uint32_t w = known[k - 1];
            if (!(w >> 16)) {
              v->expr = symbol_value(symbols[k - 1]);  // reports it
              break;
            }
            v->expr = ExprValue{static_cast<int32_t>(w & 0xFFFF), 1};
            break;
          }
          case REPLAY_INT_OPERAND:
            v->expr = expr_number(unzigzag(value()));
            break;
          case REPLAY_LABEL: {
            // A label where pass 1 put it needs no more than its value from `known`.
            uint32_t k = value();
            const Section* sec = g->current_section;
            if (k != 0 && k <= symbol_count && sec) {
              uint32_t w = known[k - 1];
              uint32_t address = static_cast<uint32_t>(sec->start) + static_cast<uint32_t>(sec->location_counter);
              if ((w >> 16) && address == (w & 0xFFFF)) {
                v->expr = ExprValue{static_cast<int32_t>(w & 0xFFFF), 1};
                break;
              }
            }
            v->symbol = k != 0 && k <= symbol_count ? symbols[k - 1] : nullptr;
            run_action(166, v);
            break;
          }
          case REPLAY_SYMBOL:
            v->symbol = next_symbol();
            break;
          case REPLAY_INT:
            v->integer = unzigzag(value());
            break;
          case REPLAY_STRING: {
            uint32_t n = value();
            v->string = reinterpret_cast<const char*>(vp);  // kept with its NUL
            vp += n + 1;
            break;
          }
          case REPLAY_SYMBOL_VALUE:
            v->expr = symbol_value(v->symbol);
            break;
          case REPLAY_NUMBER:
            v->expr = expr_number(v->integer);
            break;
          case REPLAY_OPCODE:
            emit_opcode(2, st->a, g->current_section);
            break;
          case REPLAY_BYTE:
            emit_byte_operand(2, st->a, v[st->operand].expr, g->current_section);
            break;
          case REPLAY_WORD:
            emit_word_operand(2, st->a, v[st->operand].expr, g->current_section);
            break;
          case REPLAY_BRANCH:
            emit_branch(2, st->a, v[st->operand].expr, g->current_section);
            break;
          case REPLAY_PAIR:
            emit_zp_or_abs(st->a, st->b, v[st->operand].expr);
            break;
          case REPLAY_ITEM_VALUE:
            items.push_back(DataItem{DATA_VALUE, nullptr, v->expr, nullptr});
            break;
          case REPLAY_ITEM_STRING:
            items.push_back(DataItem{DATA_STRING, nullptr, ExprValue{0, 0}, v->string});
            break;
          case REPLAY_APPEND:
            break;
          case REPLAY_CELLS: {
            for (size_t i = 0; i + 1 < items.size(); i++) items[i].next = &items[i + 1];
            DataList list{items.empty() ? nullptr : &items.front(), {items.empty() ? nullptr : &items.back()}};
            if (st->a == 1) directive_db(2, list, g->current_section);
            else if (st->a == 2) directive_dw(2, list, g->current_section);
            else directive_dl(2, list, g->current_section);
            items.clear();
            break;
          }
          default:
            run_action(st->a, v);
            break;
        }
      }
    }
  }
  g->parser.status = PARSE_ACCEPTED;
}
