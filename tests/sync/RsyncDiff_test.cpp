// A mirroring task against rsync: on a generated tree with a mixed mirror, the run must leave
// the mirror as `rsync -a --delete HOST/ MIRROR/` leaves an identical copy of that mirror.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include "core/SyncTask.h"
#include "lang/Messages.h"
#include "sync/SyncLog.h"
#include "tests/support/run/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace pelmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

// Runs a shell command; returns its standard output, or sets `status`.
std::string Capture(const std::string& command, int& status)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, got);
    status = ::pclose(pipe);
    return out;
}

TEST(RsyncDiffTest, MirroringTaskMatchesRsyncDelete)
{
    if (std::system("rsync --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "rsync is not installed (scripts/install-deps.sh installs it)";
    SelectLanguage(kLangEnglishUS);
    const fs::path generator = fs::path(__FILE__).parent_path().parent_path().parent_path() / "bench/gen-tree.sh";
    ASSERT_TRUE(fs::exists(generator)) << generator;

    const std::string base = FreshDir("trees");
    const std::string host = base + "/host", ours = base + "/ours", theirs = base + "/theirs";
    int status = 0;
    const std::string generated = Capture(
        "sh " + Quote(generator.string()) + " --mixed 2000 " + Quote(host) + " " + Quote(ours) + " 2>&1", status);
    ASSERT_EQ(status, 0) << generated;
    Capture("cp -a " + Quote(ours) + " " + Quote(theirs), status);
    ASSERT_EQ(status, 0);
    Capture("rsync -a --delete " + Quote(host + "/") + " " + Quote(theirs + "/"), status);
    ASSERT_EQ(status, 0);

    TSyncTask task{};
    InitSyncTask(task);
    task.InMain = acHostToMirror;
    task.InMirror = acDelete;
    task.SizeDiffer = acHostToMirror;
    task.NewInMain = acHostToMirror;
    task.NewInMirror = acHostToMirror;
    task.EmptyDir = acHostToMirror;
    task.IntoSub = kFlagTrue;
    task.Speed = 0;
    RunRequest request;
    request.Task = &task;
    request.TaskName = "mirror";
    request.HostDir = host;
    request.MirrorDir = ours;

    SyncLog log;
    HeadlessRunner runner(log);
    ASSERT_TRUE(runner.Run(request));
    ASSERT_EQ(runner.View().statusLine, "Task finish!");
    EXPECT_EQ(runner.Driver().Result().FailedCount, 0u);

    // Folders whose files were all deleted by this run held data when they were listed, so
    // they stay until the next run finds them empty; rsync removes them at once. Everything
    // else must be equal.
    const std::string diff = Capture("diff -r " + Quote(ours) + " " + Quote(theirs) + " 2>&1", status);
    EXPECT_EQ(diff, "Only in " + ours + ": mirror-only\n");
    EXPECT_TRUE(fs::is_empty(ours + "/mirror-only"));

    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(theirs)) {
        if (!entry.is_regular_file())
            continue;
        const std::string rel = fs::relative(entry.path(), theirs).string();
        const struct stat a = StatOf(ours + "/" + rel), b = StatOf(entry.path().string());
        EXPECT_EQ(a.st_mtime, b.st_mtime) << rel;
        EXPECT_EQ(a.st_mode, b.st_mode) << rel;
        ++files;
    }
    EXPECT_GT(files, 1900u);

    // The second run has no file left to copy or delete, only the emptied folder to remove.
    PlanSummary second;
    runner.View().onPreview = [&](RunDriver& run) { second = run.Plan(); };
    ASSERT_TRUE(runner.Run(request));
    EXPECT_EQ(second.CopyToMirrorCount + second.CopyToHostCount + second.DeleteHostCount + second.DeleteMirrorCount,
              0u);
    EXPECT_EQ(second.EmptyFolderCount, 1u);
    EXPECT_EQ(Capture("diff -r " + Quote(ours) + " " + Quote(theirs) + " 2>&1", status), "");
    EXPECT_EQ(status, 0);

    ASSERT_TRUE(runner.Run(request));
    EXPECT_EQ(log.Lines()[log.Lines().size() - 2], "No file need to be synchronized!");

    std::error_code ec;
    fs::remove_all(base, ec);
}

} // namespace
} // namespace pelmora
