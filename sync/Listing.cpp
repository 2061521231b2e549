#include "sync/Listing.h"

#include "core/DateTime.h"
#include "platform/FileSystem.h"
#include "platform/NetPath.h"
#include "platform/PartialFiles.h"
#include "platform/Trash.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace pelmora {

namespace {

std::string_view lastComponent(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool isRecycleFolder(std::string_view name)
{
    if (name.size() != 8)
        return false;
    char upper[8];
    for (int i = 0; i < 8; ++i)
        upper[i] = FoldAscii(name[static_cast<std::size_t>(i)]);
    const std::string_view u(upper, 8);
    return u == "RECYCLED" || u == "RECYCLER";
}

// The trash folders a side's root may hold: a mount's desktop trash (".Trash", ".Trash-<uid>")
// and the one a run keeps on a share.
bool isRootTrashFolder(std::string_view rel)
{
    if (rel.size() < 2 || rel.front() != '/' || rel.find('/', 1) != std::string_view::npos)
        return false;
    const std::string_view name = rel.substr(1);
    if (name == ".Trash" || name == kRunTrashFolder)
        return true;
    constexpr std::string_view kOwn = ".Trash-";
    return name.size() > kOwn.size() && name.substr(0, kOwn.size()) == kOwn &&
           name.find_first_not_of("0123456789", kOwn.size()) == std::string_view::npos;
}

// A name from a file-type list that would reach outside the two roots is not a file name.
bool isBareFileName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

} // namespace

TRunMasks TRunMasks::Compile(const std::vector<std::string>& ignore, const std::vector<std::string>& del,
                             const std::vector<std::string>& onlyType)
{
    TRunMasks masks;
    masks.IgnoreMasks = TMaskList(ignore);
    masks.DelMasks = TMaskList(del);
    masks.OnlyTypeMasks = TMaskList(onlyType);
    return masks;
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> ExcludeLines(const TSyncTask& task)
{
    const std::size_t len = strnlen(task.ExcludeList, sizeof task.ExcludeList);
    return SplitLines(std::string_view(task.ExcludeList, len));
}

SideLister::SideLister(const TSyncTask& task, const RunState& state, const TRunMasks& masks, TRunLists& lists,
                       ListingObserver* observer)
    : m_task(task), m_state(state), m_masks(masks), m_lists(lists), m_observer(observer),
      m_excludeLines(ExcludeLines(task))
{
    SchDir.Mask = "*.*";
    SchDir.IntoSubDir = true;
    SchDir.OnEnquiryOperation = [this](TSearchDir& s, TFoundItemType t, std::string_view item, TSearchOperation& op) {
        SchDirEnquiryOperation(s, t, item, op);
    };
    SchDir.OnFoundItem = [this](TSearchDir& s, TFoundItemType t, std::string_view item, std::int64_t& size,
                                std::uint32_t age,
                                std::uint32_t attr) { SchDirFoundItem(s, t, item, size, age, attr); };
    SchDir.OnProgress = [this](TSearchDir& s, std::string_view dir) { SchDirSearching(s, dir); };
    SchDir.OnUnlisted = [this](TSearchDir& s, TUnlistedKind kind, std::string_view item, int error) {
        SchDirUnlisted(s, kind, item, error);
    };
    SchDir.OnPartialFile = [this](TSearchDir& s, std::string_view item) { SchDirPartialFile(s, item); };
}

void SideLister::ListHost(std::string_view root)
{
    if (m_task.SyncType == tyFolder)
        SchDir.IntoSubDir = IsSet(m_task.IntoSub);
    listSide(TRunSide::Host, root);
}

void SideLister::ListMirror(std::string_view root)
{
    // The same value the host listing took, also when the mirror is listed by a lister of its own.
    if (m_task.SyncType == tyFolder)
        SchDir.IntoSubDir = IsSet(m_task.IntoSub);
    listSide(TRunSide::Mirror, root);
}

void SideLister::listSide(TRunSide side, std::string_view root)
{
    m_side = side;
    m_root.assign(root);
    m_stalePartials.clear();
    if (m_task.SyncType == tyFile) {
        listFiles(side, root);
        return;
    }
    SchDir.Root = m_root;
    SchDir.FS = m_fs;
    m_homeTrash = HomeTrashFolder();
    identifyOtherRoot(m_fs ? *m_fs : FileSystemFor(root));
    if (side == TRunSide::Mirror) {
        // One sort at the end instead of a sorted insert per file.
        m_lists.MirrorFiles.BeginBulk();
        try {
            SchDir.Execute();
        } catch (...) {
            m_lists.MirrorFiles.EndBulk();
            throw;
        }
        m_lists.MirrorFiles.EndBulk();
    } else {
        SchDir.Execute();
    }
}

void SideLister::listFiles(TRunSide side, std::string_view root)
{
    FileSystem& fs = m_fs ? *m_fs : FileSystemFor(root);
    for (const std::string& line : m_excludeLines) {
        if (cancelFlagged())
            return;
        if (!isBareFileName(line) || IsPartialFileName(line))
            continue;
        std::string rel = "/" + line;
        std::string full(root);
        if (full != "/")
            full.append(rel);
        else
            full = rel;
        FileStat st;
        const int found = fs.Stat(full, st);
        if (found != 0 || st.type != EntryType::File) {
            // Only a name that is plainly absent is missing on this side. One that could not be
            // looked at, or is something other than a file (a folder, a dangling link, a FIFO),
            // must be neither replaced nor mirrored away.
            TFolderList& unlisted = side == TRunSide::Host ? m_lists.HostUnlisted : m_lists.MirrorUnlisted;
            if (found == 0)
                unlisted.Add(rel, kUnlistedNotFileOrFolder);
            else if (found != ENOENT && found != ENOTDIR) {
                unlisted.Add(rel, kUnlistedNotRead);
                if (m_observer)
                    m_observer->EntryNotRead(full);
            }
            continue;
        }
        std::int64_t size = st.size;
        std::unique_ptr<FileHandle> handle;
        if (fs.OpenRead(full, handle) != 0)
            size = -1;
        else
            handle->Close();
        const TFileOp op = side == TRunSide::Host ? opNone : ToFileOp(m_task.InMirror);
        auto rec = TMFileInfoRec::Create(rel, size, UnixToDos(st.mtimeSec), op,
                                         side == TRunSide::Host ? m_lists.HostRecords : m_lists.MirrorRecords);
        if (side == TRunSide::Host) {
            m_lists.HostFiles.Add(std::move(rec));
        } else {
            m_lists.MirrorFiles.Add(rec.get());
            rec.release();
        }
    }
    // The copies of this type write their temporary files into the root itself; no search
    // passes there, so the root is looked through for leftovers on its own.
    std::string base(root);
    if (base.empty() || base.back() != '/')
        base.push_back('/');
    fs.ListDir(base, [&](const DirEntry& e) {
        if (e.stat.type == EntryType::File && IsPartialFileName(e.name))
            SchDirPartialFile(SchDir, base + std::string(e.name));
        return true;
    });
}

std::string_view SideLister::relative(std::string_view full) const
{
    // The file-system root "/" is the only root that ends in a separator; its relative paths
    // keep their leading "/".
    std::size_t cut = m_root.size();
    if (!m_root.empty() && m_root.back() == '/')
        --cut;
    return cut <= full.size() ? full.substr(cut) : std::string_view();
}

void SideLister::SchDirEnquiryOperation(TSearchDir& Sender, TFoundItemType ItemType, std::string_view Item,
                                        TSearchOperation& Operation)
{
    if (m_state == rsCancelled || cancelFlagged()) {
        Operation = soSkip;
        return;
    }
    if (ItemType == itFile)
        return;
    if (isOtherRoot(Sender, Item)) {
        Operation = soSkip;
        return;
    }
    const std::string_view rel = relative(Item);
    // The home trash too, where a side holds it (a task on the home folder): what a run put
    // there must not come back as files of that side.
    if (isRecycleFolder(lastComponent(Item)) || isRootTrashFolder(rel) || Item == m_homeTrash) {
        Operation = soSkip;
        return;
    }
    bool listed = false;
    for (const std::string& line : m_excludeLines) {
        if (SameName(line, rel)) {
            listed = true;
            break;
        }
    }
    const bool onlyDirs = IsSet(m_task.OnlyDirs);
    Operation = (listed == onlyDirs) ? soTake : soSkip;
}

void SideLister::SchDirFoundItem(TSearchDir&, TFoundItemType ItemType, std::string_view Item, std::int64_t& ItemSize,
                                 std::uint32_t Age, std::uint32_t)
{
    const RunState wanted = m_side == TRunSide::Host ? rsListHost : rsListMirror;
    if (m_state != wanted || cancelFlagged())
        return;
    const std::string_view rel = relative(Item);
    TFolderList& folders = m_side == TRunSide::Host ? m_lists.HostFolders : m_lists.MirrorFolders;
    if (ItemType == itFolder) {
        folders.Add(rel, static_cast<std::uint32_t>(ItemSize));
        return;
    }
    const std::string_view name = lastComponent(rel);
    if (IsSet(m_task.OnlyTypeOn) && !m_masks.OnlyTypeMasks.MatchesAny(name))
        return;
    if (IsSet(m_task.IgnoreOn) && m_masks.IgnoreMasks.MatchesAny(name))
        return;
    TFileOp op = m_side == TRunSide::Host ? opNone : ToFileOp(m_task.InMirror);
    if (IsSet(m_task.DelOn) && m_masks.DelMasks.MatchesAny(name))
        op = opDelete;
    auto rec = TMFileInfoRec::Create(rel, ItemSize, Age, op,
                                     m_side == TRunSide::Host ? m_lists.HostRecords : m_lists.MirrorRecords);
    if (m_side == TRunSide::Host) {
        m_lists.HostFiles.Add(std::move(rec));
    } else {
        m_lists.MirrorFiles.AddBulk(rec.get());
        rec.release();
    }
}

void SideLister::SchDirUnlisted(TSearchDir&, TUnlistedKind Kind, std::string_view Item, int Error)
{
    std::string_view rel = relative(Item);
    if (rel == "/")
        rel = {}; // the root "/" itself: everything below it
    // Nothing is known of what lies at this path on this side: the other side's file or folder
    // of the same path, and everything below it, must be left alone.
    (m_side == TRunSide::Host ? m_lists.HostUnlisted : m_lists.MirrorUnlisted)
        .Add(rel, Kind == TUnlistedKind::NotFileOrFolder ? kUnlistedNotFileOrFolder : kUnlistedNotRead);
    if (!m_observer || Error == 0)
        return;
    if (Kind == TUnlistedKind::FolderNotListed)
        m_observer->FolderNotRead(Item);
    else
        m_observer->EntryNotRead(Item);
}

void SideLister::identifyOtherRoot(FileSystem& fs)
{
    m_otherDevice = m_otherInode = 0;
    m_otherShare.clear();
    m_otherSharePath.clear();
    if (m_otherRoot.empty())
        return;
    if (IsNetworkPath(m_otherRoot)) {
        NetPath net;
        if (ParseNetPath(m_otherRoot, net)) {
            m_otherShare = NetShareKey(net);
            m_otherSharePath = net.subPath;
        }
        return;
    }
    // The other root is looked at through the file system of this side, which serves every
    // local path; with a trailing separator a root named through a link is the folder it names.
    FileStat st;
    if (fs.Stat(m_otherRoot + "/", st) == 0 && st.type == EntryType::Dir) {
        m_otherDevice = st.device;
        m_otherInode = st.inode;
    }
}

bool SideLister::isOtherRoot(const TSearchDir& sender, std::string_view folder) const
{
    if (folder == m_otherRoot)
        return true;
    if (m_otherInode != 0) {
        const FileStat& st = sender.ItemStat();
        return st.inode == m_otherInode && st.device == m_otherDevice;
    }
    if (!m_otherShare.empty()) {
        NetPath net;
        return ParseNetPath(folder, net) && NetShareKey(net) == m_otherShare && SameName(net.subPath, m_otherSharePath);
    }
    return false;
}

void SideLister::SchDirPartialFile(TSearchDir&, std::string_view Item)
{
    if (ClassifyPartialFile(lastComponent(Item)) == PartialState::Stale)
        m_stalePartials.emplace_back(Item);
}

void SideLister::SchDirSearching(TSearchDir&, std::string_view Directory)
{
    if (!m_observer)
        return;
    m_observer->SearchingFolder(Directory);
    m_observer->ProcessPendingInput();
}

void ListingMailbox::SearchingFolder(std::string_view directory)
{
    std::lock_guard lock(m_mutex);
    m_folder.assign(directory);
    m_folderNew = true;
}

void ListingMailbox::FolderNotRead(std::string_view folder)
{
    std::lock_guard lock(m_mutex);
    m_failures.push_back({true, std::string(folder)});
}

void ListingMailbox::EntryNotRead(std::string_view item)
{
    std::lock_guard lock(m_mutex);
    m_failures.push_back({false, std::string(item)});
}

void ListingMailbox::Close()
{
    {
        std::lock_guard lock(m_mutex);
        m_ended = true;
    }
    m_endedSignal.notify_all();
}

bool ListingMailbox::WaitEnded(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_endedSignal.wait_for(lock, timeout, [this] { return m_ended; });
}

bool ListingMailbox::TakeFolder(std::string& out)
{
    std::lock_guard lock(m_mutex);
    if (!m_folderNew)
        return false;
    out.swap(m_folder);
    m_folderNew = false;
    return true;
}

std::vector<ListingMailbox::Failure> ListingMailbox::TakeFailures()
{
    std::lock_guard lock(m_mutex);
    std::vector<Failure> out;
    out.swap(m_failures);
    return out;
}

MirrorListingThread::MirrorListingThread(const TSyncTask& task, const TRunMasks& masks, std::string root,
                                         std::string otherRoot, FileSystem& fs)
    : m_task(task), m_masks(masks), m_root(std::move(root)), m_otherRoot(std::move(otherRoot)), m_fs(fs),
      m_thread([this] { run(); })
{
}

MirrorListingThread::~MirrorListingThread()
{
    Cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void MirrorListingThread::run()
{
    try {
        SideLister lister(m_task, m_state, m_masks, m_lists, &m_mailbox);
        lister.SetFileSystem(&m_fs);
        lister.SetCancelFlag(&m_cancel);
        lister.SetOtherRoot(m_otherRoot);
        lister.ListMirror(m_root);
        m_stalePartials = lister.StalePartials();
    } catch (...) {
        m_error = std::current_exception();
    }
    m_mailbox.Close();
}

void MirrorListingThread::Join()
{
    if (m_thread.joinable())
        m_thread.join();
    if (m_error)
        std::rethrow_exception(std::exchange(m_error, nullptr));
}

// An open file of a SerializedFileSystem: its calls take the same lock.
class SerializedFileSystem::Handle final : public FileHandle
{
public:
    Handle(std::unique_ptr<FileHandle> inner, std::shared_ptr<std::recursive_mutex> mutex)
        : m_inner(std::move(inner)), m_mutex(std::move(mutex))
    {
    }
    ~Handle() override
    {
        std::lock_guard lock(*m_mutex);
        m_inner.reset();
    }
    std::int64_t Read(void* buffer, std::size_t size) override
    {
        std::lock_guard lock(*m_mutex);
        return m_inner->Read(buffer, size);
    }
    std::int64_t Write(const void* buffer, std::size_t size) override
    {
        std::lock_guard lock(*m_mutex);
        return m_inner->Write(buffer, size);
    }
    int Close() override
    {
        std::lock_guard lock(*m_mutex);
        return m_inner->Close();
    }
    int Stat(FileStat& out) override
    {
        std::lock_guard lock(*m_mutex);
        return m_inner->Stat(out);
    }
    int SetMTime(std::int64_t mtimeSec) override
    {
        std::lock_guard lock(*m_mutex);
        return m_inner->SetMTime(mtimeSec);
    }
    int SetMode(std::uint32_t mode) override
    {
        std::lock_guard lock(*m_mutex);
        return m_inner->SetMode(mode);
    }

private:
    std::unique_ptr<FileHandle> m_inner;
    std::shared_ptr<std::recursive_mutex> m_mutex;
};

int SerializedFileSystem::ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry)
{
    std::lock_guard lock(*m_mutex);
    return m_inner.ListDir(path, onEntry);
}

int SerializedFileSystem::Stat(const std::string& path, FileStat& out)
{
    std::lock_guard lock(*m_mutex);
    return m_inner.Stat(path, out);
}

int SerializedFileSystem::OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out)
{
    std::lock_guard lock(*m_mutex);
    std::unique_ptr<FileHandle> inner;
    const int rc = m_inner.OpenRead(path, inner);
    if (inner)
        out = std::make_unique<Handle>(std::move(inner), m_mutex);
    return rc;
}

int SerializedFileSystem::CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out)
{
    std::lock_guard lock(*m_mutex);
    std::unique_ptr<FileHandle> inner;
    const int rc = m_inner.CreateNew(path, inner);
    if (inner)
        out = std::make_unique<Handle>(std::move(inner), m_mutex);
    return rc;
}

int SerializedFileSystem::Rename(const std::string& from, const std::string& to)
{
    std::lock_guard lock(*m_mutex);
    return m_inner.Rename(from, to);
}

int SerializedFileSystem::RenameNew(const std::string& from, const std::string& to)
{
    std::lock_guard lock(*m_mutex);
    return m_inner.RenameNew(from, to);
}

int SerializedFileSystem::SetMTime(const std::string& path, std::int64_t mtimeSec)
{
    std::lock_guard lock(*m_mutex);
    return m_inner.SetMTime(path, mtimeSec);
}

int SerializedFileSystem::SetMode(const std::string& path, std::uint32_t mode)
{
    std::lock_guard lock(*m_mutex);
    return m_inner.SetMode(path, mode);
}

int SerializedFileSystem::MakeDir(const std::string& path)
{
    std::lock_guard lock(*m_mutex);
    return m_inner.MakeDir(path);
}

int SerializedFileSystem::RemoveDir(const std::string& path)
{
    std::lock_guard lock(*m_mutex);
    return m_inner.RemoveDir(path);
}

int SerializedFileSystem::RemoveFile(const std::string& path)
{
    std::lock_guard lock(*m_mutex);
    return m_inner.RemoveFile(path);
}

int SerializedFileSystem::MoveToTrash(const std::string& path, const TrashSpot& spot)
{
    std::lock_guard lock(*m_mutex);
    return m_inner.MoveToTrash(path, spot);
}

int SerializedFileSystem::ReplaceIntoTrash(const std::string& from, const std::string& to, bool toListed,
                                           const TrashSpot& spot, TrashOutcome& outcome)
{
    std::lock_guard lock(*m_mutex);
    return m_inner.ReplaceIntoTrash(from, to, toListed, spot, outcome);
}

} // namespace pelmora
