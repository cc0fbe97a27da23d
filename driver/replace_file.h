// A file that appears whole or not at all: its bytes go to a new file beside it (in the
// same folder, under a temporary name), which is renamed over it once everything has been
// written. A symbolic link is followed to its target, so that the link stays and the file
// it names is replaced, as writing through the link would.
#pragma once
#include <string>

struct ReplacingFile {
  std::string target;  // the path the temporary file is renamed to (links followed)
  std::string temp;    // the temporary file's path while it exists
  int fd = -1;         // open for writing while the bytes go in
  ReplacingFile() = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();
};

// Makes the temporary file beside `path` for writing. It gets the mode of the file it will
// replace (or, for a new one, the mode a new file gets). False, with nothing made, when
// `path` names something other than a regular file (a device, a FIFO) or no file can be
// made in its folder; the caller then writes in place, or reports the failure.
bool replacing_open(ReplacingFile& f, const std::string& path);
// Closes the temporary file and renames it over the target; unless `flushed`, the target
// is removed first (no file system then writes the data out at once, as ext4 does for a
// file renamed over another). False when the close or the rename failed; the temporary
// file is gone either way.
bool replacing_commit(ReplacingFile& f, bool flushed = true);
// Closes and removes the temporary file, if there is one; the target is left as it is.
void replacing_abandon(ReplacingFile& f);
