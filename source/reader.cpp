// Source reader and include stack.
#include "source/reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/diag.h"
#include "source/lines.h"

static constexpr size_t BLOCK = 1 << 16;

InputStream::~InputStream() {
  if (fd >= 0 && !is_stdin) ::close(fd);
}

void reader_init(int capacity) {
  Reader& r = *g->reader;
  r.unget_capacity = capacity;
  r.unget.clear();
  r.unget.reserve(static_cast<size_t>(capacity));
  r.include_stack.clear();
  r.include_stack.reserve(INCLUDE_CAPACITY);
  r.source_opens = 0;
  r.kept.clear();
  r.written.clear();
  r.included.clear();
  r.included_seen.clear();
}

int include_depth() { return static_cast<int>(g->reader->include_stack.size()); }

// An input that could not be opened or read stops the run.
[[noreturn]] static void read_failed(const InputStream& in) {
  if (in.is_include) fatal("Could not open Include File %s\n", in.name.c_str());
  if (in.is_stdin) fatal("Could not read standard input\n");
  fatal("Unable to Open %s for input\n", in.name.c_str());
}

// read(2), again after an interruption.
static ssize_t read_some(int fd, unsigned char* to, size_t n) {
  ssize_t got;
  do {
    got = ::read(fd, to, n);
  } while (got < 0 && errno == EINTR);
  return got;
}

bool reader_refill(InputStream& in) {
  if (in.fd < 0) return false;
  Reader& r = *g->reader;
  // The unconsumed bytes (at most a carriage return waiting for its line feed) move to the
  // front; the block grows when they would not leave room for a whole block.
  size_t keep = static_cast<size_t>(in.end - in.p);
  size_t from = static_cast<size_t>(in.p - in.block.data());
  if (in.block.size() < BLOCK + keep) {
    std::vector<unsigned char> bigger(BLOCK + keep);
    std::copy(in.p, in.end, bigger.begin());
    in.block.swap(bigger);
  } else {
    std::copy(in.block.begin() + static_cast<ptrdiff_t>(from), in.block.begin() + static_cast<ptrdiff_t>(from + keep),
              in.block.begin());
  }
  unsigned char* base = in.block.data();
  ssize_t n = read_some(in.fd, base + keep, BLOCK);
  if (n < 0) read_failed(in);
  if (in.keep) in.keep->append(reinterpret_cast<const char*>(base + keep), static_cast<size_t>(n));
  if (in.log_text >= 0) g->lines->texts[static_cast<size_t>(in.log_text)].append(reinterpret_cast<const char*>(base + keep), static_cast<size_t>(n));
  if (r.watch.read) r.watch.read(r.watch.context, in, base + keep, static_cast<size_t>(n));
  in.p = base;
  in.end = base + keep + n;
  return n > 0;
}

// Next character of an input, as text: CR LF gives LF, $1A ends the input.
static int input_getc(InputStream& in) {
  if (in.ended) return END_OF_INPUT;
  if (in.p == in.end && !reader_refill(in)) {
    in.ended = true;
    return END_OF_INPUT;
  }
  int c = *in.p++;
  if (c == 0x1A) {
    in.ended = true;
    in.p--;
    return END_OF_INPUT;
  }
  if (c == '\r') {
    if (in.p == in.end) {
      in.p--;  // keep the carriage return while the next block is read
      bool more = reader_refill(in);
      in.p++;
      if (!more) return c;
    }
    if (*in.p == '\n') c = *in.p++;
  }
  return c;
}

int reader_getc() {
  Reader& r = *g->reader;
  if (!r.unget.empty()) {
    UngetSlot s = r.unget.back();
    r.unget.pop_back();
    r.char_pos = s.pos;
    return s.c;
  }
  InputStream& in = *r.current;
  r.char_pos = in.pos;
  int c = input_getc(in);
  if (c != END_OF_INPUT) advance_position(in.pos, c);
  return c;
}

void reader_ungetc(int c) {
  Reader& r = *g->reader;
  if (static_cast<int32_t>(r.unget.size()) >= r.unget_capacity) fatal("Ungetbuf overflow\n");
  r.unget.push_back(UngetSlot{c, r.char_pos});
}

// An input that is a file the run writes: marked read, so that the run leaves it alone;
// reading the load file is an error (once).
static void check_written(Reader& r, const struct stat& st, const InputStream& in) {
  for (WrittenFile& w : r.written) {
    if (w.dev != static_cast<uint64_t>(st.st_dev) || w.ino != static_cast<uint64_t>(st.st_ino)) continue;
    if (w.is_output && !w.read) {
      if (in.is_include) report_error("Output %s Would Overwrite an Include File\n", w.name.c_str());
      else report_error("Output %s Would Overwrite the Source\n", w.name.c_str());
    }
    w.read = true;
  }
}

// A newly opened input gets its number (its positions carry it), and, when messages or a
// listing need them, its name; in the first pass the listing keeps what is read of it (a
// regular file once for all its openings). `regular`: the input is a regular file, of
// `size` bytes.
static void number_input(Reader& r, InputStream& in, bool regular, uint64_t size = 0) {
  int32_t n = r.inputs_opened;
  if (r.inputs_opened < INT32_MAX) r.inputs_opened++;
  in.pos.input = n;
  InputNames& names = g->inputs;
  if (names.keep) {
    const std::string& name = in.is_stdin ? std::string("<stdin>") : in.name;
    auto [at, fresh] = names.index.try_emplace(name, static_cast<uint32_t>(names.names.size()));
    if (fresh) names.names.push_back(name);
    if (static_cast<size_t>(n) < names.name_of.size()) names.name_of[static_cast<size_t>(n)] = at->second;
    else names.name_of.push_back(at->second);
  }
  LineLog* log = g->lines;
  if (!log || r.source_opens != 1 || static_cast<size_t>(n) != log->inputs.size()) return;
  LoggedInput& logged = log->inputs.emplace_back();
  uint32_t text = static_cast<uint32_t>(log->texts.size());
  if (regular) {
    auto [at, fresh] = log->text_of_path.try_emplace(in.path, text);
    logged.text = at->second;
    if (!fresh) return;  // read before: its bytes are kept already
  }
  logged.text = text;
  log->texts.emplace_back().reserve(static_cast<size_t>(std::min<uint64_t>(size, uint64_t{1} << 30)));
  in.log_text = static_cast<int32_t>(text);
  // A text held in memory is read whole at once.
  if (in.fd < 0) log->texts.back().assign(reinterpret_cast<const char*>(in.p), static_cast<size_t>(in.end - in.p));
}

// The next text the first pass kept under this name, as a stream held in memory; null when
// there is none (a regular file, or more openings than the first pass made).
static std::unique_ptr<InputStream> open_kept(Reader& r, const std::string& name) {
  auto k = r.kept.find(name);
  if (k == r.kept.end() || k->second.next >= k->second.reads.size()) return nullptr;
  KeptInput& kept = k->second;
  const KeptRead& read = kept.reads[kept.next];
  if (++kept.taken == read.times) {
    kept.next++;
    kept.taken = 0;
  }
  auto in = std::make_unique<InputStream>();
  in->p = reinterpret_cast<const unsigned char*>(read.text.data());
  in->end = in->p + read.text.size();
  return in;
}

// Opens the file at `path` (known as `name`) for reading as text; null when it cannot be
// opened, is a directory, or its first read fails. What the first pass reads from anything
// but a regular file is kept, and later passes read that again.
static std::unique_ptr<InputStream> open_file(const std::string& path, const std::string& name, bool is_include) {
  Reader& r = *g->reader;
  std::unique_ptr<InputStream> in;
  if (r.source_opens > 1 && (in = open_kept(r, path))) {
    in->name = name;
    in->path = path;
    in->is_include = is_include;
    number_input(r, *in, false);
    return in;
  }
  in = std::make_unique<InputStream>();
  in->name = name;
  in->path = path;
  in->is_include = is_include;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  in->fd = fd;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
  check_written(r, st, *in);
  bool regular = S_ISREG(st.st_mode);
  if (!regular && r.source_opens <= 1) {
    KeptInput& kept = r.kept[in->path];
    kept.reads.emplace_back();
    in->kept = &kept;
    in->kept_index = kept.reads.size() - 1;
    in->keep = &kept.reads.back().text;
  }
  if (r.watch.opened) r.watch.opened(r.watch.context, *in, regular);
  number_input(r, *in, regular, regular ? static_cast<uint64_t>(st.st_size) : 0);
  in->block.resize(BLOCK);
  in->p = in->end = in->block.data();
  reader_refill(*in);  // a failed first read stops the run as a file that cannot be opened
  return in;
}

// An input is done with: the watch is told, and a kept text is whole (and shares the entry
// before it when the two are equal).
static void input_closing(InputStream& in) {
  Reader& r = *g->reader;
  if (r.watch.closed) r.watch.closed(r.watch.context, in);
  if (!in.kept) return;
  KeptInput& kept = *in.kept;
  kept.reads[in.kept_index].done = true;
  if (in.kept_index + 1 == kept.reads.size() && in.kept_index > 0) {
    KeptRead& before = kept.reads[in.kept_index - 1];
    if (before.done && before.text == kept.reads.back().text) {
      before.times++;
      kept.reads.pop_back();
    }
  }
  in.kept = nullptr;
  in.keep = nullptr;
}

bool reader_open_source(const char* path) {
  Reader& r = *g->reader;
  r.unget.clear();
  if (r.source_opens < INT32_MAX) r.source_opens++;
  r.inputs_opened = 0;
  if (path) {
    r.current = open_file(path, path, false);
    return r.current != nullptr;
  }
  auto in = std::make_unique<InputStream>();
  in->is_stdin = true;
  const std::string* text = r.stdin_given ? r.stdin_given : r.stdin_saved ? &r.stdin_text : nullptr;
  if (text) {
    // Pass 2 reads again the text that pass 1 read.
    in->p = reinterpret_cast<const unsigned char*>(text->data());
    in->end = in->p + text->size();
  } else {
    in->fd = r.stdin_fd;
    in->keep = &r.stdin_text;
    in->block.resize(BLOCK);
    in->p = in->end = in->block.data();
    r.stdin_saved = true;
  }
  number_input(r, *in, false);
  r.current = std::move(in);
  return true;
}

void reader_close_source() {
  Reader& r = *g->reader;
  if (r.current) input_closing(*r.current);
  for (auto it = r.include_stack.rbegin(); it != r.include_stack.rend(); ++it) input_closing(**it);
  r.current.reset();
  r.include_stack.clear();
}

// An INCLUDE's file: the name as given, else in the folder of the file that holds the
// INCLUDE, else in each -I folder (a name from the root is only taken as given).
static std::unique_ptr<InputStream> open_include(Reader& r, const std::string& name) {
  if (auto in = open_file(name, name, true)) return in;
  if (name.empty() || name[0] == '/') return nullptr;
  std::vector<std::string> folders;
  const std::string& holder = r.current->path;
  if (size_t slash = holder.rfind('/'); slash != std::string::npos) folders.push_back(holder.substr(0, slash + 1));
  for (const std::string& dir : r.include_dirs)
    if (!dir.empty()) folders.push_back(dir.back() == '/' ? dir : dir + '/');
  for (const std::string& folder : folders)
    if (auto in = open_file(folder + name, name, true)) return in;
  return nullptr;
}

void include_enter(const char* name, const SrcPos& at) {
  Reader& r = *g->reader;
  out_printf(g->out, "%s\n", name);
  if (static_cast<int>(r.include_stack.size()) >= INCLUDE_CAPACITY) fatal_at(at, "File Include Overflow\n");
  std::unique_ptr<InputStream> in = open_include(r, name);
  if (!in) fatal_at(at, "Could not open Include File %s\n", name);
  // The listing: the included file's lines come after the line that holds the INCLUDE.
  if (LineLog* log = g->lines; log && static_cast<size_t>(in->pos.input) < log->inputs.size() && r.source_opens == 1) {
    log->inputs[static_cast<size_t>(in->pos.input)].depth = static_cast<int32_t>(r.include_stack.size()) + 1;
    int32_t parent = r.current->pos.input;
    if (static_cast<size_t>(parent) < log->inputs.size())
      log->inputs[static_cast<size_t>(parent)].entered.push_back(Entered{r.current->pos.line, in->pos.input});
  }
  if (g->pass == 1 && r.included_seen.insert(in->path).second) r.included.push_back(in->path);
  r.include_stack.push_back(std::move(r.current));
  r.current = std::move(in);
}

void include_return() {
  Reader& r = *g->reader;
  input_closing(*r.current);
  r.current = std::move(r.include_stack.back());
  r.include_stack.pop_back();
}
