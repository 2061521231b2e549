#pragma once
// Small helpers for the file-operation and run tests: a fresh temporary folder per test and
// files written with exact bytes, times and modes. Test thread only.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace pelmora::testing_run {

namespace fs = std::filesystem;

inline std::vector<std::string>& CreatedDirs()
{
    static std::vector<std::string> dirs;
    return dirs;
}

// A folder below the test temp dir, unique for each test and process (test binaries of
// several build folders may run at once) and created empty.
inline std::string FreshDir(const std::string& tag)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::path(::testing::TempDir()) / (std::string("pelmora-") + std::to_string(::getpid()) + "-" +
                                                     info->test_suite_name() + "-" + info->name() + "-" + tag);
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    CreatedDirs().push_back(dir.string());
    return dir.string();
}

// Removes every folder FreshDir made so far (a fixture's TearDown calls it).
inline void RemoveFreshDirs()
{
    std::error_code ec;
    for (const std::string& dir : CreatedDirs())
        fs::remove_all(dir, ec);
    CreatedDirs().clear();
}

inline void WriteBytes(const std::string& path, const std::string& bytes, std::time_t mtime = 0, int mode = -1)
{
    fs::create_directories(fs::path(path).parent_path());
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

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A deterministic pattern of `size` bytes, different for different seeds.
inline std::string Pattern(std::size_t size, unsigned seed = 1)
{
    std::string bytes(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return bytes;
}

inline struct stat StatOf(const std::string& path)
{
    struct stat st{};
    ::lstat(path.c_str(), &st);
    return st;
}

// Every name below `dir`, relative, folders with a trailing "/".
inline std::set<std::string> TreeOf(const std::string& dir)
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

inline bool HasPartialFile(const std::string& dir)
{
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.path().filename().string().rfind(".pelmora-partial-", 0) == 0)
            return true;
    return false;
}

} // namespace pelmora::testing_run
