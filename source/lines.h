// The lines that the first pass read, for the listing: the bytes of every input and where
// each INCLUDE entered another one. Kept only when a listing is asked for (Run::lines).
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// An include entered: after `line` of the including input, the input `input` was read.
struct Entered {
  int32_t line;
  int32_t input;
};

// One input of the first pass, by its number (SrcPos::input).
struct LoggedInput {
  int32_t depth = 0;              // 0 for the source, 1 for a file it includes, ...
  uint32_t text = 0;              // its bytes: LineLog::texts[text]
  std::vector<Entered> entered;   // the includes it entered, in order
};

struct LineLog {
  std::vector<LoggedInput> inputs;
  // The bytes read, as read (carriage returns and $1A in them). A regular file's bytes are
  // kept once, for every opening of its path; anything else's for each opening.
  std::vector<std::string> texts;
  std::unordered_map<std::string, uint32_t> text_of_path;
};
