// End-to-end runner: every case folder under the cases directory is a test that runs the
// built program in a fresh temporary folder and compares its exit status, standard output,
// standard error and output files with the case's expect/ folder, once under each setting
// of the fast layer (XEXASM_FAST). See tests/cases/README.md.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kTimeoutSeconds = 30;

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Pieces of text cut after each line feed (the last piece may lack it).
std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from < text.size()) {
    size_t nl = text.find('\n', from);
    size_t to = nl == std::string::npos ? text.size() : nl + 1;
    lines.push_back(text.substr(from, to - from));
    from = to;
  }
  return lines;
}

std::string escape(const std::string& s) {
  std::string r;
  for (unsigned char c : s) {
    if (c == '\n') r += "\\n";
    else if (c == '\t') r += "\\t";
    else if (c == '\\') r += "\\\\";
    else if (c < 0x20 || c >= 0x7f) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\x%02x", c);
      r += buf;
    } else r += static_cast<char>(c);
  }
  return r;
}

// Empty when equal; otherwise where and how the texts first differ.
std::string text_difference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  auto e = split_lines(expected), a = split_lines(actual);
  size_t i = 0;
  while (i < e.size() && i < a.size() && e[i] == a[i]) ++i;
  auto show = [&](const std::vector<std::string>& v) {
    return i < v.size() ? "\"" + escape(v[i]) + "\"" : std::string("<end of output>");
  };
  return "first difference at line " + std::to_string(i + 1) + "\n  expected: " + show(e) +
         "\n  actual:   " + show(a) + "\n--- whole actual output ---\n" + actual;
}

// Bytes written in a .hex file: two-digit hex numbers separated by white space, '#' comments.
std::optional<std::string> parse_hex(const std::string& text, std::string& error) {
  std::string bytes;
  std::istringstream in(text);
  std::string line;
  int line_no = 0;
  while (std::getline(in, line)) {
    ++line_no;
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string w;
    while (words >> w) {
      if (w.size() != 2 || !isxdigit(static_cast<unsigned char>(w[0])) ||
          !isxdigit(static_cast<unsigned char>(w[1]))) {
        error = "bad byte \"" + w + "\" on line " + std::to_string(line_no);
        return std::nullopt;
      }
      bytes += static_cast<char>(std::stoi(w, nullptr, 16));
    }
  }
  return bytes;
}

std::string byte_difference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
  auto show = [&](const std::string& v) {
    if (i >= v.size()) return std::string("end of file");
    char buf[8];
    snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(v[i]));
    return std::string(buf);
  };
  std::ostringstream all;
  for (unsigned char c : actual) {
    char buf[4];
    snprintf(buf, sizeof buf, "%02x ", c);
    all << buf;
  }
  return "expected " + std::to_string(expected.size()) + " bytes, got " +
         std::to_string(actual.size()) + "; first difference at offset " + std::to_string(i) +
         ": expected " + show(expected) + ", actual " + show(actual) + "\n  actual bytes: " +
         all.str();
}

std::string program_path() {
  const char* env = std::getenv("XEXASM_BIN");
  return env && *env ? env : XEXASM_BIN;
}

struct Outcome {
  bool timed_out = false;
  int status = -1;  // exit status, or 128 + signal number
  std::string note;
};

// How a case starts the program, from its `start` file (see tests/cases/README.md).
struct StartSettings {
  std::vector<int> closed;       // descriptors closed at the start
  bool stdout_broken = false;    // standard output: a pipe whose reader has gone
  bool stdout_null = false;      // standard output: /dev/null
  long file_size = -1;           // RLIMIT_FSIZE in bytes, or -1
  long memory = -1;              // RLIMIT_AS in bytes, or -1
};

// Sets a limit in the child; false when it cannot be set.
bool limit(int resource, long bytes) {
  struct rlimit l{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  return setrlimit(resource, &l) == 0;
}

// Runs argv with cwd and the three standard streams redirected, XEXASM_FAST set to `fast`
// (null: unset), the start settings applied; kills it after the time-out. The signals that
// a failed write raises have their default action, as under a shell.
Outcome run(const std::vector<std::string>& argv, const fs::path& cwd, const fs::path& in,
            const fs::path& out, const fs::path& err, const char* fast = nullptr,
            const StartSettings& start = {}) {
  pid_t pid = fork();
  if (pid < 0) return {false, -1, "fork failed"};
  if (pid == 0) {
    if (fast) setenv("XEXASM_FAST", fast, 1);
    else unsetenv("XEXASM_FAST");
    setenv("XEXASM", program_path().c_str(), 1);  // for a prepare script that runs it too
    signal(SIGPIPE, SIG_DFL);
    signal(SIGXFSZ, SIG_DFL);
    int fd0 = open(in.c_str(), O_RDONLY);
    int fd1 = open(start.stdout_null ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int fd2 = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd0 < 0 || fd1 < 0 || fd2 < 0 || chdir(cwd.c_str()) != 0) _exit(126);
    dup2(fd0, 0);
    dup2(fd1, 1);
    dup2(fd2, 2);
    if (start.stdout_broken) {
      int ends[2];
      if (pipe(ends) != 0) _exit(126);
      dup2(ends[1], 1);
      close(ends[0]);
      close(ends[1]);
    }
    if (start.file_size >= 0 && !limit(RLIMIT_FSIZE, start.file_size)) _exit(126);
    if (start.memory >= 0 && !limit(RLIMIT_AS, start.memory)) _exit(126);
    for (int fd : start.closed) close(fd);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
  int wstatus = 0;
  while (waitpid(pid, &wstatus, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      return {true, -1, "killed after " + std::to_string(kTimeoutSeconds) + " s"};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (WIFSIGNALED(wstatus))
    return {false, 128 + WTERMSIG(wstatus), "killed by signal " + std::to_string(WTERMSIG(wstatus))};
  return {false, WEXITSTATUS(wstatus), ""};
}

std::vector<std::string> read_args(const fs::path& file) {
  std::vector<std::string> args;
  if (!fs::exists(file)) return args;
  for (auto line : split_lines(read_file(file))) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    args.push_back(line);
  }
  return args;
}

// Some cases aim an output at /dev/full. A run that takes it for a regular file replaces
// it (the tests may run as root): false then, and the device is made again, so that the
// tests after it meet a device and only the guilty case fails.
bool full_device_kept() {
  struct stat st;
  if (stat("/dev/full", &st) != 0 || S_ISCHR(st.st_mode)) return true;
  unlink("/dev/full");
  if (mknod("/dev/full", S_IFCHR | 0666, makedev(1, 7)) == 0) chmod("/dev/full", 0666);
  return false;
}

bool is_case_file(const std::string& name) {
  return name == "args" || name == "stdin" || name == "prepare" || name == "start" || name == "expect";
}

// The settings of a `start` file; an unknown line is an error.
std::optional<StartSettings> read_start(const fs::path& file, std::string& error) {
  StartSettings s;
  if (!fs::exists(file)) return s;
  for (auto line : split_lines(read_file(file))) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    std::istringstream words(line);
    std::string what, value;
    words >> what >> value;
    if (what.empty()) continue;
    if (what == "closed" && (value == "0" || value == "1" || value == "2")) s.closed.push_back(std::stoi(value));
    else if (what == "stdout" && value == "broken") s.stdout_broken = true;
    else if (what == "stdout" && value == "null") s.stdout_null = true;
    else if (what == "file-size" && !value.empty()) s.file_size = std::stol(value);
    else if (what == "memory" && !value.empty()) s.memory = std::stol(value) << 20;
    else {
      error = "start: unknown setting \"" + line + "\"";
      return std::nullopt;
    }
  }
  // Sanitizers reserve address space of their own: no memory limit under them.
#ifdef XEXASM_SANITIZED
  s.memory = -1;
#endif
  return s;
}

// Every file and link below dir (not the folders), by relative path.
std::set<std::string> files_below(const fs::path& dir) {
  std::set<std::string> files;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::end(it); ++it)
    if (!it->is_directory() || it->is_symlink()) files.insert(it->path().lexically_relative(dir).string());
  return files;
}

class CaseTest : public testing::Test {
 public:
  CaseTest(fs::path dir, const char* fast) : dir_(std::move(dir)), fast_(fast) {}

  void TestBody() override {
    std::string tmpl = (fs::temp_directory_path() / "xexasm-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr) << "cannot make a temporary folder";
    root_ = tmpl;
    // The case runs in root/work; root holds only it and the captured streams, so a case
    // may also use "..".
    const fs::path work = root_ / "work";
    fs::create_directory(work);
    for (const auto& entry : fs::directory_iterator(dir_)) {
      if (is_case_file(entry.path().filename().string())) continue;
      fs::copy(entry.path(), work / entry.path().filename(),
               fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
    if (fs::exists(dir_ / "prepare")) {
      auto out = root_ / "prepare.out", err = root_ / "prepare.err";
      auto r = run({"/bin/bash", (dir_ / "prepare").string()}, work, "/dev/null", out, err);
      ASSERT_EQ(r.status, 0) << "prepare failed " << r.note << ":\n"
                             << read_file(out) << read_file(err);
    }

    std::string start_error;
    std::optional<StartSettings> start = read_start(dir_ / "start", start_error);
    ASSERT_TRUE(start) << start_error;
    const std::set<std::string> before = files_below(work);

    std::vector<std::string> argv{program_path()};
    for (auto& a : read_args(dir_ / "args")) argv.push_back(a);
    fs::path in = fs::exists(dir_ / "stdin") ? dir_ / "stdin" : fs::path("/dev/null");
    auto r = run(argv, work, in, root_ / "stdout", root_ / "stderr", fast_, *start);
    ASSERT_FALSE(r.timed_out) << r.note;
    EXPECT_TRUE(full_device_kept()) << "the run replaced /dev/full with a file";
    std::string out = read_file(root_ / "stdout"), err = read_file(root_ / "stderr");

    const fs::path expect = dir_ / "expect";
    int want_status = 0;
    if (fs::exists(expect / "status")) want_status = std::stoi(read_file(expect / "status"));
    EXPECT_EQ(r.status, want_status) << "exit status differs " << r.note << "\n--- stderr ---\n"
                                     << err;

    auto want_text = [&](const char* name) {
      return fs::exists(expect / name) ? read_file(expect / name) : std::string();
    };
    if (auto d = text_difference(want_text("stdout"), out); !d.empty())
      ADD_FAILURE() << "stdout: " << d;
    if (auto d = text_difference(want_text("stderr"), err); !d.empty())
      ADD_FAILURE() << "stderr: " << d;

    // Expected files, by path relative to the work folder: bytes in hexadecimal (.hex) or
    // the exact text (.text).
    std::map<std::string, fs::path> hex_files;
    if (fs::exists(expect)) {
      for (auto it = fs::recursive_directory_iterator(expect); it != fs::end(it); ++it) {
        if (it->is_directory()) continue;
        auto rel = fs::relative(it->path(), expect).string();
        if (rel == "stdout" || rel == "stderr" || rel == "status") continue;
        if (rel.ends_with(".hex")) hex_files[rel.substr(0, rel.size() - 4)] = it->path();
        else if (rel.ends_with(".text")) hex_files[rel.substr(0, rel.size() - 5)] = it->path();
        else ADD_FAILURE() << "unknown file expect/" << rel;
      }
    }
    // The program makes no file but its output files (no temporary file is left behind).
    for (const std::string& f : files_below(work))
      if (!before.count(f) && !f.ends_with(".xex") && !hex_files.count(f)) ADD_FAILURE() << "unexpected new file " << f;
    for (auto it = fs::recursive_directory_iterator(work); it != fs::end(it); ++it) {
      // Links to devices (an output made unwritable on purpose) are not output files.
      if (!it->is_regular_file() || !it->path().filename().string().ends_with(".xex")) continue;
      auto rel = it->path().lexically_relative(work).string();
      if (!hex_files.count(rel))
        ADD_FAILURE() << "unexpected output file " << rel << " (" << fs::file_size(it->path())
                      << " bytes)";
    }
    for (const auto& [rel, hex] : hex_files) {
      std::string error;
      auto want = hex.extension() == ".text" ? std::optional<std::string>(read_file(hex)) : parse_hex(read_file(hex), error);
      if (!want) {
        ADD_FAILURE() << "expect/" << rel << ".hex: " << error;
        continue;
      }
      if (!fs::exists(work / rel)) {
        ADD_FAILURE() << "missing output file " << rel;
        continue;
      }
      if (auto d = byte_difference(*want, read_file(work / rel)); !d.empty())
        ADD_FAILURE() << rel << ": " << d;
    }
  }

  void TearDown() override {
    if (root_.empty()) return;
    if (std::getenv("XEXASM_KEEP")) {
      std::cout << "kept " << root_.string() << "\n";
      return;
    }
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

 private:
  fs::path dir_;
  const char* fast_;
  fs::path root_;
};

bool is_case_dir(const fs::path& dir) {
  return fs::is_directory(dir / "expect") || fs::exists(dir / "args");
}

// Registers every case folder below dir as <area>.<case>; folders inside a case are its inputs.
void register_cases(const fs::path& base, const fs::path& dir) {
  std::vector<fs::path> subdirs;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_directory()) subdirs.push_back(entry.path());
  std::sort(subdirs.begin(), subdirs.end());
  for (const auto& sub : subdirs) {
    if (!is_case_dir(sub)) {
      register_cases(base, sub);
      continue;
    }
    auto rel = fs::relative(sub, base);
    std::string area = rel.begin()->string(), name;
    for (auto p = std::next(rel.begin()); p != rel.end(); ++p) {
      if (!name.empty()) name += '_';
      name += p->string();
    }
    if (name.empty()) name = area, area = "cases";
    // Every case runs under each setting of the fast layer: the plain core alone, each
    // mechanism alone, and all of them (<area>.<case>); each must give exactly the
    // expected run.
    for (const char* fast : {"all", "none", "scan", "engine", "replay"}) {
      std::string suite = std::string(fast) == "all" ? area : "fast_" + std::string(fast) + "_" + area;
      testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                            [sub, fast]() -> testing::Test* { return new CaseTest(sub, fast); });
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (fs::is_directory(XEXASM_CASES_DIR)) register_cases(XEXASM_CASES_DIR, XEXASM_CASES_DIR);
  return RUN_ALL_TESTS();
}
