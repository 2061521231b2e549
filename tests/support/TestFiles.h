#pragma once
// Whole-file reads and writes and looks at trees for tests, on full paths. Test thread only.

#include <cstddef>
#include <ctime>
#include <set>
#include <string>
#include <sys/stat.h>

namespace pelmora::test {

// Writes `bytes` to `path`, creating the parent folders, then sets the modification time when
// `mtime` is not 0 and the permission bits when `mode` is not negative.
void WriteBytes(const std::string& path, const std::string& bytes, std::time_t mtime = 0, int mode = -1);
// The whole content; empty when the file cannot be read.
std::string ReadBytes(const std::string& path);

// A deterministic pattern of `size` bytes, different for different seeds.
std::string Pattern(std::size_t size, unsigned seed = 1);

// lstat of the path; all zero when it fails.
struct stat StatOf(const std::string& path);
// The modification time (a link is followed), or -1 when it cannot be looked at.
std::time_t MTimeOf(const std::string& path);

// Every name below `dir`, relative, folders (not links to folders) with a trailing "/".
std::set<std::string> TreeOf(const std::string& dir);

// True when a copy's temporary file is left anywhere below `dir`.
bool HasPartialFile(const std::string& dir);

// The Unix time of a local date and time (the tests run with TZ=Europe/Berlin).
std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second);

} // namespace pelmora::test
