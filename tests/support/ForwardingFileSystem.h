#pragma once
// ForwardingFileSystem: a file system that passes every call on to another one. A wrapper that
// watches or changes a few calls derives from it and overrides only those, so a call added to
// the port later reaches the wrapped file system unchanged. Single-threaded, like the port.

#include "platform/FileSystem.h"

namespace pelmora {

class ForwardingFileSystem : public FileSystem
{
public:
    // `target` is not owned and must outlive the wrapper.
    explicit ForwardingFileSystem(FileSystem& target) : m_target(target) {}

    FileSystem& Target() const { return m_target; }

    int ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry) override
    {
        return m_target.ListDir(path, onEntry);
    }
    int Stat(const std::string& path, FileStat& out) override { return m_target.Stat(path, out); }
    int OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out) override
    {
        return m_target.OpenRead(path, out);
    }
    int CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out) override
    {
        return m_target.CreateNew(path, out);
    }
    int Rename(const std::string& from, const std::string& to) override { return m_target.Rename(from, to); }
    int RenameNew(const std::string& from, const std::string& to) override { return m_target.RenameNew(from, to); }
    int SetMTime(const std::string& path, std::int64_t mtimeSec) override { return m_target.SetMTime(path, mtimeSec); }
    int SetMode(const std::string& path, std::uint32_t mode) override { return m_target.SetMode(path, mode); }
    int MakeDir(const std::string& path) override { return m_target.MakeDir(path); }
    int RemoveDir(const std::string& path) override { return m_target.RemoveDir(path); }
    int RemoveFile(const std::string& path) override { return m_target.RemoveFile(path); }
    int MoveToTrash(const std::string& path, const TrashSpot& spot) override
    {
        return m_target.MoveToTrash(path, spot);
    }
    int ReplaceIntoTrash(const std::string& from, const std::string& to, bool toListed, const TrashSpot& spot,
                         TrashOutcome& outcome) override
    {
        return m_target.ReplaceIntoTrash(from, to, toListed, spot, outcome);
    }

private:
    FileSystem& m_target;
};

} // namespace pelmora
