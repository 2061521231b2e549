#pragma once
// The decisions of a run start, without a window: whether the task can run at all (both
// folders given, some action set), its roots (environment names expanded, no trailing
// separator), the share to log in to, its mask lists, and the refusal of a run that would
// wipe one side. The window asks these functions, then does what needs it: the boxes, the
// run lock, the share login, the run window. UI thread (the wipe check reads the disk).

#include "core/SyncTask.h"
#include "sync/ExitStatus.h"
#include "sync/RunDriver.h"

#include <optional>
#include <string>

namespace pelmora {

// The task to start and how it was started.
struct RunStartInput
{
    const TSyncTask* Task = nullptr; // not owned; the selected task, nullptr when none is
    std::string TaskName;
    // The two folders as the editor shows them (may hold %NAME% and a trailing separator).
    std::string HostFolder;
    std::string MirrorFolder;
    bool AutoRun = false;      // a command-line start: no box at all
    bool CopyAll = false;      // "-C": the mirror is treated as empty
    bool ScheduledRun = false; // started by the scheduler
};

// Why a task does not run, and who is told.
struct RunRefusal
{
    std::string Reason;    // the message text, shown and logged as it is
    bool ShowBox = false;  // an "Error" box: someone started the task and may read it
    bool LogBlock = false; // a block in the result log: stamp, start line, reason, separator
    int ExitStatus = kExitRefused;
};

// The share session a run needs before it starts. Empty RemoteName: no login; the folders
// are reached with the user's own rights (a share then as a guest).
struct ShareLogin
{
    std::string RemoteName; // "//server/share" (up to the fourth separator of the root)
    std::string UserName;
    std::string Password;
};

struct PreparedRun
{
    std::optional<RunRefusal> Refusal; // set: nothing below is filled
    // Task, name, roots, masks and run-mode flags; ResultShown is left to the caller.
    RunRequest Request;
    ShareLogin Share;
};

// True when nobody may be there to read a box: a command-line, scheduled or auto-mode run.
bool IsUnattended(const RunStartInput& input);

// Checks and prepares the start of input.Task. Refuses, in this order: no task selected
// (silently); an empty host or mirror folder in the record (kMsgInvalidFolders); all six
// actions "ignore" (kMsgNoOperation). Both refusals show a box unless AutoRun and are logged
// when unattended. Otherwise the roots are the editor's folders with one trailing separator
// removed, then environment names expanded; the share login is planned for the host root
// when it is a network path, else the mirror root, and only when the task has a user name or
// a password; the masks are the lines of the task's three lists, whether or not their
// switches are on. A root on a share while the SMB client library cannot be loaded refuses the
// run as ShareLoginRefusal does, with the loader's reason (NetClientError()) as its text.
PreparedRun PrepareRun(const RunStartInput& input);

// The refusal when another run holds the task's run lock: always logged, a box unless
// unattended.
RunRefusal RunLockRefusal(const RunStartInput& input);

// The refusal when the share login failed: a box unless AutoRun or the task's auto mode,
// logged when unattended.
RunRefusal ShareLoginRefusal(const RunStartInput& input);

// After the login: refuses a run whose host root is not an existing folder while files only
// in the mirror are to be deleted (kMsgHostMissingRefused and the root), or whose mirror root
// is missing while files only in the host are to be deleted (kMsgMirrorMissingRefused). Such
// a refusal is always logged, and shown in a box unless unattended. nullopt: the run may go.
std::optional<RunRefusal> WipeRefusal(const RunStartInput& input, const PreparedRun& prepared);

} // namespace pelmora
