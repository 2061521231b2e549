// One unattended mirroring run of the engine with a side on an SMB share, for bench/smb.sh:
//   smb_copy HOST MIRROR
// Either folder may be a network path; the share is logged in to with the user name and
// password in PELMORA_SMB_USER and PELMORA_SMB_PASSWORD (both unset: a guest session).
// Every difference goes host -> mirror. The run uses its copy lanes as the program's runs do;
// PELMORA_BENCH_LANES sets their number (1: none, the run works on one thread). Prints the end line and the counts to
// stderr; exits 0 when every file was copied, 1 when the connection or any copy failed, 2 on bad arguments.

#include "core/SyncTask.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/FileSystem.h"
#include "platform/NetConnection.h"
#include "platform/NetPath.h"
#include "sync/SyncLog.h"
#include "tests/support/run/HeadlessRunner.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    using namespace pelmora;
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s HOST MIRROR\n", argv[0]);
        return 2;
    }
    SelectLanguage(kLangEnglishUS);
    const std::string host = argv[1];
    const std::string mirror = argv[2];

    TNetConnection con;
    const char* user = std::getenv("PELMORA_SMB_USER");
    const char* password = std::getenv("PELMORA_SMB_PASSWORD");
    const std::string netPath = IsNetworkPath(host) ? host : IsNetworkPath(mirror) ? mirror : "";
    const bool connect = !netPath.empty() && ((user && *user) || (password && *password));
    if (connect) {
        con.SetUserName(user ? user : "");
        con.SetPassword(password ? password : "");
        con.SetRemoteName(NetRemoteName(netPath));
        try {
            con.Connect();
        } catch (const EConnectError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }

    TSyncTask task{};
    InitSyncTask(task);
    task.InMain = acHostToMirror;
    task.SizeDiffer = acHostToMirror;
    task.NewInMain = acHostToMirror;
    task.NewInMirror = acHostToMirror;
    task.IntoSub = kFlagTrue;
    task.Speed = 0;
    task.MaxErr = 0;

    RunRequest request;
    request.Task = &task;
    request.TaskName = "bench";
    request.HostDir = host;
    request.MirrorDir = mirror;
    request.AutoRun = true;

    SyncLog log;
    HeadlessRunner runner(log);
    runner.View().record = false;
    const char* lanes = std::getenv("PELMORA_BENCH_LANES");
    runner.Driver().SetCopyLanes(lanes ? std::atoi(lanes) : 0, PELMORA_LANE_PROGRAM);
    const bool started = runner.Run(request);
    if (connect) {
        con.Disconnect(true);
    }
    if (!started) {
        std::fprintf(stderr, "run refused\n");
        return 1;
    }
    const RunResult& r = runner.Driver().Result();
    const std::string& end = runner.Driver().EndLine();
    std::fprintf(stderr, "%s copied %u failed %u lanes %d\n", end.c_str(), r.CopiedToMirrorCount, r.FailedCount,
                 runner.Driver().LanesUsed());
    return end == Msg(kMsgTaskFinished) && r.FailedCount == 0 ? 0 : 1;
}
