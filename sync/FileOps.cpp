#include "sync/FileOps.h"

#include "core/DateTime.h"
#include "core/SyncTask.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/PartialFiles.h"
#include "sync/RunView.h"
#include "sync/SizeText.h"
#include "sync/SyncLog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace pelmora {

namespace {

std::string_view ParentOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    if (slash == 0)
        return path.substr(0, 1);
    return path.substr(0, slash);
}

// Moves exactly `size` bytes or fails: a short read before the planned end of the source means
// the file shrank since it was listed, which is as much a copy error as a failing read.
bool ReadFully(FileHandle& file, char* buffer, std::size_t size)
{
    while (size > 0) {
        const std::int64_t got = file.Read(buffer, size);
        if (got <= 0)
            return false;
        buffer += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteFully(FileHandle& file, const char* buffer, std::size_t size)
{
    while (size > 0) {
        const std::int64_t put = file.Write(buffer, size);
        if (put <= 0)
            return false;
        buffer += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// The source's time as the packed local date-time holds it: whole seconds rounded down to
// even, clamped to 1980..2107. Local offsets are whole minutes, so inside the range rounding
// the Unix time gives the same second as unpacking would, without a mktime per file (which
// also stats the zone file each time) and without landing in the wrong one of the two hours
// that share their local times when the clocks go back.
std::int64_t PackedTime(std::int64_t mtime)
{
    const std::uint32_t dos = UnixToDos(static_cast<std::time_t>(mtime));
    if (dos == kDosMin || dos == kDosMax)
        return static_cast<std::int64_t>(DosToUnix(dos));
    return mtime - (mtime & 1);
}

// The runs of data of a source, in order. A source with holes names them (the holes are then
// made in the target rather than written); any other source is one run over the whole file.
class DataRuns
{
public:
    DataRuns(FileHandle& in, std::int64_t size, bool sparse) : m_in(in), m_size(size), m_sparse(sparse) {}

    // The run that holds or follows `position`, [start, end) with position <= start < end <=
    // the planned size. False when only holes are left up to that size.
    bool Next(std::int64_t position, std::int64_t& start, std::int64_t& end)
    {
        if (m_sparse) {
            const int rc = m_in.NextData(position, start, end);
            if (rc == ENXIO)
                return false;
            if (rc == 0) {
                end = std::min(end, m_size);
                return start < end;
            }
            // Holes cannot be told here after all: everything counts as data.
            m_sparse = false;
        }
        start = position;
        end = m_size;
        return position < m_size;
    }

    // True when finding runs may have moved the place where the source is read.
    bool Sparse() const { return m_sparse; }

private:
    FileHandle& m_in;
    std::int64_t m_size;
    bool m_sparse;
};

// A run that stops before the planned size, or a target written only up to a hole, ends in a
// hole: the target is given its length, unless the source has shrunk since it was opened, which
// is as much a copy error as a short read. True when the target is complete.
bool EndInHole(FileHandle& in, FileHandle& out, std::int64_t size)
{
    FileStat now;
    if (in.Stat(now) == 0 && now.size < size)
        return false;
    return out.SetSize(size) == 0;
}

// Reads `size` bytes at `offset` of `in` and writes them at the same offset of `out`.
bool MoveAt(FileHandle& in, FileHandle& out, std::int64_t offset, char* buffer, std::size_t size)
{
    return in.Seek(offset) == 0 && out.Seek(offset) == 0 && ReadFully(in, buffer, size) &&
           WriteFully(out, buffer, size);
}

std::string Performing(TAction action)
{
    return std::string(Msg(kMsgPerforming)) + ActionName(action);
}

} // namespace

std::string JoinPath(std::string_view root, std::string_view relPath)
{
    std::string out;
    if (root == "/" && !relPath.empty() && relPath.front() == '/')
        root = {};
    out.reserve(root.size() + relPath.size());
    out.append(root);
    out.append(relPath);
    return out;
}

std::string TrashRunName(std::time_t when)
{
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H%M%S", &local);
    return text;
}

bool MakeDirs(FileSystem& fs, const std::string& path)
{
    FileStat st;
    if (fs.Stat(path, st) == 0)
        return st.type == EntryType::Dir;
    const std::string_view parent = ParentOf(path);
    if (!parent.empty() && parent != path)
        MakeDirs(fs, std::string(parent));
    const int rc = fs.MakeDir(path);
    return rc == 0 || (rc == EEXIST && fs.Stat(path, st) == 0 && st.type == EntryType::Dir);
}

bool MakeDirsBelow(FileSystem& fs, std::string_view root, const std::string& path)
{
    const std::size_t start = root == "/" ? 0 : root.size();
    if (root.empty() || path.compare(0, root.size(), root) != 0 || (path.size() > start && path[start] != '/'))
        return MakeDirs(fs, path);
    // Component by component: each is looked at without following it, and every one before
    // it is already known to be a real folder, so no link anywhere below the root is used.
    std::string prefix = path.substr(0, start);
    if (!prefix.empty()) {
        // The root itself may be a link the user chose (the trailing separator resolves it);
        // a missing root is made like any target folder.
        FileStat st;
        if (fs.Stat(prefix + "/", st) != 0 || st.type != EntryType::Dir)
            MakeDirs(fs, prefix);
    }
    std::size_t pos = start;
    while (pos < path.size()) {
        const std::size_t next = std::min(path.find('/', pos + 1), path.size());
        prefix.append(path, pos, next - pos);
        pos = next;
        FileStat st;
        int rc = fs.Stat(prefix, st);
        if (rc == ENOENT) {
            rc = fs.MakeDir(prefix);
            if (rc == 0 || rc == EEXIST)
                rc = fs.Stat(prefix, st);
        }
        if (rc != 0 || st.type != EntryType::Dir)
            return false;
    }
    return true;
}

FileOps::FileOps(RunView& view, SyncLog& log, const RunState& state, const std::int64_t& totalBytes,
                 std::int64_t& doneBytes, Clock& clock)
    : m_view(view), m_log(log), m_state(state), m_totalBytes(totalBytes), m_doneBytes(doneBytes), m_clock(&clock),
      m_buffer(new char[kCopyBlockSize])
{
}

FileOps::~FileOps() = default;

void FileOps::ResetProgress()
{
    m_knownFolder.clear();
    m_doneText.clear();
    m_remainText.clear();
    m_fileGauge = -1;
    m_totalGauge = -1;
    m_totalLine.clear();
    m_progress.Stop();
}

void FileOps::fail(std::string line)
{
    m_log.Add(std::move(line));
}

int FileOps::createPartial(const std::string& folder, std::string& path, std::unique_ptr<FileHandle>& out)
{
    FileSystem& fs = fsFor(folder);
    int rc = EEXIST;
    // The name carries this process, so that a later run can tell whether its writer is gone.
    // A clash is only possible with a leftover of an earlier process of the same pid; a fresh
    // name gets round it.
    for (int attempt = 0; attempt < 16 && rc == EEXIST; ++attempt) {
        path = JoinPath(folder, "/");
        path += NewPartialFileName();
        rc = fs.CreateNew(path, out);
    }
    return rc;
}

void FileOps::showProgress(std::int64_t position, std::int64_t size)
{
    const int fileGauge = static_cast<int>(position * 100 / size);
    if (fileGauge != m_fileGauge) {
        m_fileGauge = fileGauge;
        m_view.SetFileGauge(fileGauge);
    }
    ShowTotals();
}

void FileOps::ShowTotals()
{
    // A plan total of 0 (files that were empty when listed and have grown since) shows as
    // complete rather than dividing by zero; more bytes than planned never go past 100.
    const int totalGauge =
        m_totalBytes > 0 ? static_cast<int>(std::min<std::int64_t>(m_doneBytes * 100 / m_totalBytes, 100)) : 100;
    if (totalGauge != m_totalGauge) {
        m_totalGauge = totalGauge;
        m_view.SetTotalGauge(totalGauge);
    }
    // The short texts change only every tenth of a unit, so the line is built only then.
    std::string done = SizeText(m_doneBytes);
    std::string remain = SizeText(std::max<std::int64_t>(m_totalBytes - m_doneBytes, 0));
    if (m_totalLine.empty() || done != m_doneText || remain != m_remainText) {
        m_doneText = std::move(done);
        m_remainText = std::move(remain);
        m_totalLine = ReplaceFirst(ReplaceFirst(Msg(kMsgTotalProgress), m_doneText), "%2", m_remainText);
        m_view.SetLabel(RunLabel::Total, m_totalLine);
    }
    if (m_progress.Active() && m_progress.Update(m_clock->TickMs(), m_doneBytes - m_progressBase))
        m_view.SetLabel(RunLabel::Progress, m_progress.Line());
}

void FileOps::StartProgress(int fileCount)
{
    m_progressBase = m_doneBytes;
    m_progress.Start(m_clock->TickMs(), m_totalBytes - m_doneBytes, fileCount, std::int64_t{m_speed} * 1000);
}

void FileOps::ShowOperation(int number)
{
    if (!m_progress.Active())
        return;
    // The file number changes the line at once; its figures change only when due.
    m_progress.SetFile(number);
    m_progress.Update(m_clock->TickMs(), m_doneBytes - m_progressBase);
    m_view.SetLabel(RunLabel::Progress, m_progress.Line());
}

void FileOps::FinishProgress()
{
    if (!m_progress.Active())
        return;
    m_progress.FileDone();
    m_progress.Update(m_clock->TickMs(), m_doneBytes - m_progressBase, true);
    m_view.SetLabel(RunLabel::Progress, m_progress.Line());
    m_progress.Stop();
}

int FileOps::CopyFile(const std::string& source, const std::string& target, std::string_view targetRoot,
                      bool targetListed)
{
    m_fileGauge = 0;
    m_view.SetFileGauge(0);

    std::string_view relPath = target;
    if (targetRoot.size() <= target.size())
        relPath.remove_prefix(targetRoot == "/" ? 0 : targetRoot.size());

    // Copies come in scan order, so most share the folder of the one before: its existence
    // was settled then. Should it have gone since, the create below fails and makes it again.
    // A target folder that is reached through a link, or where a file stands, is refused: the
    // copy would land outside the tree.
    const std::string_view folder = ParentOf(target);
    bool folderOk = true;
    if (!folder.empty() && folder != m_knownFolder) {
        const std::string wanted(folder);
        folderOk = MakeDirsBelow(fsFor(wanted), targetRoot, wanted);
        if (folderOk)
            m_knownFolder = wanted;
        else
            m_knownFolder.clear();
    }

    // The source is opened first: when it cannot be read an existing target is left alone and
    // no temporary file is ever made.
    FileSystem& sourceFs = fsFor(source);
    FileStat sourceStat;
    std::unique_ptr<FileHandle> in;
    int opened = sourceFs.OpenRead(source, in);
    if (opened == 0) {
        opened = in->OpenedStat(sourceStat);
        if (opened == ENOTSUP)
            opened = sourceFs.Stat(source, sourceStat);
    }
    if (opened != 0 || sourceStat.type != EntryType::File) {
        fail(std::string(Msg(kMsgOpenSourceFailed)) + source);
        return kCopySourceFailed;
    }

    FileSystem& targetFs = fsFor(target);
    std::string partial;
    std::unique_ptr<FileHandle> out;
    const std::string partialFolder = folder.empty() ? std::string(".") : std::string(folder);
    int created = folderOk ? createPartial(partialFolder, partial, out) : ENOTDIR;
    if (created == ENOENT && MakeDirsBelow(targetFs, targetRoot, partialFolder))
        created = createPartial(partialFolder, partial, out);
    if (created != 0) {
        fail(std::string(Msg(kMsgCreateTargetFailed)) + target);
        return kCopyTargetFailed;
    }

    // Both files local: the data may move inside the kernel, and holes are kept. A file on a
    // share answers neither call and moves in blocks as it always did. Holes are looked for
    // only where the source takes less disk than its size, as cp does: a file without them
    // costs no lookups. A clone is tried once per folder and source device until one works.
    CopyPlan plan;
    plan.size = sourceStat.size;
    plan.local = in->Local() && out->Local();
    plan.sparse = plan.local && (sourceStat.allocated < 0 || sourceStat.allocated < sourceStat.size);
    plan.clone = !(m_noCloneDevice == sourceStat.device && m_noCloneFolder == partialFolder);
    const bool cloneTried = plan.clone;
    int result = plan.local && m_speed == 0 ? copyInKernel(*in, *out, plan) : copyInBlocks(*in, *out, plan);
    if (cloneTried && !plan.clone) {
        m_noCloneDevice = sourceStat.device;
        m_noCloneFolder = partialFolder;
    }
    std::string failLine;
    if (result == kCopyCancelled)
        failLine = std::string(Msg(kMsgCopyBroken)).append(relPath);
    else if (result != kCopyOk)
        failLine = std::string(Msg(kMsgCopyError)).append(relPath);

    in.reset();
    // Time and permissions go on before the rename, so the target never appears with the
    // temporary file's mode or the copy's time. Errors here are not reported.
    const std::int64_t mtime = PackedTime(sourceStat.mtimeSec);
    const std::uint32_t mode = sourceStat.mode & 07777;
    bool timeByPath = false;
    bool modeByPath = false;
    if (result == kCopyOk) {
        timeByPath = out->SetMTime(mtime) == ENOTSUP;
        modeByPath = out->SetMode(mode) == ENOTSUP;
    }
    // Closing flushes: a full disk may only show here, and then the copy is not complete.
    if (out->Close() != 0 && result == kCopyOk) {
        failLine = std::string(Msg(kMsgCopyError)).append(relPath);
        result = kCopyIoFailed;
    }
    out.reset();

    if (result == kCopyOk) {
        if (timeByPath)
            targetFs.SetMTime(partial, mtime);
        if (modeByPath)
            targetFs.SetMode(partial, mode);
        int renamed = 0;
        if (m_toTrash) {
            // The old target goes into the trash only now that the new file is complete.
            TrashOutcome outcome;
            const TrashSpot spot{std::string(targetRoot), m_trashRun};
            renamed = targetFs.ReplaceIntoTrash(partial, target, targetListed, spot, outcome);
            if (outcome.Trashed)
                ++m_trashed;
            if (outcome.TrashError != 0) {
                targetFs.RemoveFile(partial);
                trashFailed(target, outcome.TrashError);
                return kCopyTargetFailed;
            }
        } else {
            renamed = targetListed ? targetFs.Rename(partial, target) : targetFs.RenameNew(partial, target);
        }
        if (renamed != 0) {
            failLine = std::string(Msg(kMsgCreateTargetFailed)) + target;
            result = kCopyTargetFailed;
        }
    }
    if (result != kCopyOk) {
        targetFs.RemoveFile(partial);
        fail(std::move(failLine));
    }
    return result;
}

void FileOps::passHole(std::int64_t& position, std::int64_t to)
{
    if (to > position) {
        m_doneBytes += to - position;
        position = to;
    }
}

int FileOps::copyInKernel(FileHandle& in, FileHandle& out, CopyPlan& plan)
{
    const std::int64_t size = plan.size;
    if (size == 0)
        return kCopyOk;
    if (m_state == rsCancelled)
        return kCopyCancelled;
    // Where the file system can clone, the target shares the source's data, holes included,
    // and nothing is copied. Where it cannot, the call fails before touching the target; a
    // busy file (ETXTBSY) says nothing of the next one.
    const int cloneError = plan.clone ? out.CloneFrom(in) : ENOTSUP;
    if (cloneError != 0 && cloneError != ETXTBSY)
        plan.clone = false;
    if (cloneError == 0) {
        FileStat cloned;
        if (out.Stat(cloned) != 0 || cloned.size < size)
            return kCopyIoFailed;
        // The source grew after it was opened: the copy holds the size it had then, as a copy
        // in blocks does.
        if (cloned.size > size && out.SetSize(size) != 0)
            return kCopyIoFailed;
        m_doneBytes += size;
        showProgress(size, size);
        m_view.ProcessPendingInput();
        return kCopyOk;
    }

    DataRuns runs(in, size, plan.sparse);
    bool inKernel = true;
    std::int64_t position = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
    while (runs.Next(position, start, end)) {
        passHole(position, start);
        while (position < end) {
            if (m_state == rsCancelled)
                return kCopyCancelled;
            std::int64_t moved = 0;
            if (inKernel) {
                moved = out.CopyRangeFrom(in, position, std::min(kCopyChunkSize, end - position));
                // The kernel cannot copy between these two files (another file system, or one
                // without the call), or stopped short of the planned end: the rest moves
                // through the process, where a source that really shrank fails as a read.
                if (moved == 0 || moved == -EXDEV || moved == -ENOSYS || moved == -EOPNOTSUPP || moved == -EINVAL)
                    inKernel = false;
                else if (moved < 0)
                    return kCopyIoFailed;
            }
            if (!inKernel) {
                if (!m_chunkBuffer)
                    m_chunkBuffer.reset(new char[kCopyBufferSize]);
                moved = std::min<std::int64_t>(static_cast<std::int64_t>(kCopyBufferSize), end - position);
                if (!MoveAt(in, out, position, m_chunkBuffer.get(), static_cast<std::size_t>(moved)))
                    return kCopyIoFailed;
            }
            position += moved;
            m_doneBytes += moved;
            showProgress(position, size);
            m_view.ProcessPendingInput();
        }
    }
    if (position < size) {
        if (!EndInHole(in, out, size))
            return kCopyIoFailed;
        passHole(position, size);
        showProgress(size, size);
    }
    return kCopyOk;
}

int FileOps::copyInBlocks(FileHandle& in, FileHandle& out, const CopyPlan& plan)
{
    const std::int64_t size = plan.size;
    DataRuns runs(in, size, plan.local && plan.sparse);
    std::int64_t position = 0;
    std::int64_t runEnd = 0;
    std::int64_t written = 0; // the end of the last block written
    std::int64_t budget = static_cast<std::int64_t>(kCopyBlockSize);
    std::uint64_t lastRefill = m_clock->TickMs();
    std::int64_t block = 1;
    char* const buffer = m_buffer.get();

    while (block != 0) {
        // Holes are passed at once: they cost no budget, since no byte of them is moved.
        if (position == runEnd && position < size) {
            std::int64_t start = size;
            std::int64_t end = size;
            const bool sparse = runs.Sparse();
            if (!runs.Next(position, start, end))
                start = end = size;
            passHole(position, start);
            if (sparse && position < size && (in.Seek(position) != 0 || out.Seek(position) != 0))
                return kCopyIoFailed;
            runEnd = end;
        }
        // No budget is waited for once the source is used up: the wait would only delay the
        // end of every speed-limited copy by one block's worth of time.
        if (m_speed != 0 && position < size) {
            const std::uint64_t now = m_clock->TickMs();
            if (now > lastRefill) {
                budget += static_cast<std::int64_t>(m_speed) * static_cast<std::int64_t>(now - lastRefill);
                lastRefill = now;
            }
            // A cancel is taken at once rather than after the budget for the next block has
            // built up, which at a low limit can take many seconds.
            if (budget < static_cast<std::int64_t>(kCopyBlockSize) && m_state != rsCancelled) {
                m_clock->SleepMs(1);
                m_view.ProcessPendingInput();
                continue;
            }
        }
        block = std::min<std::int64_t>(static_cast<std::int64_t>(kCopyBlockSize), runEnd - position);
        if (block > 0) {
            if (m_state == rsCancelled)
                return kCopyCancelled;
            const auto bytes = static_cast<std::size_t>(block);
            if (!ReadFully(in, buffer, bytes) || !WriteFully(out, buffer, bytes))
                return kCopyIoFailed;
            budget -= block;
            position += block;
            written = position;
            m_doneBytes += block;
            showProgress(position, size);
        }
        m_view.ProcessPendingInput();
    }
    if (written < size) {
        if (!EndInHole(in, out, size))
            return kCopyIoFailed;
        showProgress(size, size);
    }
    return kCopyOk;
}

void FileOps::SetTrash(bool toTrash, std::string run)
{
    m_toTrash = toTrash;
    m_trashRun = std::move(run);
}

std::uint32_t FileOps::TakeTrashed()
{
    return std::exchange(m_trashed, 0);
}

void FileOps::trashFailed(const std::string& path, int error)
{
    std::string reason;
    switch (error) {
    case EROFS:
        reason = Msg(kMsgTrashReadOnly);
        break;
    case ENOTSUP:
    case EXDEV:
        reason = Msg(kMsgTrashNoTrash);
        break;
    case EACCES:
    case EPERM:
        reason = Msg(kMsgTrashNoAccess);
        break;
    default:
        reason = std::strerror(error);
        break;
    }
    fail(ReplaceFirst(Msg(kMsgTrashFailed), reason) + path);
}

bool FileOps::DeleteFile(const std::string& path, std::string_view root)
{
    FileSystem& fs = fsFor(path);
    if (m_toTrash) {
        // Never a delete for good instead: a file that cannot go into the trash stays.
        const int rc = fs.MoveToTrash(path, TrashSpot{std::string(root), m_trashRun});
        if (rc != 0) {
            // Nothing there, or a folder where the file was: not a matter of the trash.
            // A path that no longer leads to it (a folder swapped for a link) likewise.
            if (rc == ENOENT || rc == EISDIR || rc == ENOTDIR || rc == ELOOP)
                fail(std::string(Msg(kMsgDeleteFailed)) + path);
            else
                trashFailed(path, rc);
            return false;
        }
        ++m_trashed;
        return true;
    }
    FileStat st;
    // The owner write bit is only added when missing, so a failed delete leaves the mode of a
    // writable file as it was.
    if (fs.Stat(path, st) == 0 && st.type == EntryType::File && (st.mode & 0200) == 0)
        fs.SetMode(path, (st.mode & 07777) | 0200);
    if (fs.RemoveFile(path) != 0) {
        fail(std::string(Msg(kMsgDeleteFailed)) + path);
        return false;
    }
    return true;
}

void FileOps::SyncEmptyFolders(const TRunLists& lists, const std::string& hostRoot, const std::string& mirrorRoot,
                               TAction emptyDir, RunState& state)
{
    if (emptyDir == acIgnore)
        return;
    const TFolderIndex inHost(lists.HostFolders);
    const TFolderIndex inMirror(lists.MirrorFolders);
    // A folder below a place the other side could not list is not known to be missing there.
    const TUnlistedPaths hostUnlisted(lists.HostUnlisted);
    const TUnlistedPaths mirrorUnlisted(lists.MirrorUnlisted);

    // One side's empty folders; the rule is the same for both sides with the roles swapped.
    // `copyAction` copies this side's folder to the other side, `removeAction` (the other
    // direction) removes it here, as delete does even where the other side has the folder.
    const auto step = [&](const TFolderList& folders, const std::string& ownRoot, const std::string& otherRoot,
                          const TFolderIndex& onOtherSide, const TUnlistedPaths& ownUnlisted,
                          const TUnlistedPaths& otherUnlisted, TAction copyAction, TAction removeAction) {
        for (const TFolderLine& line : folders) {
            // A folder whose own listing failed is not known to be empty.
            if (line.Value != 0 || ownUnlisted.Covers(line.Path))
                continue;
            m_view.ProcessPendingInput();
            if (state == rsCancelled || state == rsTooManyErrors)
                return false;
            state = rsExecMirror;
            const std::string own = JoinPath(ownRoot, line.Path);
            const bool elsewhere = onOtherSide.Find(line.Path) >= 0 || otherUnlisted.Covers(line.Path);
            if (emptyDir == acDelete || (!elsewhere && emptyDir == removeAction)) {
                m_view.SetLabel(RunLabel::Operation, Performing(acDelete));
                m_view.SetLabel(RunLabel::Item, own);
                fsFor(own).RemoveDir(own);
            } else if (!elsewhere && emptyDir == copyAction) {
                m_view.SetLabel(RunLabel::Operation, Performing(copyAction));
                m_view.SetLabel(RunLabel::Item, own);
                const std::string other = JoinPath(otherRoot, line.Path);
                MakeDirsBelow(fsFor(other), otherRoot, other);
            }
        }
        return true;
    };

    if (step(lists.HostFolders, hostRoot, mirrorRoot, inMirror, hostUnlisted, mirrorUnlisted, acHostToMirror,
             acMirrorToHost))
        step(lists.MirrorFolders, mirrorRoot, hostRoot, inHost, mirrorUnlisted, hostUnlisted, acMirrorToHost,
             acHostToMirror);
}

} // namespace pelmora
