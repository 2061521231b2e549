#include "TempTree_helpers.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora::test {

TempTree::TempTree()
{
    std::string pattern = testing::TempDir();
    if (pattern.empty() || pattern.back() != '/')
        pattern.push_back('/');
    pattern += "pelmora-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "mkdtemp failed: " << std::strerror(errno);
    m_root = pattern;
}

TempTree::~TempTree()
{
    std::error_code ec;
    // Restore write permission on folders a test locked, so everything can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(m_root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0755);
    }
    std::filesystem::remove_all(m_root, ec);
}

std::string TempTree::Path(std::string_view rel) const
{
    return m_root + std::string(rel);
}

void TempTree::Dir(std::string_view rel) const
{
    std::error_code ec;
    std::filesystem::create_directories(Path(rel), ec);
    if (ec)
        ADD_FAILURE() << "cannot create folder " << Path(rel) << ": " << ec.message();
}

void TempTree::File(std::string_view rel, std::string_view content, std::time_t mtime) const
{
    const std::filesystem::path p = Path(rel);
    std::error_code ec;
    std::filesystem::create_directories(p.parent_path(), ec);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out)
        ADD_FAILURE() << "cannot write " << p;
    if (mtime != 0)
        SetMTime(rel, mtime);
}

void TempTree::FileOfSize(std::string_view rel, std::size_t size, std::time_t mtime) const
{
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        content[i] = static_cast<char>('a' + i % 26);
    File(rel, content, mtime);
}

void TempTree::SetMTime(std::string_view rel, std::time_t mtime) const
{
    struct timespec times[2];
    times[0].tv_sec = mtime;
    times[0].tv_nsec = 0;
    times[1].tv_sec = mtime;
    times[1].tv_nsec = 0;
    if (::utimensat(AT_FDCWD, Path(rel).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        ADD_FAILURE() << "utimensat " << Path(rel) << ": " << std::strerror(errno);
}

void TempTree::Symlink(std::string_view target, std::string_view rel) const
{
    if (::symlink(std::string(target).c_str(), Path(rel).c_str()) != 0)
        ADD_FAILURE() << "symlink " << Path(rel) << ": " << std::strerror(errno);
}

void TempTree::Fifo(std::string_view rel) const
{
    if (::mkfifo(Path(rel).c_str(), 0644) != 0)
        ADD_FAILURE() << "mkfifo " << Path(rel) << ": " << std::strerror(errno);
}

bool TempTree::Exists(std::string_view rel) const
{
    struct stat st;
    return ::lstat(Path(rel).c_str(), &st) == 0;
}

std::string TempTree::Read(std::string_view rel) const
{
    std::ifstream in(Path(rel), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::int64_t TempTree::MTime(std::string_view rel) const
{
    struct stat st;
    if (::lstat(Path(rel).c_str(), &st) != 0)
        return -1;
    return st.st_mtim.tv_sec;
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    struct tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return ::mktime(&tm);
}

} // namespace pelmora::test
