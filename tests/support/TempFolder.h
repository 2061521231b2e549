#pragma once
// TempFolder: the one temporary folder of the tests. A fresh empty folder below
// testing::TempDir(), unique to the process and the object, with helpers that build files of
// exact contents, sizes and times in it; removed with everything in it when the object goes
// (folders a test locked are opened up first). Test thread only.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace pelmora::test {

class TempFolder
{
public:
    // `tag` goes into the folder's name, so that a test's leftover is easy to recognise. Fails
    // the test when the folder cannot be made.
    explicit TempFolder(std::string_view tag = {});
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, without a trailing separator.
    const std::string& Root() const { return m_root; }
    std::filesystem::path path() const { return m_root; }
    // Root + "/" + name.
    std::string operator/(const std::string& name) const { return m_root + "/" + name; }
    // Root + rel; rel begins with "/".
    std::string Path(std::string_view rel) const;

    // Creates the folder and its missing parents.
    void Dir(std::string_view rel) const;
    // Writes the file (creating parent folders) and sets its modification time when mtime is
    // not 0.
    void File(std::string_view rel, std::string_view content, std::time_t mtime = 0) const;
    // A file of `size` bytes (a repeating pattern).
    void FileOfSize(std::string_view rel, std::size_t size, std::time_t mtime = 0) const;
    void SetMTime(std::string_view rel, std::time_t mtime) const;
    void Symlink(std::string_view target, std::string_view rel) const;
    void Fifo(std::string_view rel) const;

    bool Exists(std::string_view rel) const;
    // The whole content; empty when the file cannot be read.
    std::string Read(std::string_view rel) const;
    // The modification time of the entry itself (a link is not followed); -1 when it is missing.
    std::int64_t MTime(std::string_view rel) const;

private:
    std::string m_root;
};

// A folder that lives until the next RemoveFreshDirs(): for fixtures that make their folders
// in the test body and drop them all in TearDown. `tag` names it.
std::string FreshDir(const std::string& tag);
void RemoveFreshDirs();

} // namespace pelmora::test
