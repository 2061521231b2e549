#include "sync/PrepareRun.h"

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/FileSystem.h"
#include "platform/NetConnection.h"
#include "platform/NetPath.h"
#include "platform/PathText.h"
#include "sync/Listing.h"
#include "sync/SearchDir.h"

namespace pelmora {

namespace {

bool NoActionSet(const TSyncTask& task)
{
    return task.InMain == acIgnore && task.InMirror == acIgnore && task.SizeDiffer == acIgnore &&
           task.NewInMain == acIgnore && task.NewInMirror == acIgnore && task.EmptyDir == acIgnore;
}

RunRefusal Refusal(std::string reason, bool showBox, bool logBlock)
{
    return RunRefusal{std::move(reason), showBox, logBlock, kExitRefused};
}

// A root reached through a link to a folder is an existing folder too.
bool FolderExists(const std::string& path)
{
    return IsExistingFolder(FileSystemFor(path), path);
}

std::string RunRoot(const std::string& typed)
{
    return ExpandEnvVars(StripTrailingSeparator(typed));
}

} // namespace

bool IsUnattended(const RunStartInput& input)
{
    return input.AutoRun || input.ScheduledRun || (input.Task != nullptr && IsSet(input.Task->AutoMode));
}

PreparedRun PrepareRun(const RunStartInput& input)
{
    PreparedRun prepared;
    const TSyncTask* task = input.Task;
    if (task == nullptr) {
        prepared.Refusal = Refusal({}, false, false);
        return prepared;
    }
    const bool unattended = IsUnattended(input);
    if (ReadTextField(task->MainDir).empty() || ReadTextField(task->MirrorDir).empty()) {
        prepared.Refusal = Refusal(Msg(kMsgInvalidFolders), !input.AutoRun, unattended);
        return prepared;
    }
    if (NoActionSet(*task)) {
        prepared.Refusal = Refusal(Msg(kMsgNoOperation), !input.AutoRun, unattended);
        return prepared;
    }

    RunRequest& request = prepared.Request;
    request.Task = task;
    request.TaskName = input.TaskName;
    request.HostDir = RunRoot(input.HostFolder);
    request.MirrorDir = RunRoot(input.MirrorFolder);
    request.IgnoreMasks = SplitLines(ReadCountedField(task->IgnoreList));
    request.DelMasks = SplitLines(ReadCountedField(task->DelList));
    request.OnlyTypeMasks = SplitLines(ReadCountedField(task->OnlyTypeList));
    request.AutoRun = input.AutoRun;
    request.CopyAll = input.CopyAll;
    request.ScheduledRun = input.ScheduledRun;

    // Without the SMB client library no share can be reached, with a login or without one: the
    // run is refused as a failed login is, with the loader's reason in place of the login's.
    if (IsNetworkPath(request.HostDir) || IsNetworkPath(request.MirrorDir)) {
        if (std::string why = NetClientError(); !why.empty()) {
            RunRefusal refusal = ShareLoginRefusal(input);
            refusal.Reason = std::move(why);
            prepared.Refusal = std::move(refusal);
            return prepared;
        }
    }

    // One session per run; the host side wins.
    const std::string& netPath = IsNetworkPath(request.HostDir)     ? request.HostDir
                                 : IsNetworkPath(request.MirrorDir) ? request.MirrorDir
                                                                    : std::string();
    ShareLogin& share = prepared.Share;
    share.UserName = ReadCountedField(task->NetName);
    share.Password = ReadCountedField(task->NetPass);
    if (!netPath.empty() && (!share.UserName.empty() || !share.Password.empty()))
        share.RemoteName = NetRemoteName(netPath);
    else
        share = ShareLogin{};
    return prepared;
}

RunRefusal RunLockRefusal(const RunStartInput& input)
{
    return Refusal(Msg(kMsgTaskAlreadyRunning), !IsUnattended(input), true);
}

RunRefusal ShareLoginRefusal(const RunStartInput& input)
{
    const bool autoMode = input.Task != nullptr && IsSet(input.Task->AutoMode);
    return Refusal(Msg(kMsgNetConnectFailed), !input.AutoRun && !autoMode, IsUnattended(input));
}

std::optional<RunRefusal> WipeRefusal(const RunStartInput& input, const PreparedRun& prepared)
{
    const TSyncTask* task = prepared.Request.Task;
    if (task == nullptr || prepared.Refusal)
        return std::nullopt;
    const bool showBox = !IsUnattended(input);
    const std::string& host = prepared.Request.HostDir;
    const std::string& mirror = prepared.Request.MirrorDir;
    if (task->InMirror == acDelete && !FolderExists(host))
        return Refusal(Msg(kMsgHostMissingRefused) + host, showBox, true);
    if (task->InMain == acDelete && !FolderExists(mirror))
        return Refusal(Msg(kMsgMirrorMissingRefused) + mirror, showBox, true);
    return std::nullopt;
}

} // namespace pelmora
