// Micro-benchmarks: the token scanner, the parser engine (whole in-process assemblies), the
// name table, the section dump, and scaling benchmarks whose fitted complexity shows that
// time grows linearly: one long .DB line, labels that all share one bucket, and labels
// whose names were crafted to collide under an unkeyed hash (beside the unkeyed index that
// they do make quadratic).
//
//   micro_bench --benchmark_min_time=0.1
//   micro_bench --benchmark_filter='DbLine|BucketLabels'
//   micro_bench --benchmark_filter='Labels_|UnkeyedIndex'
//
// With XEXASM_BENCH_SOURCE=path/prog.asm the scanner and the whole assembly are also
// measured on that file (for instance prog.asm written by bench/gen_program.py).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <memory>
#include <string>
#include <vector>

#include "assembly/name_table.h"
#include "bench/programs.h"
#include "output/reports.h"
#include "tests/support/run_helper.h"

namespace {

using xtest::OperationRun;

// Captured streams of whole in-process assemblies, reused between iterations.
struct Captures {
  std::string out, err, xex;
};

int assemble(const std::string& source, Captures& c, unsigned fast = FAST_ALL) {
  c.out.clear();
  c.err.clear();
  c.xex.clear();
  RunIO io;
  io.fast = fast;
  io.stdin_text = &source;
  io.stdout_capture = &c.out;
  io.stderr_capture = &c.err;
  io.xex_capture = &c.xex;
  return xexasm_run({}, io);
}

// Assembles once before timing; false (and the benchmark skipped) when the source does not
// assemble cleanly, since the figures of a failing run would mean nothing.
bool assembles_cleanly(benchmark::State& state, const std::string& source, Captures& c, unsigned fast = FAST_ALL) {
  if (assemble(source, c, fast) == 0) return true;
  std::string first = c.err.substr(0, c.err.find('\n', c.err.find('\n') + 1));
  state.SkipWithError(("the generated source does not assemble cleanly: " + first).c_str());
  return false;
}

const GeneratedProgram& program(size_t lines) {
  static std::map<size_t, GeneratedProgram> cache;
  auto it = cache.find(lines);
  if (it == cache.end()) it = cache.emplace(lines, generate_program(lines)).first;
  return it->second;
}

const GeneratedProgram& db_line(size_t items) {
  static std::map<size_t, GeneratedProgram> cache;
  auto it = cache.find(items);
  if (it == cache.end()) it = cache.emplace(items, generate_db_line(items)).first;
  return it->second;
}

const GeneratedProgram& bucket_labels(size_t count) {
  static std::map<size_t, GeneratedProgram> cache;
  auto it = cache.find(count);
  if (it == cache.end()) it = cache.emplace(count, generate_bucket_labels(count)).first;
  return it->second;
}

// ---- Scanner -------------------------------------------------------------------------------

// Whole passes of next_token over a source held in memory (the standard-input path of the
// reader), without the parser.
void scan_source(benchmark::State& state, const std::string& source) {
  auto run = std::make_unique<OperationRun>();
  run->reader.stdin_given = &source;
  int64_t tokens = 0;
  for (auto _ : state) {
    reader_open_source(nullptr);
    int64_t n = 0;
    for (int code = next_token(); code > 0; code = next_token()) n++;
    reader_close_source();
    benchmark::DoNotOptimize(n);
    tokens = n;
  }
  state.SetItemsProcessed(state.iterations() * tokens);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(source.size()));
  state.counters["tokens"] = static_cast<double>(tokens);
}

void BM_Scanner(benchmark::State& state) {
  scan_source(state, program(static_cast<size_t>(state.range(0))).text);
}
BENCHMARK(BM_Scanner)->Arg(100000)->Unit(benchmark::kMillisecond);

// ---- Parser engine: whole assemblies -------------------------------------------------------

// Both passes, the reports and the load file, with every stream captured, with the fast
// layer's mechanisms `fast`: statements of the source per second.
void assemble_source(benchmark::State& state, const std::string& source, size_t statements, size_t lines,
                     unsigned fast = FAST_ALL) {
  Captures c;
  if (!assembles_cleanly(state, source, c, fast)) return;
  for (auto _ : state) {
    int status = assemble(source, c, fast);
    benchmark::DoNotOptimize(status);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(statements));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(source.size()));
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["stdout_MB"] = static_cast<double>(c.out.size()) / 1e6;
}

// With every mechanism of the fast layer (fast:7) and with the plain core alone (fast:0).
void BM_Assemble(benchmark::State& state) {
  const GeneratedProgram& p = program(static_cast<size_t>(state.range(0)));
  assemble_source(state, p.text, p.statements, p.lines, static_cast<unsigned>(state.range(1)));
}
BENCHMARK(BM_Assemble)
    ->ArgNames({"lines", "fast"})
    ->Args({10000, FAST_ALL})
    ->Args({100000, FAST_ALL})
    ->Args({100000, FAST_NONE})
    ->Unit(benchmark::kMillisecond);

// ---- Name table ----------------------------------------------------------------------------

// Inserts N records into a table of 59 buckets and finds each of them again, as the symbol
// table does: items are names inserted and found. The names lie one after the other in one
// block, as the run's memory holds them, so that the figures are the table's own.
void table_insert_find(benchmark::State& state, const std::vector<std::string>& names) {
  std::string pool;
  for (const std::string& name : names) pool.append(name).push_back('\0');
  std::vector<const char*> keys;
  keys.reserve(names.size());
  for (size_t at = 0; at < pool.size(); at += std::strlen(pool.c_str() + at) + 1) keys.push_back(pool.c_str() + at);
  for (auto _ : state) {
    // Memory per round: the records go back only with it.
    state.PauseTiming();
    auto memory = std::make_unique<Arena>();
    state.ResumeTiming();
    NameTable* t = table_create(SYMBOL_BUCKETS);
    for (const char* name : keys) {
      NamedPayload* rec = static_cast<NamedPayload*>(record_alloc(*memory, sizeof(NamedPayload)));
      rec->name = name;
      table_insert(t, rec);
    }
    for (const char* name : keys) benchmark::DoNotOptimize(table_find(t, name));
    table_destroy(t);
    state.PauseTiming();
    memory.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(keys.size()));
  state.SetComplexityN(static_cast<int64_t>(keys.size()));
}

void BM_NameTable_Spread(benchmark::State& state) {
  table_insert_find(state, spread_names(static_cast<size_t>(state.range(0))));
}
BENCHMARK(BM_NameTable_Spread)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);

// Every name falls into the same one of the 59 buckets.
void BM_NameTable_OneBucket(benchmark::State& state) {
  table_insert_find(state, same_bucket_names(static_cast<size_t>(state.range(0))));
}
BENCHMARK(BM_NameTable_OneBucket)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);

// ---- Section dump --------------------------------------------------------------------------

// A section of 64 KiB of mixed bytes, set up as pass 2 leaves it.
Section* section_64k() {
  Section* s = section_open("data", 0x2000);
  s->location_counter = 65536;
  section_alloc_buffer(s);
  std::mt19937 rng(6502);
  for (int32_t i = 0; i < s->size; i++) s->buffer[i] = static_cast<uint8_t>(rng());
  return s;
}

void BM_DumpSections(benchmark::State& state) {
  auto run = std::make_unique<OperationRun>();
  Section* s = section_64k();
  size_t out_bytes = 0;
  for (auto _ : state) {
    run->out.clear();
    dump_sections(g->out, g->sections->table);
    out_flush(g->out);
    out_bytes = run->out.size();
  }
  state.SetBytesProcessed(state.iterations() * s->size);
  state.counters["out_bytes"] = static_cast<double>(out_bytes);
}
BENCHMARK(BM_DumpSections);

void BM_DumpBytes(benchmark::State& state) {
  auto run = std::make_unique<OperationRun>();
  Section* s = section_64k();
  for (auto _ : state) {
    run->out.clear();
    dump_bytes(g->out, s->buffer, s->size);
    out_flush(g->out);
  }
  state.SetBytesProcessed(state.iterations() * s->size);
}
BENCHMARK(BM_DumpBytes);

// ---- Scaling -------------------------------------------------------------------------------

// One .DB line of N items, assembled whole: the fit should be O(N) with a small RMS, and
// items per second the same at every N.
void BM_DbLine(benchmark::State& state) {
  size_t n = static_cast<size_t>(state.range(0));
  const GeneratedProgram& p = db_line(n);
  Captures c;
  if (!assembles_cleanly(state, p.text, c)) return;
  for (auto _ : state) benchmark::DoNotOptimize(assemble(p.text, c));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
  state.SetComplexityN(static_cast<int64_t>(n));
}
BENCHMARK(BM_DbLine)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// N labels whose names all fall into one bucket of the symbol table, each in front of a
// NOP, assembled whole.
void BM_BucketLabels(benchmark::State& state) {
  size_t n = static_cast<size_t>(state.range(0));
  const GeneratedProgram& p = bucket_labels(n);
  Captures c;
  if (!assembles_cleanly(state, p.text, c)) return;
  for (auto _ : state) benchmark::DoNotOptimize(assemble(p.text, c));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
  state.SetComplexityN(static_cast<int64_t>(n));
}
BENCHMARK(BM_BucketLabels)->Arg(10000)->Arg(30000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// ---- Crafted names -------------------------------------------------------------------------

// Names crafted against an unkeyed hash (bench/programs.h) and ordinary numbered names, N of
// each, as labels of a program assembled whole. The name tables' index is keyed anew for
// every table, so the crafted names spread like any others: both fit O(N), with the same
// time per label.
const GeneratedProgram& labels_named(bool crafted, size_t count) {
  static std::map<std::pair<bool, size_t>, GeneratedProgram> cache;
  auto key = std::make_pair(crafted, count);
  auto it = cache.find(key);
  if (it == cache.end())
    it = cache.emplace(key, generate_labels(crafted ? crafted_names(count) : numbered_names(count))).first;
  return it->second;
}

void assemble_labels(benchmark::State& state, bool crafted) {
  size_t n = static_cast<size_t>(state.range(0));
  const GeneratedProgram& p = labels_named(crafted, n);
  Captures c;
  if (!assembles_cleanly(state, p.text, c)) return;
  for (auto _ : state) benchmark::DoNotOptimize(assemble(p.text, c));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
  state.SetComplexityN(static_cast<int64_t>(n));
}

void BM_Labels_Numbered(benchmark::State& state) { assemble_labels(state, false); }
BENCHMARK(BM_Labels_Numbered)->Arg(10000)->Arg(30000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_Labels_Crafted(benchmark::State& state) { assemble_labels(state, true); }
BENCHMARK(BM_Labels_Crafted)->Arg(10000)->Arg(30000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// The reference that shows the crafted names to be hostile: the same names inserted into
// and found in an index with the unkeyed hash (open addressing, linear probing, a name's
// home slot the top bits of its key, at most half full). The crafted names' fit is N^2,
// the numbered names' N.
struct UnkeyedIndex {
  std::vector<const char*> slots = std::vector<const char*>(64, nullptr);
  int bits = 6;
  size_t used = 0;
  size_t slot_of(const char* name) const {
    size_t mask = slots.size() - 1;
    size_t i = static_cast<size_t>(unkeyed_name_key(name, std::strlen(name)) >> (64 - bits));
    while (slots[i] && std::strcmp(slots[i], name) != 0) i = (i + 1) & mask;
    return i;
  }
  void insert(const char* name) {
    if (2 * (used + 1) > slots.size()) {
      std::vector<const char*> old(slots.size() * 2, nullptr);
      old.swap(slots);
      bits++;
      for (const char* n : old)
        if (n) slots[slot_of(n)] = n;
    }
    size_t i = slot_of(name);
    if (!slots[i]) used++;
    slots[i] = name;
  }
};

void unkeyed_insert_find(benchmark::State& state, const std::vector<std::string>& names) {
  for (auto _ : state) {
    UnkeyedIndex x;
    for (const std::string& name : names) x.insert(name.c_str());
    for (const std::string& name : names) benchmark::DoNotOptimize(x.slots[x.slot_of(name.c_str())]);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
  state.SetComplexityN(static_cast<int64_t>(names.size()));
}

void BM_UnkeyedIndex_Numbered(benchmark::State& state) {
  unkeyed_insert_find(state, numbered_names(static_cast<size_t>(state.range(0))));
}
BENCHMARK(BM_UnkeyedIndex_Numbered)->Arg(4000)->Arg(8000)->Arg(16000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_UnkeyedIndex_Crafted(benchmark::State& state) {
  unkeyed_insert_find(state, crafted_names(static_cast<size_t>(state.range(0))));
}
BENCHMARK(BM_UnkeyedIndex_Crafted)->Arg(4000)->Arg(8000)->Arg(16000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::string path;
  static const std::string file = source_from_environment(&path);
  if (!file.empty()) {
    size_t lines = 0;
    for (char ch : file) lines += ch == '\n';
    benchmark::RegisterBenchmark(("BM_Scanner/file:" + path).c_str(),
                                 [](benchmark::State& s) { scan_source(s, file); })
        ->Unit(benchmark::kMillisecond);
    // Statements are not counted in a file; items are lines there.
    benchmark::RegisterBenchmark(("BM_Assemble/file:" + path).c_str(),
                                 [lines](benchmark::State& s) { assemble_source(s, file, lines, lines); })
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
