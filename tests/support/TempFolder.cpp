#include "tests/support/TempFolder.h"

#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelmora::test {

namespace fs = std::filesystem;

namespace {

// Runs move what they delete into the desktop trash. Each test process gets a home trash of
// its own in the temporary folder (where the tests' files are, so it is the trash they use),
// removed when the process ends: no test ever fills the trash of the user who runs it.
struct OwnTrash
{
    std::string folder;
    OwnTrash()
    {
        std::string pattern = testing::TempDir();
        if (pattern.empty() || pattern.back() != '/')
            pattern.push_back('/');
        pattern += "pelmora-data-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            return;
        folder = pattern;
        ::setenv("XDG_DATA_HOME", folder.c_str(), 1);
    }
    ~OwnTrash()
    {
        std::error_code ec;
        if (!folder.empty())
            fs::remove_all(folder, ec);
    }
} g_ownTrash;

} // namespace

TempFolder::TempFolder(std::string_view tag)
{
    // mkdtemp makes the name unique across tests, processes and build folders running at once.
    std::string pattern = testing::TempDir();
    if (pattern.empty() || pattern.back() != '/')
        pattern.push_back('/');
    pattern += "pelmora-";
    if (!tag.empty()) {
        pattern += tag;
        pattern += '-';
    }
    pattern += "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "mkdtemp " << pattern << " failed: " << std::strerror(errno);
    m_root = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    // Restore the permissions of folders a test locked, so everything can be removed.
    ::chmod(m_root.c_str(), 0755);
    for (auto it = fs::recursive_directory_iterator(m_root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0755);
    }
    fs::remove_all(m_root, ec);
}

std::string TempFolder::Path(std::string_view rel) const
{
    return m_root + std::string(rel);
}

void TempFolder::Dir(std::string_view rel) const
{
    std::error_code ec;
    fs::create_directories(Path(rel), ec);
    if (ec)
        ADD_FAILURE() << "cannot create folder " << Path(rel) << ": " << ec.message();
}

void TempFolder::File(std::string_view rel, std::string_view content, std::time_t mtime) const
{
    const fs::path p = Path(rel);
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out)
        ADD_FAILURE() << "cannot write " << p;
    if (mtime != 0)
        SetMTime(rel, mtime);
}

void TempFolder::FileOfSize(std::string_view rel, std::size_t size, std::time_t mtime) const
{
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        content[i] = static_cast<char>('a' + i % 26);
    File(rel, content, mtime);
}

void TempFolder::SetMTime(std::string_view rel, std::time_t mtime) const
{
    struct timespec times[2];
    times[0].tv_sec = mtime;
    times[0].tv_nsec = 0;
    times[1].tv_sec = mtime;
    times[1].tv_nsec = 0;
    if (::utimensat(AT_FDCWD, Path(rel).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        ADD_FAILURE() << "utimensat " << Path(rel) << ": " << std::strerror(errno);
}

void TempFolder::Symlink(std::string_view target, std::string_view rel) const
{
    if (::symlink(std::string(target).c_str(), Path(rel).c_str()) != 0)
        ADD_FAILURE() << "symlink " << Path(rel) << ": " << std::strerror(errno);
}

void TempFolder::Fifo(std::string_view rel) const
{
    if (::mkfifo(Path(rel).c_str(), 0644) != 0)
        ADD_FAILURE() << "mkfifo " << Path(rel) << ": " << std::strerror(errno);
}

bool TempFolder::Exists(std::string_view rel) const
{
    struct stat st;
    return ::lstat(Path(rel).c_str(), &st) == 0;
}

std::string TempFolder::Read(std::string_view rel) const
{
    return ReadBytes(Path(rel));
}

std::int64_t TempFolder::MTime(std::string_view rel) const
{
    struct stat st;
    if (::lstat(Path(rel).c_str(), &st) != 0)
        return -1;
    return st.st_mtim.tv_sec;
}

namespace {

std::vector<std::unique_ptr<TempFolder>>& FreshFolders()
{
    static std::vector<std::unique_ptr<TempFolder>> folders;
    return folders;
}

} // namespace

std::string FreshDir(const std::string& tag)
{
    FreshFolders().push_back(std::make_unique<TempFolder>(tag));
    return FreshFolders().back()->Root();
}

void RemoveFreshDirs()
{
    FreshFolders().clear();
}

} // namespace pelmora::test
