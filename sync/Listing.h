#pragma once
// The listing of one side of a run: the engine's half of the synchronisation window's
// scanner handlers (SchDirEnquiryOperation, SchDirFoundItem, SchDirSearching) and the
// file-type listing. Fills the run's lists; the run driver calls it on the UI thread, and
// MirrorListingThread runs one on a worker thread of its own with lists of its own.

#include "core/SyncTask.h"
#include "sync/FileLists.h"
#include "sync/Mask.h"
#include "sync/RunState.h"
#include "sync/SearchDir.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pelmora {

// What the listing tells the window that shows the run.
class ListingObserver
{
public:
    virtual ~ListingObserver() = default;
    // The folder being searched, for the window's file-name line.
    virtual void SearchingFolder(std::string_view directory) = 0;
    // Lets the window system handle pending input, so Cancel works during a scan.
    virtual void ProcessPendingInput() = 0;
    // A folder (full path) whose contents could not be listed; the run logs and counts it.
    virtual void FolderNotRead(std::string_view folder) { (void)folder; }
    // An entry (full path) whose type or attributes could not be read; logged and counted.
    virtual void EntryNotRead(std::string_view item) { (void)item; }
};

// The run's three mask lists, compiled once at run start.
struct TRunMasks
{
    TMaskList IgnoreMasks;
    TMaskList DelMasks;
    TMaskList OnlyTypeMasks;

    // Throws EMaskError for the first invalid mask (ignore, then delete, then only-these).
    static TRunMasks Compile(const std::vector<std::string>& ignore, const std::vector<std::string>& del,
                             const std::vector<std::string>& onlyType);
};

// The lines of a CR LF separated text (the task's folder list and mask lists), without the
// line ends; a last line without an end is kept, an empty text gives no lines.
std::vector<std::string> SplitLines(std::string_view text);
// The task's folder list (ExcludeList) as lines.
std::vector<std::string> ExcludeLines(const TSyncTask& task);

enum class TRunSide {
    Host,
    Mirror,
};

class SideLister
{
public:
    // All references must outlive the lister. `state` is the run state the driver changes
    // while the listing runs (a cancel arrives through it). `observer` may be null.
    SideLister(const TSyncTask& task, const RunState& state, const TRunMasks& masks, TRunLists& lists,
               ListingObserver* observer);
    // The lister keeps references: temporaries would dangle.
    SideLister(TSyncTask&&, const RunState&, const TRunMasks&, TRunLists&, ListingObserver*) = delete;
    SideLister(const TSyncTask&, const RunState&, TRunMasks&&, TRunLists&, ListingObserver*) = delete;

    // The file system to list; nullptr (the default) takes FileSystemFor(root).
    void SetFileSystem(FileSystem* fs) { m_fs = fs; }
    // A cancel that arrives from another thread: once the flag is set the listing takes
    // nothing more and enters no further folder, as with the run state rsCancelled.
    void SetCancelFlag(const std::atomic<bool>* flag) { m_cancel = flag; }
    // The other side's root. When it lies inside the root being listed, the folder is neither
    // entered nor reported: its files belong to the other side, and taking them as this
    // side's would have the run delete or copy them as if they were. The folder is recognised
    // by what it is, not by how the root is spelled: by device and inode on a local file
    // system (through links, "//", "./" and "x/.." alike), by the normalised share path on a
    // network one.
    void SetOtherRoot(std::string_view root) { m_otherRoot.assign(root); }

    // Lists the host side into HostFiles / HostFolders (appended in scan order). In folder
    // type the scanner's IntoSubDir is taken from the task first. The caller clears the lists
    // and sets the run state (rsListHost) beforehand, as the run's phases do. Throws
    // EMaskError only for an invalid scanner Mask.
    void ListHost(std::string_view root);
    // Lists the mirror side into MirrorFiles (sorted) / MirrorFolders; folder type expects
    // the run state rsListMirror. IntoSubDir is the task's IntoSub, as for the host side.
    void ListMirror(std::string_view root);

    // The scanner's handlers; public so that a window can also wire them itself.
    void SchDirEnquiryOperation(TSearchDir& Sender, TFoundItemType ItemType, std::string_view Item,
                                TSearchOperation& Operation);
    void SchDirFoundItem(TSearchDir& Sender, TFoundItemType ItemType, std::string_view Item, std::int64_t& ItemSize,
                         std::uint32_t Age, std::uint32_t Attr);
    void SchDirSearching(TSearchDir& Sender, std::string_view Directory);
    // Records a path whose contents stay unknown on this side (see TRunLists::HostUnlisted)
    // and reports a folder that failed to list to the observer.
    void SchDirUnlisted(TSearchDir& Sender, TUnlistedKind Kind, std::string_view Item, int Error);
    // Notes a temporary file of a copy whose writer is gone (see StalePartials).
    void SchDirPartialFile(TSearchDir& Sender, std::string_view Item);

    // The temporary files of copies (full paths) that the last listing found and whose writers
    // are gone, for the run to clear away. Files that a live process may still be writing, and
    // those written on another machine, are not among them.
    const std::vector<std::string>& StalePartials() const { return m_stalePartials; }

    // The scanner, with Mask "*.*" and IntoSubDir true as the run window sets it up.
    TSearchDir SchDir;

private:
    void listSide(TRunSide side, std::string_view root);
    void listFiles(TRunSide side, std::string_view root);
    std::string_view relative(std::string_view full) const;
    // Learns how to recognise the other side's root while listing this side.
    void identifyOtherRoot(FileSystem& fs);
    bool isOtherRoot(const TSearchDir& sender, std::string_view folder) const;
    bool cancelFlagged() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

    const TSyncTask& m_task;
    const RunState& m_state;
    const TRunMasks& m_masks;
    TRunLists& m_lists;
    ListingObserver* m_observer;
    FileSystem* m_fs = nullptr;
    const std::atomic<bool>* m_cancel = nullptr;
    std::vector<std::string> m_excludeLines;
    TRunSide m_side = TRunSide::Host;
    std::string m_root;
    std::string m_otherRoot;
    std::uint64_t m_otherDevice = 0; // the other root's folder, when it is a local one
    std::uint64_t m_otherInode = 0;
    std::string m_otherShare; // the other root's share key and path below it, on a share
    std::string m_otherSharePath;
    std::vector<std::string> m_stalePartials;
    std::string m_homeTrash; // the desktop's home trash folder, never listed
};

// What a listing on a worker thread tells its observer, kept for the UI thread, which takes it
// when it has time: the folder searched last (earlier ones are of no more use to a window)
// and every place that could not be read, in the order they were met. The worker calls the
// ListingObserver side, the UI thread the Take and Wait side; nothing here calls a window.
class ListingMailbox final : public ListingObserver
{
public:
    struct Failure
    {
        bool folder = false; // true: FolderNotRead, false: EntryNotRead
        std::string path;
    };

    void SearchingFolder(std::string_view directory) override;
    // The worker has no window to let breathe.
    void ProcessPendingInput() override {}
    void FolderNotRead(std::string_view folder) override;
    void EntryNotRead(std::string_view item) override;
    // The listing has ended; wakes a waiting WaitEnded.
    void Close();

    // Waits at most `timeout` for the end of the listing; true once it has ended.
    bool WaitEnded(std::chrono::milliseconds timeout);
    // The folder searched last, when one was searched since the previous call.
    bool TakeFolder(std::string& out);
    // The failures reported since the previous call, oldest first.
    std::vector<Failure> TakeFailures();

private:
    std::mutex m_mutex;
    std::condition_variable m_endedSignal;
    std::string m_folder;
    bool m_folderNew = false;
    std::vector<Failure> m_failures;
    bool m_ended = false;
};

// The mirror side of a run listed on a worker thread, while the UI thread lists the host
// side. The worker works on copies of the task, the masks and the roots, fills lists of its
// own and reports only through its mailbox; the UI thread takes the lists after Join. The
// file system given is used by the worker alone until Join (the caller gives it one of its
// own, or one that serialises its calls).
class MirrorListingThread
{
public:
    // Starts the listing at once. `fs` is not owned and must outlive the thread.
    MirrorListingThread(const TSyncTask& task, const TRunMasks& masks, std::string root, std::string otherRoot,
                        FileSystem& fs);
    // Cancels and waits for a listing that is still going on.
    ~MirrorListingThread();
    MirrorListingThread(const MirrorListingThread&) = delete;
    MirrorListingThread& operator=(const MirrorListingThread&) = delete;

    // Asks the listing to stop; it takes nothing more. Returns at once.
    void Cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    ListingMailbox& Mailbox() { return m_mailbox; }
    // Waits for the worker. Rethrows what the listing threw (EMaskError for an invalid mask).
    void Join();

    // After Join: what the listing found (MirrorFiles, MirrorFolders, MirrorUnlisted) and the
    // stale temporary files of copies that it met.
    TRunLists& Lists() { return m_lists; }
    const std::vector<std::string>& StalePartials() const { return m_stalePartials; }

private:
    void run();

    const TSyncTask m_task;
    const TRunMasks m_masks;
    const std::string m_root;
    const std::string m_otherRoot;
    FileSystem& m_fs;
    const RunState m_state = rsListMirror;
    std::atomic<bool> m_cancel{false};
    ListingMailbox m_mailbox;
    TRunLists m_lists;
    std::vector<std::string> m_stalePartials;
    std::exception_ptr m_error;
    std::thread m_thread;
};

// A file system whose calls, those of the files it opens included, are made one at a time
// under one lock. A run's two listings share the file system a test sets this way, because
// such a file system (a fault-injecting one) keeps state of its own.
class SerializedFileSystem final : public FileSystem
{
public:
    explicit SerializedFileSystem(FileSystem& inner) : m_inner(inner) {}

    int ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry) override;
    int Stat(const std::string& path, FileStat& out) override;
    int OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out) override;
    int CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out) override;
    int Rename(const std::string& from, const std::string& to) override;
    int RenameNew(const std::string& from, const std::string& to) override;
    int SetMTime(const std::string& path, std::int64_t mtimeSec) override;
    int SetMode(const std::string& path, std::uint32_t mode) override;
    int MakeDir(const std::string& path) override;
    int RemoveDir(const std::string& path) override;
    int RemoveFile(const std::string& path) override;
    int MoveToTrash(const std::string& path, const TrashSpot& spot) override;
    int ReplaceIntoTrash(const std::string& from, const std::string& to, bool toListed, const TrashSpot& spot,
                         TrashOutcome& outcome) override;

private:
    class Handle;
    FileSystem& m_inner;
    std::shared_ptr<std::recursive_mutex> m_mutex = std::make_shared<std::recursive_mutex>();
};

} // namespace pelmora
