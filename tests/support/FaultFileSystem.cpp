#include "tests/support/FaultFileSystem.h"

namespace pelmora {

namespace {

class FaultFile final : public FileHandle
{
public:
    FaultFile(FaultFileSystem& owner, std::string path, std::unique_ptr<FileHandle> inner)
        : m_owner(owner), m_path(std::move(path)), m_inner(std::move(inner))
    {
    }

    std::int64_t Read(void* buffer, std::size_t size) override
    {
        if (int err = m_owner.Check(FsCall::Read, m_path))
            return -err;
        return m_inner->Read(buffer, size);
    }
    std::int64_t Write(const void* buffer, std::size_t size) override
    {
        if (int err = m_owner.Check(FsCall::Write, m_path))
            return -err;
        return m_inner->Write(buffer, size);
    }
    int Stat(FileStat& out) override { return passing() ? m_inner->Stat(out) : FileHandle::Stat(out); }
    bool Local() const override { return passing() && m_inner->Local(); }
    int Seek(std::int64_t offset) override { return passing() ? m_inner->Seek(offset) : ENOTSUP; }
    int NextData(std::int64_t from, std::int64_t& start, std::int64_t& end) override
    {
        return passing() ? m_inner->NextData(from, start, end) : FileHandle::NextData(from, start, end);
    }
    int SetSize(std::int64_t size) override { return passing() ? m_inner->SetSize(size) : ENOTSUP; }
    int CloneFrom(FileHandle& source) override
    {
        if (!passing())
            return ENOTSUP;
        if (int err = m_owner.Check(FsCall::Clone, m_path))
            return err;
        return m_inner->CloneFrom(Unwrapped(source));
    }
    std::int64_t CopyRangeFrom(FileHandle& source, std::int64_t offset, std::int64_t length) override
    {
        if (!passing())
            return -ENOTSUP;
        if (int err = m_owner.Check(FsCall::CopyRange, m_path))
            return -err;
        return m_inner->CopyRangeFrom(Unwrapped(source), offset, length);
    }

    int Close() override
    {
        // The real file is closed either way, as a failing close(2) still releases it.
        int innerErr = m_inner->Close();
        if (int err = m_owner.Check(FsCall::Close, m_path))
            return err;
        return innerErr;
    }

private:
    bool passing() const { return m_owner.PassesKernelCopies(); }
    // The real file behind a handle of this wrapper, which the local file system can work on.
    static FileHandle& Unwrapped(FileHandle& file)
    {
        auto* wrapped = dynamic_cast<FaultFile*>(&file);
        return wrapped != nullptr ? *wrapped->m_inner : file;
    }

    FaultFileSystem& m_owner;
    std::string m_path;
    std::unique_ptr<FileHandle> m_inner;
};

} // namespace

int FaultFileSystem::Check(FsCall call, const std::string& path, const std::string* otherPath)
{
    ++m_calls[static_cast<std::size_t>(call)];
    if (BeforeCall)
        BeforeCall(call, path);
    for (Armed& armed : m_faults) {
        const FsFault& f = armed.fault;
        if (f.call != call)
            continue;
        if (!f.path.empty() && f.path != path && !(otherPath && f.path == *otherPath))
            continue;
        ++armed.seen;
        if (f.nth == 0 || armed.seen == f.nth)
            return f.error;
    }
    return 0;
}

int FaultFileSystem::ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry)
{
    if (int err = Check(FsCall::ListDir, path))
        return err;
    // An entry whose stat fails is listed with its error, as the real listing reports it.
    std::string entryPath = path;
    if (entryPath.empty() || entryPath.back() != '/')
        entryPath.push_back('/');
    const std::size_t base = entryPath.size();
    return ForwardingFileSystem::ListDir(path, [&](const DirEntry& entry) {
        entryPath.resize(base);
        entryPath.append(entry.name);
        if (const int err = Check(FsCall::ListEntry, entryPath)) {
            DirEntry failed{entry.name, FileStat(), err};
            return onEntry(failed);
        }
        return onEntry(entry);
    });
}

int FaultFileSystem::Stat(const std::string& path, FileStat& out)
{
    if (int err = Check(FsCall::Stat, path))
        return err;
    return ForwardingFileSystem::Stat(path, out);
}

int FaultFileSystem::OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out)
{
    if (int err = Check(FsCall::OpenRead, path))
        return err;
    std::unique_ptr<FileHandle> inner;
    if (int err = ForwardingFileSystem::OpenRead(path, inner))
        return err;
    out = std::make_unique<FaultFile>(*this, path, std::move(inner));
    return 0;
}

int FaultFileSystem::CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out)
{
    if (int err = Check(FsCall::CreateNew, path))
        return err;
    std::unique_ptr<FileHandle> inner;
    if (int err = ForwardingFileSystem::CreateNew(path, inner))
        return err;
    out = std::make_unique<FaultFile>(*this, path, std::move(inner));
    return 0;
}

int FaultFileSystem::Rename(const std::string& from, const std::string& to)
{
    if (int err = Check(FsCall::Rename, from, &to))
        return err;
    return ForwardingFileSystem::Rename(from, to);
}

int FaultFileSystem::RenameNew(const std::string& from, const std::string& to)
{
    if (int err = Check(FsCall::Rename, from, &to))
        return err;
    return ForwardingFileSystem::RenameNew(from, to);
}

int FaultFileSystem::SetMTime(const std::string& path, std::int64_t mtimeSec)
{
    if (int err = Check(FsCall::SetMTime, path))
        return err;
    return ForwardingFileSystem::SetMTime(path, mtimeSec);
}

int FaultFileSystem::SetMode(const std::string& path, std::uint32_t mode)
{
    if (int err = Check(FsCall::SetMode, path))
        return err;
    return ForwardingFileSystem::SetMode(path, mode);
}

int FaultFileSystem::MakeDir(const std::string& path)
{
    if (int err = Check(FsCall::MakeDir, path))
        return err;
    return ForwardingFileSystem::MakeDir(path);
}

int FaultFileSystem::RemoveDir(const std::string& path)
{
    if (int err = Check(FsCall::RemoveDir, path))
        return err;
    return ForwardingFileSystem::RemoveDir(path);
}

int FaultFileSystem::RemoveFile(const std::string& path)
{
    if (int err = Check(FsCall::RemoveFile, path))
        return err;
    return ForwardingFileSystem::RemoveFile(path);
}

int FaultFileSystem::MoveToTrash(const std::string& path, const TrashSpot& spot)
{
    if (int err = Check(FsCall::Trash, path))
        return err;
    return ForwardingFileSystem::MoveToTrash(path, spot);
}

int FaultFileSystem::ReplaceIntoTrash(const std::string& from, const std::string& to, bool toListed,
                                      const TrashSpot& spot, TrashOutcome& outcome)
{
    outcome = TrashOutcome{};
    FileStat old;
    const bool replaces = ForwardingFileSystem::Stat(to, old) == 0;
    if (int err = replaces ? Check(FsCall::Trash, to) : 0) {
        outcome.TrashError = err;
        return err;
    }
    if (int err = Check(FsCall::Rename, from, &to))
        return err;
    return ForwardingFileSystem::ReplaceIntoTrash(from, to, toListed, spot, outcome);
}

} // namespace pelmora
