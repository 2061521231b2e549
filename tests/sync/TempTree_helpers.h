#pragma once
// Test helper: a temporary folder tree with files of exact contents, sizes and modification
// times, removed again when the object goes. For engine tests on one thread.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace pelmora::test {

class TempTree
{
public:
    // Creates a fresh empty folder below testing::TempDir(); fails the test when it cannot.
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The folder, without a trailing separator.
    const std::string& Root() const { return m_root; }
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
    std::int64_t MTime(std::string_view rel) const;

private:
    std::string m_root;
};

// The Unix time of a local date and time (the tests run with TZ=Europe/Berlin).
std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second);

} // namespace pelmora::test
