// Sources for the benchmarks, generated in memory: a realistic program, one long .DB line,
// and labels whose names all fall into one bucket of the symbol table.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct GeneratedProgram {
  std::string text;
  size_t lines = 0;       // source lines
  size_t statements = 0;  // labels, instructions and directives
  size_t labels = 0;
};

// A program of about `lines` lines in this assembler's language: a zero-page and a
// variables section, then code sections (routines with every addressing mode, local labels,
// branches back and forward, JSR/JMP to routines anywhere in the program, comments) and
// data sections (byte tables, strings, character constants, address tables, .DW jump
// tables, .DL tables, reserves). It assembles without a message. Deterministic for a given
// seed.
GeneratedProgram generate_program(size_t lines, uint32_t seed = 6502);

// One section and a single `.DB` line of `items` values (hex, decimal, character constants).
GeneratedProgram generate_db_line(size_t items);

// `count` distinct names, none a keyword, whose name_hash % buckets is the same.
std::vector<std::string> same_bucket_names(size_t count, int buckets = 59);

// `count` labels named by same_bucket_names, each in front of a NOP, with a new section
// every 16384 labels so that no section outgrows the address space.
GeneratedProgram generate_bucket_labels(size_t count);
// The same for labels of the names given.
GeneratedProgram generate_labels(const std::vector<std::string>& names);

// Names crafted against a name index with a fixed, unkeyed hash: the 64-bit mixing that an
// index of open addressing (linear probing, a name's home slot the top bits of its key)
// once used, here so that the benchmarks can show what such names do to it and that they
// do nothing to the keyed index of today's name tables.
uint64_t unkeyed_name_key(const char* name, size_t n);
// n0, n1, n2, ...: `count` ordinary names.
std::vector<std::string> numbered_names(size_t count);
// `count` names of the same kind (n1742, n6254, ...) whose unkeyed keys have their top
// `bits` bits 0, so that in such an index every one of them has its home in the first
// 1/2^bits of the slots, and their probe runs merge into one: each insertion and lookup
// walks the whole run, and N names take time in N^2. One candidate in 2^bits is taken.
std::vector<std::string> crafted_names(size_t count, int bits = 8);

// Names as a program spells its labels (routine names and numbered local labels).
std::vector<std::string> spread_names(size_t count);

// The source of the environment variable XEXASM_BENCH_SOURCE, when it names a readable file
// (for instance prog.asm written by bench/gen_program.py); empty otherwise.
std::string source_from_environment(std::string* path);
