// Sources for the benchmarks, generated in memory.
#include "bench/programs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "assembly/name_table.h"

namespace {

const char* const VERBS[] = {"clear", "copy", "fill",  "read", "write", "show",   "hide",  "test",
                             "wait",  "init", "check", "mix",  "calc",  "update", "shift", "play"};
const char* const NOUNS[] = {"dli",   "line",  "char",   "ball",  "key",    "music", "screen", "table",
                             "voice", "timer", "player", "map",   "buffer", "wall",  "text",   "score"};
const char* const WORDS[] = {"lives", "score", "next", "ready", "bonus", "round", "level",
                             "game",  "over",  "ok",   "atari", "paused", "please", "hard"};
const char* const IMPLIED[] = {"INX", "INY", "DEX", "DEY", "CLC", "SEC", "PHA", "PLA", "TAX", "TAY",
                               "TXA", "TYA", "PHP", "PLP", "CLD", "CLI", "SEI", "CLV", "NOP", "TSX"};
const char* const BRANCHES[] = {"BNE", "BEQ", "BCC", "BCS", "BPL", "BMI", "BVC", "BVS"};
const char* const ALU[] = {"LDA", "ORA", "AND", "EOR", "ADC", "CMP", "SBC"};
const char* const SHIFTS[] = {"ASL", "LSR", "ROL", "ROR"};

template <size_t N>
const char* pick(std::mt19937& rng, const char* const (&list)[N]) {
  return list[rng() % N];
}

std::string routine_name(size_t i) {
  return std::string(VERBS[i % 16]) + "_" + NOUNS[(i / 16 + i * 7) % 16] + "_" + std::to_string(i);
}

struct Writer {
  std::string& text;
  std::mt19937 rng;
  size_t lines = 0;
  size_t statements = 0;
  size_t labels = 0;

  void line(const std::string& s) {
    text += s;
    text += '\n';
    lines++;
  }
  unsigned below(unsigned n) { return static_cast<unsigned>(rng() % n); }
  std::string hex2(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "$%02X", v & 0xFF);
    return b;
  }
  std::string hex4(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "$%04X", v & 0xFFFF);
    return b;
  }
  std::string comment() {
    if (below(4) != 0) return "";
    std::string c = "  ;";
    for (unsigned i = 0, n = 1 + below(4); i < n; i++) c += std::string(" ") + pick(rng, WORDS);
    return c;
  }
  std::string letter() { return std::string(1, static_cast<char>('A' + below(26))); }
};

}  // namespace

GeneratedProgram generate_program(size_t lines, uint32_t seed) {
  GeneratedProgram prog;
  prog.text.reserve(lines * 24);
  Writer w{prog.text, std::mt19937(seed)};

  const size_t ROUTINE_LINES = 24, CODE_SECTION_LINES = 320, DATA_SECTION_LINES = 60;
  // Routines take about 80 % of the lines; the rest are data and the two variable sections.
  size_t routine_count = std::max<size_t>(2, lines * 8 / 10 / ROUTINE_LINES);

  w.line("; generated for the benchmarks");
  w.line(".SECTION \"zp\",$0080");
  w.statements++;
  for (int i = 0; i < 16; i++, w.statements += 2, w.labels++) w.line("zp_b" + std::to_string(i) + ": .DS 1");
  for (int i = 0; i < 8; i++, w.statements += 2, w.labels++) w.line("zp_p" + std::to_string(i) + ": .DS 2");
  w.line(".SECTION \"vars\",$0400");
  w.statements++;
  for (int i = 0; i < 4; i++, w.statements += 2, w.labels++) w.line("vec" + std::to_string(i) + ": .DS 2");
  for (int i = 0; i < 32; i++, w.statements += 2, w.labels++)
    w.line("v_" + std::to_string(i) + ": .DS " + std::to_string(1 + w.below(2)));

  std::vector<std::string> tables;  // data labels already defined (absolute, known in pass 1)
  auto any_routine = [&] { return routine_name(w.below(static_cast<unsigned>(routine_count))); };
  auto zp_byte = [&] { return "zp_b" + std::to_string(w.below(16)); };
  auto zp_ptr = [&] { return "zp_p" + std::to_string(w.below(8)); };
  auto absolute = [&] {
    if (!tables.empty() && w.below(3) == 0)
      return tables[w.below(static_cast<unsigned>(tables.size()))] + (w.below(2) ? "+" + std::to_string(w.below(8)) : "");
    return "v_" + std::to_string(w.below(32));
  };
  auto immediate = [&]() -> std::string {
    switch (w.below(6)) {
      case 0: return "#" + std::to_string(w.below(256));
      case 1: return "#'" + w.letter();
      case 2: return "#>" + any_routine();
      case 3: return "#<" + any_routine();
      default: return "#" + w.hex2(w.below(256));
    }
  };

  size_t routine = 0, section = 0;
  while (routine < routine_count || w.lines < lines) {
    unsigned base = 0x2000 + static_cast<unsigned>(section % 20) * 0x0800;
    w.line(".SECTION \"code" + std::to_string(section) + "\"," + w.hex4(base));
    w.statements++;
    size_t section_end = w.lines + CODE_SECTION_LINES;
    while (w.lines < section_end && (routine < routine_count || w.lines < lines)) {
      std::string name = routine_name(routine);
      if (routine >= routine_count) routine_count = routine + 1;  // more lines wanted: more routines
      w.line("; ---- " + name + " - " + pick(w.rng, WORDS) + " " + pick(w.rng, WORDS) + " ----");
      size_t n = ROUTINE_LINES - 4 + w.below(8);
      size_t locals = (n - 1) / 8;  // local labels at every eighth line after the entry
      for (size_t k = 0; k < n; k++) {
        std::string head;
        if (k == 0) {
          head = name + ":";
          w.labels++;
          w.statements++;
        } else if (k % 8 == 0) {
          head = name + "_l" + std::to_string(k / 8) + ":";
          w.labels++;
          w.statements++;
        }
        head.resize(std::max<size_t>(head.size() + 1, 8), ' ');
        std::string ins;
        if (k == n - 1) {
          ins = "RTS";
        } else {
          switch (w.below(20)) {
            case 0: case 1: ins = std::string(pick(w.rng, ALU)) + " " + immediate(); break;
            case 2: case 3: ins = std::string(pick(w.rng, ALU)) + " " + zp_byte(); break;
            case 4: ins = std::string(pick(w.rng, ALU)) + " " + zp_byte() + ",X"; break;
            case 5: ins = std::string(pick(w.rng, ALU)) + " " + absolute(); break;
            case 6: ins = std::string(pick(w.rng, ALU)) + " " + absolute() + (w.below(2) ? ",X" : ",Y"); break;
            case 7: ins = std::string(pick(w.rng, ALU)) + " (" + zp_ptr() + ",X)"; break;
            case 8: ins = std::string(pick(w.rng, ALU)) + " (" + zp_ptr() + "),Y"; break;
            case 9: ins = std::string(w.below(2) ? "STA " : "STX ") + zp_byte(); break;
            case 10: ins = std::string(w.below(2) ? "STA " : "STY ") + absolute(); break;
            case 11: ins = "STA (" + zp_ptr() + "),Y"; break;
            case 12: ins = std::string(w.below(2) ? "LDX " : "LDY ") + immediate(); break;
            case 13: ins = std::string(w.below(2) ? "LDX " : "STX ") + zp_byte() + ",Y"; break;
            case 14: ins = std::string(pick(w.rng, SHIFTS)) + (w.below(2) ? " A" : " " + zp_byte()); break;
            case 15: ins = std::string(w.below(2) ? "INC " : "DEC ") + (w.below(2) ? zp_byte() : absolute()); break;
            case 16: ins = pick(w.rng, IMPLIED); break;
            case 17: {
              // A local label of this routine, before or after: always in range.
              size_t target = 1 + w.below(static_cast<unsigned>(std::max<size_t>(locals, 1)));
              ins = std::string(pick(w.rng, BRANCHES)) + " " +
                    (locals ? name + "_l" + std::to_string(target) : name);
              break;
            }
            case 18: ins = (w.below(4) ? "JSR " : "JMP ") + any_routine(); break;
            default:
              switch (w.below(5)) {
                case 0: ins = "CPX #" + w.hex2(w.below(256)); break;
                case 1: ins = "CPY " + zp_byte(); break;
                case 2: ins = "BIT " + (w.below(2) ? zp_byte() : absolute()); break;
                case 3: ins = "LDY " + zp_byte() + ",X"; break;
                default: ins = "JMP (vec" + std::to_string(w.below(4)) + ")"; break;
              }
              break;
          }
        }
        w.statements++;
        w.line(head + ins + w.comment());
      }
      routine++;
    }

    // The data section that follows the code section.
    w.line(".SECTION \"data" + std::to_string(section) + "\"," + w.hex4(base + 0x0600));
    w.statements++;
    section_end = w.lines + DATA_SECTION_LINES;
    for (size_t t = 0; w.lines < section_end; t++) {
      std::string label;
      switch (w.below(8)) {
        case 0: {  // a reserve
          label = "res_" + std::to_string(section) + "_" + std::to_string(t);
          w.line(label + ": .DS " + std::to_string(16 << w.below(4)));
          w.statements += 2;
          break;
        }
        case 1: {  // strings
          label = "str_" + std::to_string(section) + "_" + std::to_string(t);
          std::string s;
          for (unsigned i = 0, n = 1 + w.below(4); i < n; i++) {
            std::string word = pick(w.rng, WORDS);
            std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::toupper(c); });
            s += (i ? " " : "") + word;
          }
          w.line(label + ": .DB \"" + s + "\",0");
          w.statements += 2;
          break;
        }
        case 2: {  // a jump table
          label = "jt_" + std::to_string(section) + "_" + std::to_string(t);
          w.line("; jump table " + label);
          for (unsigned r = 0, rows = 2 + w.below(5); r < rows; r++) {
            std::string row = r == 0 ? label + ": .DW " : "        .DW ";
            for (unsigned i = 0, n = 3 + w.below(6); i < n; i++) {
              if (i) row += ',';
              unsigned kind = w.below(6);
              row += kind == 0 ? w.hex4(w.below(65536)) : any_routine() + (kind == 1 ? "-1" : "");
            }
            w.line(row);
            w.statements++;
          }
          w.statements++;
          break;
        }
        case 3: {  // a table of longs: addresses, large and negative numbers, a string
          label = "long_" + std::to_string(section) + "_" + std::to_string(t);
          std::string row = label + ": .DL ";
          for (unsigned i = 0, n = 2 + w.below(4); i < n; i++) {
            if (i) row += ',';
            switch (w.below(4)) {
              case 0: row += any_routine(); break;
              case 1: row += w.hex4(w.below(65536)) + "*" + std::to_string(1 + w.below(70000)); break;
              case 2: row += "-" + std::to_string(w.below(100000)); break;
              default: row += std::string("\"") + pick(w.rng, WORDS) + "\""; break;
            }
          }
          w.line(row);
          w.statements += 2;
          break;
        }
        default: {  // a byte table
          label = "tbl_" + std::to_string(section) + "_" + std::to_string(t);
          w.line("; table " + label);
          for (unsigned r = 0, rows = 3 + w.below(10); r < rows; r++) {
            std::string row = r == 0 ? label + ": .DB " : "        .DB ";
            for (unsigned i = 0, n = 6 + w.below(7); i < n; i++) {
              if (i) row += ',';
              switch (w.below(10)) {
                case 0: row.append("'").append(w.letter()); break;
                case 1: row.append(">").append(any_routine()); break;
                case 2: row.append("<").append(any_routine()); break;
                case 3:
                  row.append("[").append(std::to_string(w.below(10))).append("+");
                  row.append(std::to_string(w.below(10))).append("]*3");
                  break;
                case 4: case 5: case 6: row += std::to_string(w.below(256)); break;
                default: row += w.hex2(w.below(256)); break;
              }
            }
            w.line(row);
            w.statements++;
          }
          w.statements++;
          break;
        }
      }
      w.labels++;
      tables.push_back(label);
    }
    section++;
  }
  prog.lines = w.lines;
  prog.statements = w.statements;
  prog.labels = w.labels;
  return prog;
}

GeneratedProgram generate_db_line(size_t items) {
  GeneratedProgram prog;
  prog.text.reserve(items * 4 + 64);
  prog.text += ".SECTION \"table\",$2000\n        .DB ";
  char b[16];
  for (size_t i = 0; i < items; i++) {
    if (i) prog.text += ',';
    unsigned v = static_cast<unsigned>((i * 37 + 11) & 0xFF);
    switch (i % 3) {
      case 0: std::snprintf(b, sizeof b, "$%02X", v); break;
      case 1: std::snprintf(b, sizeof b, "%u", v); break;
      default: std::snprintf(b, sizeof b, "'%c", static_cast<char>('A' + v % 26)); break;
    }
    prog.text += b;
  }
  prog.text += '\n';
  prog.lines = 2;
  prog.statements = 2;
  return prog;
}

std::vector<std::string> same_bucket_names(size_t count, int buckets) {
  auto candidate = [](size_t i) { return "lbl_" + std::to_string(i); };
  // The fullest bucket among the first candidates, so that few candidates are thrown away.
  std::vector<size_t> hits(static_cast<size_t>(buckets), 0);
  for (size_t i = 0; i < 10000; i++) hits[name_hash(candidate(i).c_str()) % buckets]++;
  size_t target = static_cast<size_t>(std::max_element(hits.begin(), hits.end()) - hits.begin());
  std::vector<std::string> names;
  names.reserve(count);
  for (size_t i = 0; names.size() < count; i++) {
    std::string name = candidate(i);
    if (name_hash(name.c_str()) % buckets == target) names.push_back(std::move(name));
  }
  return names;
}

GeneratedProgram generate_bucket_labels(size_t count) { return generate_labels(same_bucket_names(count)); }

GeneratedProgram generate_labels(const std::vector<std::string>& names) {
  GeneratedProgram prog;
  prog.text.reserve(names.size() * 20);
  for (size_t i = 0; i < names.size(); i++) {
    if (i % 16384 == 0) {
      prog.text += ".SECTION \"s" + std::to_string(i / 16384) + "\",$2000\n";
      prog.lines++;
      prog.statements++;
    }
    prog.text += names[i];
    prog.text += ": NOP\n";
    prog.lines++;
    prog.statements += 2;
  }
  prog.labels = names.size();
  return prog;
}

uint64_t unkeyed_name_key(const char* name, size_t n) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
  uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
  for (; n >= 8; n -= 8, p += 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xbf58476d1ce4e5b9ull;
    h ^= h >> 31;
  }
  if (n > 0) {
    uint64_t w = 0;
    for (size_t i = 0; i < n; i++) w |= static_cast<uint64_t>(p[i]) << (8 * i);
    h = (h ^ w) * 0xbf58476d1ce4e5b9ull;
    h ^= h >> 31;
  }
  h ^= h >> 29;
  h *= 0x94d049bb133111ebull;
  h ^= h >> 32;
  return h | 1;
}

std::vector<std::string> numbered_names(size_t count) {
  std::vector<std::string> names;
  names.reserve(count);
  for (size_t i = 0; i < count; i++) names.push_back("n" + std::to_string(i));
  return names;
}

std::vector<std::string> crafted_names(size_t count, int bits) {
  std::vector<std::string> names;
  names.reserve(count);
  for (uint64_t i = 0; names.size() < count; i++) {
    std::string name = "n" + std::to_string(i);
    if (unkeyed_name_key(name.data(), name.size()) >> (64 - bits) == 0) names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::string> spread_names(size_t count) {
  std::vector<std::string> names;
  names.reserve(count);
  for (size_t i = 0; names.size() < count; i++) {
    std::string r = routine_name(i);
    names.push_back(r);
    for (int k = 1; k <= 2 && names.size() < count; k++) names.push_back(r + "_l" + std::to_string(k));
  }
  return names;
}

std::string source_from_environment(std::string* path) {
  const char* p = std::getenv("XEXASM_BENCH_SOURCE");
  if (!p || !*p) return "";
  std::ifstream in(p, std::ios::binary);
  if (!in) return "";
  if (path) *path = p;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
