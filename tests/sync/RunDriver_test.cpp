// Whole runs through the run driver on real temporary folders, with a recording view that
// answers the message boxes and the preview: files on disk, the result log, and what the
// window was asked to show.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include "RunTest.h"
#include "core/SyncTask.h"
#include "lang/Messages.h"
#include "sync/FileOps.h"
#include "sync/SyncLog.h"
#include "tests/support/FaultFileSystem.h"
#include "tests/support/run/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace pelmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr std::time_t kT = 1700000000; // even, so packed times are exact

class RunDriverTest : public RunTest
{
protected:
    RunRequest Request()
    {
        RunRequest request;
        request.Task = &task;
        request.TaskName = "Photos";
        request.HostDir = host;
        request.MirrorDir = mirror;
        request.ResultShown = &resultShown;
        return request;
    }

    bool Run() { return runner.Run(Request()); }

    // The log lines after the run's start stamp and start line, with stamps replaced by "<stamp>".
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        const std::regex stamp(R"(\d{4}-\d\d-\d\d \d{1,2}:\d\d:\d\d)");
        for (const std::string& line : log.Lines())
            lines.push_back(std::regex_match(line, stamp) ? "<stamp>" : line);
        return lines;
    }

    // `trashed`: the deleted and replaced files that went into the trash; a run that trashed
    // none has no line for them.
    static std::vector<std::string> Block(const std::string& end, int toMirror, int toHost, int delHost, int delMirror,
                                          int failed, int trashed = 0)
    {
        std::vector<std::string> block{end,
                                       "",
                                       "Task result:",
                                       "Host folder -> Mirror folder: " + std::to_string(toMirror) + " files",
                                       "Host folder <- Mirror folder: " + std::to_string(toHost) + " files",
                                       "Delete file(s) in host folder: " + std::to_string(delHost),
                                       "Delete file(s) in mirror folder: " + std::to_string(delMirror)};
        if (trashed > 0)
            block.push_back("Moved to the trash: " + std::to_string(trashed) + " files");
        block.insert(block.end(),
                     {"Failed to synchronize: " + std::to_string(failed), "<stamp>", std::string(kLogSeparator)});
        return block;
    }

    static std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b)
    {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    const std::vector<std::string> kStart = {"<stamp>", "Start task: Photos"};

    SyncLog log;
    HeadlessRunner runner{log};
    RecordingView& view = runner.View();
    bool resultShown = true;
};

TEST_F(RunDriverTest, EveryKindOfDifferenceIsCarriedOut)
{
    WriteBytes(host + "/only-host.txt", "h", kT);
    WriteBytes(mirror + "/only-mirror.txt", "m", kT);
    WriteBytes(host + "/size.txt", "longer", kT);
    WriteBytes(mirror + "/size.txt", "short", kT);
    WriteBytes(host + "/sub/newer-host.txt", "new host", kT + 100);
    WriteBytes(mirror + "/sub/newer-host.txt", "old", kT);
    WriteBytes(host + "/newer-mirror.txt", "old", kT);
    WriteBytes(mirror + "/newer-mirror.txt", "new mirror", kT + 100);
    WriteBytes(host + "/same.txt", "same", kT);
    WriteBytes(mirror + "/same.txt", "same", kT);
    fs::create_directories(host + "/empty/inner");
    task.InMain = acHostToMirror;
    task.InMirror = acDelete;
    task.SizeDiffer = acHostToMirror;
    task.NewInMain = acHostToMirror;
    task.NewInMirror = acMirrorToHost;
    task.EmptyDir = acHostToMirror;

    ASSERT_TRUE(Run());

    EXPECT_EQ(ReadBytes(mirror + "/only-host.txt"), "h");
    EXPECT_FALSE(fs::exists(mirror + "/only-mirror.txt"));
    EXPECT_EQ(ReadBytes(mirror + "/size.txt"), "longer");
    EXPECT_EQ(ReadBytes(mirror + "/sub/newer-host.txt"), "new host");
    EXPECT_EQ(StatOf(mirror + "/sub/newer-host.txt").st_mtime, kT + 100);
    EXPECT_EQ(ReadBytes(host + "/newer-mirror.txt"), "new mirror");
    EXPECT_TRUE(fs::is_directory(mirror + "/empty/inner"));
    EXPECT_EQ(Lines(), Concat(kStart, Block("Task finish!", 3, 1, 0, 1, 0, 4)));
    EXPECT_EQ(view.previewsShown, 1);
    EXPECT_EQ(view.resultsShown, 1);
    EXPECT_EQ(view.beeps, 1);
    EXPECT_TRUE(resultShown);
    EXPECT_EQ(view.statusLine, "Task finish!");
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(runner.Driver().State(), rsIdle);
    EXPECT_EQ(view.dispatched, (std::vector<RunPhase>{RunPhase::ListMain, RunPhase::ListMirror, RunPhase::SyncMain,
                                                      RunPhase::SyncMirror, RunPhase::SyncFolder}));
    EXPECT_EQ(view.totalGauge, 100);
}

TEST_F(RunDriverTest, FilesThatGrewAfterPlanningAndLeftoverPartialsDoNotFailTheRun)
{
    WriteBytes(host + "/grows", "", kT);
    WriteBytes(host + "/.pelmora-partial-0123456789abcdef", "half a copy", kT);
    task.InMain = acHostToMirror;
    view.onPreview = [&](RunDriver& run) {
        EXPECT_EQ(run.Plan().TotalBytes, 0);
        WriteBytes(host + "/grows", "12345", kT);
    };

    ASSERT_TRUE(Run());

    EXPECT_EQ(TreeOf(mirror), std::set<std::string>{"grows"});
    EXPECT_EQ(ReadBytes(mirror + "/grows"), "12345");
    EXPECT_EQ(view.totalGauge, 100);
    EXPECT_EQ(view.labels[4], "Total: 5 bytes finish, 0 bytes remain");
    EXPECT_EQ(view.statusLine, "Task finish!");
}

TEST_F(RunDriverTest, NothingToDoAndCancelledPreviewEndEarly)
{
    WriteBytes(host + "/a", "same", kT);
    WriteBytes(mirror + "/a", "same", kT);
    task.InMain = acHostToMirror;

    ASSERT_TRUE(Run());
    EXPECT_EQ(Lines(), Concat(kStart, {"No file need to be synchronized!", std::string(kLogSeparator)}));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "No file need to be synchronized!");
    EXPECT_EQ(view.boxes[0].caption, "Prompt");
    EXPECT_EQ(view.previewsShown, 0);
    EXPECT_EQ(view.resultsShown, 0);
    EXPECT_FALSE(resultShown);

    WriteBytes(host + "/b", "new", kT);
    for (int previewResult : {-1, 0}) {
        SyncLog fresh;
        HeadlessRunner again(fresh);
        again.View().previewResults = {previewResult};
        ASSERT_TRUE(again.Run(Request()));
        EXPECT_EQ(fresh.Lines().back(), std::string(kLogSeparator));
        EXPECT_EQ(fresh.Lines()[fresh.Lines().size() - 2], "User cancel the task!");
        EXPECT_FALSE(fs::exists(mirror + "/b"));
        EXPECT_EQ(again.View().resultsShown, 0);
        EXPECT_TRUE(again.View().closed);
    }
}

TEST_F(RunDriverTest, PreviewChangesDecideWhatIsCarriedOut)
{
    WriteBytes(host + "/keep-out", "x", kT);
    WriteBytes(host + "/goes", "y", kT);
    task.InMain = acHostToMirror;
    view.onPreview = [](RunDriver& run) {
        TFileList& files = run.Lists().HostFiles;
        for (int i = 0; i < files.Count(); ++i)
            if (files[i]->RelPath() == "/keep-out") {
                files[i]->Op = opHostToMirrorOff;
                run.Plan().CopyToMirrorCount -= 1;
                run.Plan().TotalBytes -= files[i]->Size;
            }
    };

    ASSERT_TRUE(Run());

    EXPECT_EQ(TreeOf(mirror), std::set<std::string>{"goes"});
    EXPECT_EQ(Lines(), Concat(kStart, Block("Task finish!", 1, 0, 0, 0, 0)));
}

TEST_F(RunDriverTest, CancelDuringHostScanLogsZeroCountsAndShowsNoResults)
{
    for (int i = 0; i < 40; ++i)
        WriteBytes(host + "/d" + std::to_string(i % 4) + "/f" + std::to_string(i), "x", kT);
    task.InMain = acHostToMirror;
    bool asked = false;
    view.onPendingInput = [&] {
        if (!asked && runner.Driver().State() == rsListHost) {
            asked = true;
            EXPECT_TRUE(runner.Driver().CancelClick());
        }
    };

    ASSERT_TRUE(Run());

    EXPECT_TRUE(asked);
    EXPECT_EQ(Lines(), Concat(kStart, Block("User break the task!", 0, 0, 0, 0, 0)));
    EXPECT_EQ(runner.Driver().CancelPhase(), rsListHost);
    EXPECT_EQ(view.resultsShown, 0);
    EXPECT_EQ(view.previewsShown, 0);
    EXPECT_EQ(view.statusLine, "User break the task!");
    EXPECT_EQ(TreeOf(mirror), std::set<std::string>{});
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Task is running, stop it or not?");
    EXPECT_EQ(view.boxes[0].caption, "Warning");
}

TEST_F(RunDriverTest, CancelDuringACopyKeepsTheOldTargetAndShowsResults)
{
    // Longer than one chunk of a copy between local files, so the cancel comes in the middle.
    WriteBytes(host + "/docs/a.txt", Pattern(2 * kCopyChunkSize + 200000), kT + 100);
    WriteBytes(mirror + "/docs/a.txt", "old", kT);
    WriteBytes(mirror + "/only-mirror", "stays", kT);
    task.NewInMain = acHostToMirror;
    task.InMirror = acDelete;
    view.onPendingInput = [&] {
        if (runner.Driver().State() == rsExecHost && runner.Driver().Plan().DoneBytes >= 32768)
            runner.Driver().CancelClick();
    };

    ASSERT_TRUE(Run());

    EXPECT_EQ(ReadBytes(mirror + "/docs/a.txt"), "old");
    EXPECT_EQ(ReadBytes(mirror + "/only-mirror"), "stays");
    EXPECT_FALSE(HasPartialFile(mirror));
    EXPECT_EQ(Lines(), Concat(Concat(kStart, {"Break copying, path: /docs/a.txt"}),
                              Block("User break the task!", 0, 0, 0, 0, 1)));
    EXPECT_EQ(runner.Driver().CancelPhase(), rsExecHost);
    EXPECT_EQ(view.resultsShown, 1);
    EXPECT_TRUE(resultShown);
}

TEST_F(RunDriverTest, ErrorLimitStopsBeforeTheNextFailingCopy)
{
    for (const char* name : {"/1", "/2", "/3", "/4"})
        WriteBytes(host + name, "data", kT);
    task.InMain = acHostToMirror;
    task.MaxErr = 3;
    FaultFileSystem faulty(LocalFileSystem());
    faulty.AddFault({FsCall::OpenRead, "", 0, EACCES});
    runner.Driver().SetFileSystem(&faulty);

    ASSERT_TRUE(Run());

    std::vector<std::string> lines = Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("Failed to open source file", 0) == 0; }),
              3);
    EXPECT_EQ(faulty.Calls(FsCall::OpenRead), 3);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 10, lines.end()),
              Block("Too many errors, task stopped!", 0, 0, 0, 0, 3));
    EXPECT_EQ(view.statusLine, "Too many errors, task stopped!");
    EXPECT_EQ(view.resultsShown, 1);
}

TEST_F(RunDriverTest, CancelledCopyCanReachTheErrorLimit)
{
    WriteBytes(host + "/big", Pattern(2 * kCopyChunkSize), kT);
    task.InMain = acHostToMirror;
    task.MaxErr = 1;
    view.onPendingInput = [&] {
        if (runner.Driver().State() == rsExecHost && runner.Driver().Plan().DoneBytes > 0)
            runner.Driver().CancelClick();
    };

    ASSERT_TRUE(Run());

    EXPECT_EQ(runner.Driver().CancelPhase(), rsExecHost);
    EXPECT_EQ(view.statusLine, "Too many errors, task stopped!");
    EXPECT_EQ(TreeOf(mirror), std::set<std::string>{});
}

TEST_F(RunDriverTest, UnattendedRunsShowNothingButLog)
{
    WriteBytes(host + "/x", "x", kT);
    task.InMain = acHostToMirror;

    for (int how = 0; how < 3; ++how) {
        SCOPED_TRACE(how);
        SyncLog fresh;
        HeadlessRunner quiet(fresh);
        RunRequest request = Request();
        request.MirrorDir = FreshDir("m" + std::to_string(how));
        request.AutoRun = how == 0;
        request.ScheduledRun = how == 1;
        task.AutoMode = how == 2 ? kFlagTrue : 0;

        ASSERT_TRUE(quiet.Run(request));

        EXPECT_EQ(ReadBytes(request.MirrorDir + "/x"), "x");
        EXPECT_EQ(quiet.View().previewsShown, 0);
        EXPECT_EQ(quiet.View().resultsShown, 0);
        EXPECT_EQ(quiet.View().beeps, 0);
        EXPECT_TRUE(quiet.View().boxes.empty());
        EXPECT_FALSE(resultShown);
        EXPECT_EQ(fresh.Lines()[fresh.Lines().size() - 10], "Task finish!");
        EXPECT_EQ(quiet.View().statusLine, "Task finish!");

        // Nothing to do: no box either.
        ASSERT_TRUE(quiet.Run(request));
        EXPECT_TRUE(quiet.View().boxes.empty());
        EXPECT_EQ(fresh.Lines()[fresh.Lines().size() - 2], "No file need to be synchronized!");
    }
}

TEST_F(RunDriverTest, CopyAllTreatsTheMirrorAsEmpty)
{
    WriteBytes(host + "/same", "host copy", kT);
    WriteBytes(mirror + "/same", "host copy", kT);
    WriteBytes(mirror + "/extra", "stays", kT);
    task.InMain = acHostToMirror;
    task.InMirror = acDelete;
    RunRequest request = Request();
    request.CopyAll = true;
    request.AutoRun = true;

    ASSERT_TRUE(runner.Run(request));

    EXPECT_EQ(ReadBytes(mirror + "/extra"), "stays");
    // The mirror's old "same" was replaced, and went into the trash.
    EXPECT_EQ(Lines(), Concat(kStart, Block("Task finish!", 1, 0, 0, 0, 0, 1)));
    EXPECT_EQ(view.labelHistory[1], (std::vector<std::string>{"Analyzing host folder...", "Synchronizing..."}));
}

TEST_F(RunDriverTest, FileTypeTaskCopiesOnlyTheNamedFiles)
{
    WriteBytes(host + "/a.txt", "a", kT);
    WriteBytes(host + "/b.txt", "b", kT);
    WriteBytes(host + "/c.txt", "c new", kT + 100);
    WriteBytes(mirror + "/c.txt", "c", kT);
    task.SyncType = tyFile;
    WriteTextField(task.ExcludeList, "a.txt\r\nc.txt\r\nmissing.txt");
    task.InMain = acHostToMirror;
    task.NewInMain = acHostToMirror;

    ASSERT_TRUE(Run());

    EXPECT_EQ(TreeOf(mirror), (std::set<std::string>{"a.txt", "c.txt"}));
    EXPECT_EQ(ReadBytes(mirror + "/c.txt"), "c new");
    EXPECT_EQ(Lines(), Concat(kStart, Block("Task finish!", 2, 0, 0, 0, 0, 1)));
    EXPECT_EQ(view.labelHistory[1], (std::vector<std::string>{"Analyzing host folder...", "Synchronizing..."}));
}

TEST_F(RunDriverTest, MissingHostFolderEndsAsCancelled)
{
    task.InMain = acHostToMirror;
    task.InMirror = acMirrorToHost;
    WriteBytes(mirror + "/m", "m", kT);
    RunRequest request = Request();
    request.HostDir = host + "/not-there";

    ASSERT_TRUE(runner.Run(request));

    EXPECT_EQ(Lines(), Concat(kStart, Block("User break the task!", 0, 0, 0, 0, 0)));
    EXPECT_EQ(view.resultsShown, 0);
    EXPECT_FALSE(fs::exists(host + "/not-there"));
}

TEST_F(RunDriverTest, OperationOrderHostScanThenMirrorReverseSorted)
{
    WriteBytes(host + "/b", "1", kT);
    WriteBytes(host + "/a", "1", kT);
    WriteBytes(mirror + "/x1", "1", kT);
    WriteBytes(mirror + "/X3", "1", kT);
    WriteBytes(mirror + "/x2", "1", kT);
    task.InMain = acHostToMirror;
    task.InMirror = acDelete;
    std::vector<std::string> hostScan;
    for (const auto& entry : fs::directory_iterator(host))
        hostScan.push_back(entry.path().string());

    ASSERT_TRUE(Run());

    std::vector<std::string> expected = hostScan;
    for (const char* name : {"/X3", "/x2", "/x1"})
        expected.push_back(mirror + name);
    std::vector<std::string> performed;
    for (const std::string& shown : view.labelHistory[2])
        if (shown.rfind(host + "/", 0) == 0 || shown.rfind(mirror + "/", 0) == 0)
            performed.push_back(shown);
    EXPECT_EQ(performed, expected);
}

TEST_F(RunDriverTest, TwoRunsMakeTwoBlocksInTheLogFile)
{
    WriteBytes(host + "/one", "1", kT);
    task.InMain = acHostToMirror;
    ASSERT_TRUE(Run());
    WriteBytes(host + "/two", "2", kT);
    ASSERT_TRUE(Run());

    const std::vector<std::string> run = Concat(kStart, Block("Task finish!", 1, 0, 0, 0, 0));
    EXPECT_EQ(Lines(), Concat(run, run));

    const std::string file = FreshDir("log") + "/Pelmora.log";
    ASSERT_TRUE(AppendLogFile(file, log));
    const std::string bytes = ReadBytes(file);
    EXPECT_EQ(bytes, log.Text() + std::string(1, '\0'));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\0'), 1);
}

TEST_F(RunDriverTest, InvalidMaskRefusesTheRun)
{
    WriteBytes(host + "/x", "x", kT);
    task.InMain = acHostToMirror;
    RunRequest request = Request();
    request.IgnoreMasks = {"[a-"};

    EXPECT_FALSE(runner.Run(request));

    EXPECT_EQ(TreeOf(mirror), std::set<std::string>{});
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].caption, "Error");
    EXPECT_NE(view.boxes[0].text.find("is an invalid mask at"), std::string::npos);
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(runner.Driver().State(), rsIdle);
    EXPECT_EQ(Lines(), Concat(kStart, {view.boxes[0].text, std::string(kLogSeparator)}));
}

TEST_F(RunDriverTest, CancelIsOnlyAcceptedWhileRunningAndWhenConfirmed)
{
    EXPECT_FALSE(runner.Driver().CancelClick());
    EXPECT_TRUE(view.boxes.empty()); // not even asked outside a run

    WriteBytes(host + "/x", "x", kT);
    task.InMain = acHostToMirror;
    view.answers = {BoxAnswer::No};
    bool tried = false;
    view.onPendingInput = [&] {
        if (!tried && runner.Driver().State() == rsExecHost) {
            tried = true;
            EXPECT_FALSE(runner.Driver().CanClose());
            EXPECT_FALSE(runner.Driver().CancelClick());
        }
    };

    ASSERT_TRUE(Run());
    EXPECT_TRUE(tried);
    EXPECT_EQ(ReadBytes(mirror + "/x"), "x");
    EXPECT_EQ(view.statusLine, "Task finish!");
    EXPECT_TRUE(runner.Driver().CanClose());
}

} // namespace
} // namespace pelmora
