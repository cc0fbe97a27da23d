// A file that appears whole or not at all: written beside its target and renamed over it.
#include "driver/replace_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>

namespace {

constexpr int LINK_HOPS = 40;        // as many as the system follows itself
constexpr size_t NAME_PART = 200;    // of the target's name in the temporary name

// The path that writing through `path` would reach: each symbolic link replaced by what it
// names (relative to the link's folder). False for a loop or a link that cannot be read.
bool follow_links(std::string& path) {
  for (int hops = 0; hops < LINK_HOPS; hops++) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::string link(PATH_MAX, '\0');
    ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<size_t>(n) >= link.size()) return false;
    link.resize(static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    if (link[0] == '/' || slash == std::string::npos) path = link;
    else path = path.substr(0, slash + 1) + link;
  }
  return false;
}

// Six characters for a temporary name, different from run to run.
std::string random_suffix() {
  static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  static uint64_t counter = 0;
  uint64_t r = 0;
  if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r))
    r = (static_cast<uint64_t>(::getpid()) << 32) ^ static_cast<uint64_t>(std::time(nullptr)) ^ (++counter * 0x9E3779B97F4A7C15ull);
  std::string s;
  for (int i = 0; i < 6; i++, r /= 36) s += digits[r % 36];
  return s;
}

}  // namespace

ReplacingFile::~ReplacingFile() { replacing_abandon(*this); }

bool replacing_open(ReplacingFile& f, const std::string& path) {
  replacing_abandon(f);
  std::string target = path;
  if (!follow_links(target)) return false;
  struct stat old;
  bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) return false;
  if (!exists && errno != ENOENT) return false;

  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  if (name.empty()) return false;
  for (int attempt = 0; attempt < 100; attempt++) {
    std::string temp = folder + "." + name.substr(0, NAME_PART) + "." + random_suffix();
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (exists) {
      // The replacement keeps the owner (where allowed) and the mode of the file it replaces.
      if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        }
      }
      if (::fchmod(fd, old.st_mode & 07777) != 0) {
      }
    }
    f.target = target;
    f.temp = temp;
    f.fd = fd;
    return true;
  }
  return false;
}

bool replacing_commit(ReplacingFile& f, bool flushed) {
  if (f.temp.empty()) return false;
  bool ok = ::close(f.fd) == 0;
  f.fd = -1;
  // A rename over an existing file makes some file systems (ext4) write the new file's
  // data out at once, so that a crash cannot leave it empty: worth its milliseconds for
  // the load file, not for a listing, which the next run makes again. The old file goes
  // first then, and the rename makes a new name.
  if (ok && !flushed) ::unlink(f.target.c_str());
  if (ok) ok = ::rename(f.temp.c_str(), f.target.c_str()) == 0;
  if (!ok) ::unlink(f.temp.c_str());
  f.temp.clear();
  return ok;
}

void replacing_abandon(ReplacingFile& f) {
  if (f.fd >= 0) ::close(f.fd);
  f.fd = -1;
  if (!f.temp.empty()) ::unlink(f.temp.c_str());
  f.temp.clear();
}
