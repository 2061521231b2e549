// A large file copied in a lane shows its progress while it is copied, not only at its end.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include "core/SyncTask.h"
#include "lang/Messages.h"
#include "sync/SyncLog.h"
#include "tests/support/run/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace pelmora {
namespace {

using namespace test;

TEST(LaneProgress, ALargeFileMovesBothGaugesWhileItIsCopied)
{
    SelectLanguage(kLangEnglishUS);
    TSyncTask task{};
    InitSyncTask(task);
    task.IntoSub = kFlagTrue;
    task.Speed = 0;
    task.MaxErr = 0;
    task.InMain = acHostToMirror;
    task.NewInMain = acHostToMirror;
    const std::string host = FreshDir("progress-host");
    const std::string mirror = FreshDir("progress-mirror");
    // Enough one-byte files for the run to use lanes, then one file that holds nearly every
    // byte of the run: gauge values between the ends can only come from its progress.
    for (int i = 0; i < 30; ++i)
        WriteBytes(host + "/a" + std::to_string(100 + i), "x", 1700000000);
    const std::string big = Pattern(24 * 1024 * 1024, 7);
    WriteBytes(host + "/zz.bin", big, 1700000000);

    SyncLog log;
    HeadlessRunner runner(log);
    runner.Driver().SetCopyLanes(2, PELMORA_LANE_PROGRAM);
    RunRequest request;
    request.Task = &task;
    request.TaskName = "Progress";
    request.HostDir = host;
    request.MirrorDir = mirror;
    ASSERT_TRUE(runner.Run(request));
    ASSERT_EQ(runner.Driver().LanesUsed(), 2);
    EXPECT_EQ(runner.Driver().EndLine(), Msg(kMsgTaskFinished));
    EXPECT_EQ(ReadBytes(mirror + "/zz.bin"), big);

    const auto between = [](const std::vector<int>& values) {
        return std::count_if(values.begin(), values.end(), [](int v) { return v > 5 && v < 95; });
    };
    const RecordingView& view = runner.View();
    EXPECT_GE(between(view.totalGaugeHistory), 5);
    EXPECT_GE(between(view.fileGaugeHistory), 5);
    EXPECT_EQ(view.totalGauge, 100);
    RemoveFreshDirs();
}

} // namespace
} // namespace pelmora
