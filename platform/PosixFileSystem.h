#pragma once
// The local implementation of the file-system port, on POSIX calls (openat, getdents64,
// fstatat, rename, utimensat). Used by the engine on the UI thread; holds no state, so one
// instance serves every caller.

#include "platform/FileSystem.h"

namespace pelmora {

class PosixFileSystem final : public FileSystem
{
public:
    int ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry) override;
    int Stat(const std::string& path, FileStat& out) override;
    int OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out) override;
    int CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out) override;
    int Rename(const std::string& from, const std::string& to) override;
    int SetMTime(const std::string& path, std::int64_t mtimeSec) override;
    int SetMode(const std::string& path, std::uint32_t mode) override;
    int MakeDir(const std::string& path) override;
    int RemoveDir(const std::string& path) override;
    int RemoveFile(const std::string& path) override;
};

} // namespace pelmora
