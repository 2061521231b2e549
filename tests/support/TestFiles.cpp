#include "tests/support/TestFiles.h"

#include "platform/FileSystem.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/time.h>

namespace pelmora::test {

namespace fs = std::filesystem;

void WriteBytes(const std::string& path, const std::string& bytes, std::time_t mtime, int mode)
{
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    if (mtime != 0) {
        struct timeval times[2] = {{mtime, 0}, {mtime, 0}};
        ::utimes(path.c_str(), times);
    }
    if (mode >= 0)
        ::chmod(path.c_str(), static_cast<mode_t>(mode));
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Pattern(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return bytes;
}

struct stat StatOf(const std::string& path)
{
    struct stat st
    {
    };
    ::lstat(path.c_str(), &st);
    return st;
}

std::time_t MTimeOf(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

std::set<std::string> TreeOf(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        std::string rel = fs::relative(entry.path(), dir).string();
        if (entry.is_directory() && !entry.is_symlink())
            rel += '/';
        names.insert(rel);
    }
    return names;
}

bool HasPartialFile(const std::string& dir)
{
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.path().filename().string().starts_with(kPartialFilePrefix))
            return true;
    return false;
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    struct tm tm
    {
    };
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
