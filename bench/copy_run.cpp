// One unattended mirroring run of the engine, for bench/copy.sh:
//   copy_run [--speed KBPS] [--no-guard] HOST MIRROR
// Every difference goes host -> mirror, mirror-only files are deleted (into the trash, as a
// task does by default), empty folders follow the host. --no-guard lets a run delete most of
// the mirror, which the mass-deletion guard would hold. Prints the end line and the counts to stderr; exits 0 when the
// run finished (or had nothing to do), 1 when it failed or stopped, 2 on bad arguments.

#include "core/SyncTask.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "sync/SyncLog.h"
#include "tests/support/run/HeadlessRunner.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    using namespace pelmora;
    std::int32_t speed = 0;
    bool guard = true;
    int arg = 1;
    while (arg < argc) {
        if (arg + 1 < argc && std::strcmp(argv[arg], "--speed") == 0) {
            speed = static_cast<std::int32_t>(std::atoi(argv[arg + 1]));
            arg += 2;
        } else if (std::strcmp(argv[arg], "--no-guard") == 0) {
            guard = false;
            ++arg;
        } else {
            break;
        }
    }
    if (argc - arg != 2) {
        std::fprintf(stderr, "usage: %s [--speed KBPS] [--no-guard] HOST MIRROR\n", argv[0]);
        return 2;
    }
    SelectLanguage(kLangEnglishUS);

    TSyncTask task{};
    InitSyncTask(task);
    task.InMain = acHostToMirror;
    task.InMirror = acDelete;
    task.SizeDiffer = acHostToMirror;
    task.NewInMain = acHostToMirror;
    task.NewInMirror = acHostToMirror;
    task.EmptyDir = acHostToMirror;
    task.IntoSub = kFlagTrue;
    task.Speed = speed;
    task.MaxErr = 0;
    if (!guard)
        task.Reserved[kReservedGuard] = kReservedOff;

    RunRequest request;
    request.Task = &task;
    request.TaskName = "bench";
    request.HostDir = argv[arg];
    request.MirrorDir = argv[arg + 1];
    request.AutoRun = true;

    SyncLog log;
    HeadlessRunner runner(log);
    runner.View().record = false;
    if (!runner.Run(request)) {
        std::fprintf(stderr, "run refused\n");
        return 1;
    }
    const RunResult& r = runner.Driver().Result();
    const std::string& end = runner.Driver().EndLine();
    std::fprintf(stderr, "%s copied %u deleted %u failed %u\n", end.c_str(), r.CopiedToMirrorCount,
                 r.DeletedMirrorCount, r.FailedCount);
    const bool ok = end == Msg(kMsgTaskFinished) || end == Msg(kMsgNothingToSync);
    return ok && r.FailedCount == 0 ? 0 : 1;
}
