#include "platform/FileSystem.h"

#include "platform/PosixFileSystem.h"

#include <cerrno>

namespace pelmora {

namespace {

FileSystem* g_network = nullptr;

// Serves network paths while no network implementation is registered. Handing such a path to
// the local file system would be wrong: "//server/share" names "/server/share" there.
class UnreachableFileSystem final : public FileSystem
{
public:
    int ListDir(const std::string&, const std::function<bool(const DirEntry&)>&) override { return ENOTCONN; }
    int Stat(const std::string&, FileStat&) override { return ENOTCONN; }
    int OpenRead(const std::string&, std::unique_ptr<FileHandle>&) override { return ENOTCONN; }
    int CreateNew(const std::string&, std::unique_ptr<FileHandle>&) override { return ENOTCONN; }
    int Rename(const std::string&, const std::string&) override { return ENOTCONN; }
    int SetMTime(const std::string&, std::int64_t) override { return ENOTCONN; }
    int SetMode(const std::string&, std::uint32_t) override { return ENOTCONN; }
    int MakeDir(const std::string&) override { return ENOTCONN; }
    int RemoveDir(const std::string&) override { return ENOTCONN; }
    int RemoveFile(const std::string&) override { return ENOTCONN; }
    int MoveToTrash(const std::string&, const TrashSpot&) override { return ENOTCONN; }
    int ReplaceIntoTrash(const std::string&, const std::string&, bool, const TrashSpot&, TrashOutcome& outcome) override
    {
        outcome.TrashError = ENOTCONN;
        return ENOTCONN;
    }
};

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

} // namespace

FileSystem& LocalFileSystem()
{
    static PosixFileSystem local;
    return local;
}

bool IsNetworkPath(std::string_view path)
{
    if (path.size() > 2 && path[0] == '/' && path[1] == '/' && path[2] != '/')
        return true;
    return startsWithNoCase(path, "smb://");
}

FileSystem& FileSystemFor(std::string_view path)
{
    if (!IsNetworkPath(path))
        return LocalFileSystem();
    if (g_network)
        return *g_network;
    static UnreachableFileSystem unreachable;
    return unreachable;
}

void RegisterNetworkFileSystem(FileSystem* fs)
{
    g_network = fs;
}

} // namespace pelmora
