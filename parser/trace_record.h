// Recording the trace of pass 1: the steps made for every action, inline.
#pragma once
#include <cstring>

#include "driver/run.h"
#include "parser/trace.h"

inline void trace_put_varint(uint8_t*& out, uint32_t v) {
  while (v >= 0x80) {
    *out++ = static_cast<uint8_t>(v | 0x80);
    v >>= 7;
  }
  *out++ = static_cast<uint8_t>(v);
}

// Signed values as unsigned ones, small magnitudes small.
constexpr uint32_t trace_zigzag(int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  return (u << 1) ^ (0u - (u >> 31));
}

inline void trace_record(int production, int entry) {
  Trace& t = g->trace;
  int n = t.segment_length;
  if (n >= 8) return trace_long_record(production, entry);
  t.key |= static_cast<uint64_t>(static_cast<uint32_t>(production) | static_cast<uint32_t>(entry) << 8) << (8 * n);
  t.segment_length = n + 2;
}

inline void trace_value(uint32_t v) {
  ChunkedBytes& cb = g->trace.values;
  if (cb.limit - cb.cur < 5 && !chunk_grow(cb, 5)) return;
  trace_put_varint(cb.cur, v);
}

inline int trace_entry(const ParseValue* rhs) { return static_cast<int>(rhs - g->parser.value_stack); }

// The symbol an identifier named: its number + 1, 0 for none.
inline void trace_symbol(const ParseValue* rhs, const Symbol* sym) {
  trace_record(167, trace_entry(rhs));
  trace_value(sym ? sym->number + 1 : 0);
}

// The values that an action reads, without its record (alone for a feed whose shape is
// known): a string, a number's value, an identifier's symbol.
inline void trace_action_values(int production, const ParseValue* rhs) {
  if (production < 162) return;
  if (production == 167) return trace_value(rhs->symbol ? rhs->symbol->number + 1 : 0);
  if (production == 162) return trace_string(rhs->string);
  if (production <= 165) trace_value(trace_zigzag(rhs->integer));
}

// An action that ran on rhs: its record, and the values it reads.
inline void trace_action(int production, const ParseValue* rhs) {
  trace_record(production, trace_entry(rhs));
  trace_action_values(production, rhs);
}

// A feed's shape number, as trace_feed_end wrote it for the same records (n bytes, at most 4).
inline void trace_put_shape(const uint8_t* bytes, int n) {
  ChunkedBytes& cb = g->trace.shapes_used;
  if (cb.limit - cb.cur < 5 && !chunk_grow(cb, 5)) return;
  std::memcpy(cb.cur, bytes, 4);
  cb.cur += n;
}

// A literal whose value was worked out without running its action.
inline void trace_literal(int production, const ParseValue* rhs, int32_t value) {
  trace_record(production, trace_entry(rhs));
  trace_value(trace_zigzag(value));
}

inline size_t trace_memo_slot(uint64_t key) {
  return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 56) & (Trace::MEMO_SIZE - 1);
}

// The end of a token's feed.
inline void trace_feed_end() {
  Trace& t = g->trace;
  int n = t.segment_length;
  if (n == 0) return;
  if (n <= 8) {
    const Trace::Memo& m = t.memo[trace_memo_slot(t.key)];
    ChunkedBytes& cb = t.shapes_used;
    if (m.key == t.key && cb.limit - cb.cur >= 2) {
      cb.cur[0] = static_cast<uint8_t>(m.bytes);
      cb.cur[1] = static_cast<uint8_t>(m.bytes >> 8);
      cb.cur += m.length;
      t.segment_length = 0;
      t.key = 0;
      return;
    }
  }
  trace_feed_close();
}
