#pragma once
// FileOps: the single operations of a run — copying one file (in 16 KiB blocks under the speed
// limit, else inside the kernel in large chunks), with progress display and cancel check,
// deleting one file, and the empty-folder step.
// Failures become result codes and result-log lines. Used by the run driver on the UI thread.

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "sync/FileLists.h"
#include "sync/RunProgress.h"
#include "sync/RunState.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

namespace pelmora {

class RunView;
class SyncLog;

// CopyFile result codes.
inline constexpr int kCopyOk = 0;
inline constexpr int kCopySourceFailed = 1; // the source could not be opened
inline constexpr int kCopyTargetFailed = 2; // the target could not be created
inline constexpr int kCopyIoFailed = 3;     // reading or writing a block failed
inline constexpr int kCopyCancelled = 4;    // the run was cancelled before a block

inline constexpr std::size_t kCopyBlockSize = 16384;
// A copy without a speed limit between two local files moves this much per kernel call; the
// cancel check and the progress display come between two chunks.
inline constexpr std::int64_t kCopyChunkSize = 4 * 1024 * 1024;
// The same copy moves its data through the process, in pieces of this size, where the kernel
// cannot copy between the two files.
inline constexpr std::size_t kCopyBufferSize = 1024 * 1024;

// Root + relative path; a root of "/" is not doubled ("/" + "/a" is "/a").
std::string JoinPath(std::string_view root, std::string_view relPath);

// The name of a run's folder in a share's trash: its local start time as "YYYY-MM-DD hhmmss".
std::string TrashRunName(std::time_t when);

// Creates `path` and every missing parent folder through `fs`. Failures are not reported (a
// later create of a file in it reports them). Returns true when the folder exists afterwards.
bool MakeDirs(FileSystem& fs, const std::string& path);
// The same for a folder below `root` (a side's root), where every component after the root
// must be a real folder: a link to a folder, or a file, in the way makes it fail, so nothing
// is ever written through a link out of the tree. Outside `root` it falls back to MakeDirs.
// Returns true when the folder exists afterwards and is reached through real folders only.
bool MakeDirsBelow(FileSystem& fs, std::string_view root, const std::string& path);

class FileOps
{
public:
    // `state` is the run's state, read before every block (the Cancel button changes it while
    // pending input is processed). `totalBytes` is the plan's byte total (the preview may have
    // changed it); `doneBytes` grows by every byte copied. All must outlive this object.
    FileOps(RunView& view, SyncLog& log, const RunState& state, const std::int64_t& totalBytes, std::int64_t& doneBytes,
            Clock& clock = SystemClock());
    ~FileOps();
    FileOps(const FileOps&) = delete;
    FileOps& operator=(const FileOps&) = delete;

    // The task's speed limit in KB/s (1000 bytes per millisecond); 0 or less: no limit.
    void SetSpeed(std::int32_t kbPerSecond) { m_speed = kbPerSecond > 0 ? kbPerSecond : 0; }
    // Forgets the gauge values last shown, at the start of a run whose window was reset.
    void ResetProgress();
    void SetClock(Clock& clock) { m_clock = &clock; }

    // Sends every call to `fs` instead of FileSystemFor(path) (tests inject failures this
    // way); nullptr restores the normal choice. Not owned.
    void SetFileSystem(FileSystem* fs) { m_fsOverride = fs; }

    // Copies `source` to `target`. The data goes to a temporary file beside the target, which
    // replaces the target only after its last block, with the source's time (to the even
    // second) and permission bits. Between local files the holes of a sparse source stay holes,
    // and without a speed limit the target is a clone where the file system can make one. Returns kCopyOk, or a failure
    // code after logging its line; after a failure the temporary file is gone and an existing target is unchanged.
    // `targetRoot` is cut from the front of `target` to give the relative path of messages.
    // `targetListed` false says the run's listing found no file at `target`.
    int CopyFile(const std::string& source, const std::string& target, std::string_view targetRoot,
                 bool targetListed = true);

    // Where deleted and replaced files go: with `toTrash` into the trash (the desktop trash
    // of their file system; on a share `<root>/.pelmora-trash/<run>/`, `run` being the run's
    // start as "YYYY-MM-DD hhmmss"), else nowhere: they are deleted for good (the default).
    void SetTrash(bool toTrash, std::string run = {});
    // Files moved into the trash since the counter was last taken; taking it resets it.
    std::uint32_t TakeTrashed();

    // Deletes one file (a read-only one too), or moves it into the trash (SetTrash). Returns
    // true when it is gone; false after logging "Failed to delete file" with the path, or the
    // trash's failure line with its reason (the file is then kept). `root` is the root of the
    // file's side.
    bool DeleteFile(const std::string& path, std::string_view root = {});

    // The empty-folder step after all file operations, for the task's EmptyDir action (0 does
    // nothing). Folder lines of value 0 are handled host list first, then mirror list, each in
    // list order; `state` becomes rsExecMirror per handled line, and the step stops as soon as
    // it is rsCancelled or rsTooManyErrors. Creating and removing report nothing.
    void SyncEmptyFolders(const TRunLists& lists, const std::string& hostRoot, const std::string& mirrorRoot,
                          TAction emptyDir, RunState& state);

    // Shows the total gauge and the total line for the bytes copied so far, as a copy does
    // after every block (for bytes that were copied elsewhere), and the progress line when it
    // is due.
    void ShowTotals();

    // The progress line (rate, time left, "file n of N") over the `fileCount` file operations
    // that follow; the bytes are those of the plan's total, counted from what is done now.
    void StartProgress(int fileCount);
    // Operation `number` (1-based) of those begins: the progress line is shown when due.
    void ShowOperation(int number);
    // The operations have ended (or broken off): the progress line is shown as it stands,
    // and not again until the next StartProgress().
    void FinishProgress();

private:
    FileSystem& fsFor(std::string_view path) const { return m_fsOverride ? *m_fsOverride : FileSystemFor(path); }
    void showProgress(std::int64_t position, std::int64_t size);
    // What a copy knows of its source and target before the data moves.
    struct CopyPlan
    {
        std::int64_t size = 0;
        bool local = false;  // both files local: holes can be found and kept
        bool sparse = false; // the source may have holes (it takes less disk than its size)
        bool clone = false;  // a clone is worth trying
    };
    // The data copies between the open source and the temporary file; each returns kCopyOk,
    // kCopyIoFailed or kCopyCancelled. copyInKernel needs two local files and no speed limit;
    // it clears plan.clone when the file system refused the clone.
    int copyInKernel(FileHandle& in, FileHandle& out, CopyPlan& plan);
    int copyInBlocks(FileHandle& in, FileHandle& out, const CopyPlan& plan);
    // Counts a hole from `position` up to `to` as copied and moves `position` there.
    void passHole(std::int64_t& position, std::int64_t to);
    void fail(std::string line);
    // Creates a new temporary file in `folder`; returns 0 or errno.
    int createPartial(const std::string& folder, std::string& path, std::unique_ptr<FileHandle>& out);
    void trashFailed(const std::string& path, int error);

    RunView& m_view;
    SyncLog& m_log;
    const RunState& m_state;
    const std::int64_t& m_totalBytes;
    std::int64_t& m_doneBytes;
    Clock* m_clock;
    std::int32_t m_speed = 0;
    FileSystem* m_fsOverride = nullptr;
    std::unique_ptr<char[]> m_buffer;      // the one block buffer, reused by every copy
    std::unique_ptr<char[]> m_chunkBuffer; // made when a kernel copy first has to be done by hand
    int m_fileGauge = -1;
    int m_totalGauge = -1;
    std::string m_totalLine;
    std::string m_doneText;
    std::string m_remainText;
    std::string m_knownFolder; // the target folder of the last copy, known to exist
    // A folder whose file system refused to clone from the source's device: the next copies
    // from that device into it skip the attempt.
    std::string m_noCloneFolder;
    std::uint64_t m_noCloneDevice = 0;
    bool m_toTrash = false;
    std::string m_trashRun;
    std::uint32_t m_trashed = 0;
    RunProgress m_progress;
    std::int64_t m_progressBase = 0; // m_doneBytes when the progress line started
};

} // namespace pelmora
