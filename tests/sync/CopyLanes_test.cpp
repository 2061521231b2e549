// Runs whose file operations go through copy lanes (the real pelmora-lane program, forced for
// local folders): the files on disk, the counters and the result log must be those of the same
// run on one thread, also when operations fail, the run is cancelled or the lanes are killed.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include "core/SyncTask.h"
#include "lang/Messages.h"
#include "sync/CopyLanes.h"
#include "sync/LaneProtocol.h"
#include "sync/SyncLog.h"
#include "tests/support/run/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sys/types.h>

namespace pelmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr std::time_t kT = 1700000000; // even, so packed times are exact
const std::string kLane = PELMORA_LANE_PROGRAM;

struct FileState
{
    std::string bytes;
    std::time_t mtime = 0;
    bool operator==(const FileState&) const = default;
};

// Every file below `dir` by relative path, with its bytes and time; folders map to "<dir>".
std::map<std::string, FileState> Snapshot(const std::string& dir)
{
    std::map<std::string, FileState> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string rel = fs::relative(entry.path(), dir).string();
        if (entry.is_directory())
            files[rel + "/"] = FileState{"<dir>", 0};
        else
            files[rel] = FileState{ReadBytes(entry.path().string()), StatOf(entry.path().string()).st_mtime};
    }
    return files;
}

// The process ids of this process's children, from every thread's list.
std::vector<pid_t> ChildPids()
{
    std::vector<pid_t> pids;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream in(task.path() / "children");
        pid_t pid = 0;
        while (in >> pid)
            pids.push_back(pid);
    }
    return pids;
}

std::size_t CountPrefix(const std::vector<std::string>& lines, const std::string& prefix)
{
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

class CopyLanesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SelectLanguage(kLangEnglishUS);
        InitSyncTask(task);
        task.IntoSub = kFlagTrue;
        task.Speed = 0;
        task.MaxErr = 0;
        task.InMain = acHostToMirror;
        task.InMirror = acMirrorToHost;
        task.NewInMain = acHostToMirror;
        task.NewInMirror = acMirrorToHost;
        task.SizeDiffer = acHostToMirror;
        task.DelOn = kFlagTrue;
    }

    void TearDown() override { RemoveFreshDirs(); }

    // One side pair of a run: its folders, log and runner.
    struct Side
    {
        std::string host, mirror;
        SyncLog log;
        HeadlessRunner runner{log};
    };

    std::unique_ptr<Side> MakeSide(const std::string& tag)
    {
        auto side = std::make_unique<Side>();
        side->host = FreshDir(tag + "-host");
        side->mirror = FreshDir(tag + "-mirror");
        return side;
    }

    RunRequest Request(const Side& side)
    {
        RunRequest request;
        request.Task = &task;
        request.TaskName = "Lanes";
        request.HostDir = side.host;
        request.MirrorDir = side.mirror;
        request.DelMasks = {"*.tmp"};
        return request;
    }

    bool Run(Side& side, int lanes, const std::string& program = kLane)
    {
        side.runner.Driver().SetCopyLanes(lanes, program);
        return side.runner.Run(Request(side));
    }

    // The log with stamps and the two roots replaced, so that runs in other folders compare.
    static std::vector<std::string> Lines(const Side& side)
    {
        std::vector<std::string> lines;
        const std::regex stamp(R"(\d{4}-\d\d-\d\d \d{1,2}:\d\d:\d\d)");
        for (std::string line : side.log.Lines()) {
            if (std::regex_match(line, stamp))
                line = "<stamp>";
            for (const auto& [root, name] : {std::pair{side.host, "<host>"}, std::pair{side.mirror, "<mirror>"}}) {
                const std::size_t at = line.find(root);
                if (at != std::string::npos)
                    line.replace(at, root.size(), name);
            }
            lines.push_back(line);
        }
        return lines;
    }

    static std::vector<std::string> Failures(const Side& side)
    {
        std::vector<std::string> failures;
        for (const std::string& line : Lines(side))
            for (const char* prefix :
                 {"Failed to open", "Failed to create", "Failed to delete", "Error when copying", "Break copying"})
                if (line.rfind(prefix, 0) == 0)
                    failures.push_back(line);
        return failures;
    }

    // A few hundred files in nested folders: copies both ways (new files and newer files),
    // deletes by the "*.tmp" mask on both sides, and files that are equal.
    static void MixedTree(const Side& side)
    {
        for (int i = 0; i < 120; ++i) {
            const std::string dir = "/d" + std::to_string(i % 6) + (i % 4 == 0 ? "/deep/er" : "");
            // Sizes from empty to several copy blocks, with one larger file per folder.
            const std::size_t size = i % 20 == 0 ? 150000 : static_cast<std::size_t>(i * 97 % 9000);
            WriteBytes(side.host + dir + "/h" + std::to_string(i) + ".dat", Pattern(size, i + 1), kT + 2 * i);
        }
        for (int i = 0; i < 60; ++i) {
            const std::string dir = "/m" + std::to_string(i % 3);
            WriteBytes(side.mirror + dir + "/m" + std::to_string(i) + ".dat", Pattern(i * 211 % 7000, 500 + i),
                       kT + 4 * i);
        }
        for (int i = 0; i < 30; ++i) {
            const std::string rel = "/both/n" + std::to_string(i % 5) + "/newer-host" + std::to_string(i);
            WriteBytes(side.host + rel, Pattern(3000 + i, 900 + i), kT + 1000);
            WriteBytes(side.mirror + rel, "old mirror copy", kT);
        }
        for (int i = 0; i < 30; ++i) {
            const std::string rel = "/both/n" + std::to_string(i % 5) + "/newer-mirror" + std::to_string(i);
            WriteBytes(side.host + rel, "old host copy", kT);
            WriteBytes(side.mirror + rel, Pattern(4000 + i, 1300 + i), kT + 1000);
        }
        for (int i = 0; i < 25; ++i) {
            WriteBytes(side.host + "/d" + std::to_string(i % 6) + "/junk" + std::to_string(i) + ".tmp", "x", kT);
            WriteBytes(side.mirror + "/m" + std::to_string(i % 3) + "/junk" + std::to_string(i) + ".tmp", "y", kT);
        }
        for (int i = 0; i < 20; ++i) {
            const std::string rel = "/both/same" + std::to_string(i);
            WriteBytes(side.host + rel, "equal", kT);
            WriteBytes(side.mirror + rel, "equal", kT);
        }
    }

    TSyncTask task{};
};

TEST_F(CopyLanesTest, AMixedRunThroughLanesEndsAsTheSameRunOnOneThread)
{
    auto one = MakeSide("one");
    auto lanes = MakeSide("lanes");
    MixedTree(*one);
    MixedTree(*lanes);
    const auto sourceHost = Snapshot(one->host);

    ASSERT_TRUE(Run(*one, 1));
    ASSERT_TRUE(Run(*lanes, 3));

    EXPECT_EQ(one->runner.Driver().LanesUsed(), 0);
    EXPECT_EQ(lanes->runner.Driver().LanesUsed(), 3);
    const RunResult& a = one->runner.Driver().Result();
    const RunResult& b = lanes->runner.Driver().Result();
    EXPECT_EQ(b.CopiedToMirrorCount, 150u);
    EXPECT_EQ(b.CopiedToHostCount, 90u);
    EXPECT_EQ(b.DeletedHostCount, 25u);
    EXPECT_EQ(b.DeletedMirrorCount, 25u);
    EXPECT_EQ(b.FailedCount, 0u);
    EXPECT_EQ(
        std::tie(a.CopiedToMirrorCount, a.CopiedToHostCount, a.DeletedHostCount, a.DeletedMirrorCount, a.FailedCount),
        std::tie(b.CopiedToMirrorCount, b.CopiedToHostCount, b.DeletedHostCount, b.DeletedMirrorCount, b.FailedCount));
    EXPECT_EQ(Lines(*lanes), Lines(*one));
    // The block has the line of the files that went into the trash.
    EXPECT_EQ(lanes->log.Lines()[lanes->log.Lines().size() - 11], "Task finish!");

    // Same bytes and times on both sides of both runs.
    const auto hostAfter = Snapshot(lanes->host);
    EXPECT_TRUE(hostAfter == Snapshot(one->host));
    EXPECT_TRUE(Snapshot(lanes->mirror) == Snapshot(one->mirror));
    const auto mirrorAfter = Snapshot(lanes->mirror);
    for (const auto& [rel, state] : hostAfter)
        EXPECT_TRUE(mirrorAfter.count(rel) && mirrorAfter.at(rel) == state) << rel;
    EXPECT_EQ(hostAfter.size(), mirrorAfter.size());
    EXPECT_EQ(hostAfter.at("d1/h1.dat"), sourceHost.at("d1/h1.dat"));
    EXPECT_EQ(hostAfter.count("d0/junk0.tmp"), 0u);
    EXPECT_EQ(hostAfter.at("both/n1/newer-mirror1").bytes, Pattern(4001, 1301));
    EXPECT_FALSE(HasPartialFile(lanes->host));
    EXPECT_FALSE(HasPartialFile(lanes->mirror));
    EXPECT_EQ(lanes->runner.View().totalGauge, 100);
    // The lanes have exited with the run.
    EXPECT_TRUE(ChildPids().empty());
}

// Sources made unreadable after planning (a folder where the file was), a target folder where a
// file now stands, and a file to delete that became a folder: root cannot get past any of them.
void Sabotage(const std::string& host, const std::string& mirror)
{
    for (const char* rel : {"/d1/h7.dat", "/d4/h10.dat", "/d5/h59.dat"}) {
        fs::remove(host + rel);
        fs::create_directories(host + rel);
    }
    WriteBytes(mirror + "/d2", "a file where a folder must go", kT);
    fs::remove(mirror + "/m1/junk4.tmp");
    WriteBytes(mirror + "/m1/junk4.tmp/inside", "keeps the folder full", kT);
}

TEST_F(CopyLanesTest, FailuresAreLoggedInListOrderAndTheErrorLimitStopsTheRun)
{
    auto one = MakeSide("one");
    auto lanes = MakeSide("lanes");
    MixedTree(*one);
    MixedTree(*lanes);
    for (Side* side : {one.get(), lanes.get()})
        side->runner.View().onPreview = [side](RunDriver&) { Sabotage(side->host, side->mirror); };

    ASSERT_TRUE(Run(*one, 1));
    ASSERT_TRUE(Run(*lanes, 3));

    ASSERT_EQ(lanes->runner.Driver().LanesUsed(), 3);
    const std::vector<std::string> failures = Failures(*one);
    // Three sources, the 20 copies into /d2 and the delete.
    ASSERT_EQ(failures.size(), 24u);
    for (const char* rel : {"/d1/h7.dat", "/d4/h10.dat", "/d5/h59.dat"})
        EXPECT_EQ(CountPrefix(failures, std::string("Failed to open source file, path: <host>") + rel), 1u) << rel;
    EXPECT_EQ(CountPrefix(failures, "Failed to create target file, path: <mirror>/d2/"), 20u);
    // The mirror list is carried out after the host list.
    EXPECT_EQ(failures.back(), "Failed to delete file, path: <mirror>/m1/junk4.tmp");
    EXPECT_EQ(Failures(*lanes), failures);
    EXPECT_EQ(Lines(*lanes), Lines(*one));
    EXPECT_EQ(lanes->runner.Driver().Result().FailedCount, 24u);
    EXPECT_TRUE(Snapshot(lanes->host) == Snapshot(one->host));
    EXPECT_TRUE(Snapshot(lanes->mirror) == Snapshot(one->mirror));
    EXPECT_EQ(ReadBytes(lanes->mirror + "/d2"), "a file where a folder must go");
    EXPECT_FALSE(HasPartialFile(lanes->mirror));

    // With an error limit: the run stops; operations already handed to a lane may still end,
    // and whatever the counters say is what the disk shows.
    task.MaxErr = 5;
    auto limitedOne = MakeSide("limited-one");
    auto limited = MakeSide("limited");
    MixedTree(*limitedOne);
    MixedTree(*limited);
    for (Side* side : {limitedOne.get(), limited.get()})
        side->runner.View().onPreview = [side](RunDriver&) { Sabotage(side->host, side->mirror); };
    ASSERT_TRUE(Run(*limitedOne, 1));
    ASSERT_TRUE(Run(*limited, 3));

    ASSERT_EQ(limited->runner.Driver().LanesUsed(), 3);
    for (Side* side : {limitedOne.get(), limited.get()}) {
        EXPECT_EQ(side->runner.Driver().EndLine(), "Too many errors, task stopped!");
        EXPECT_EQ(side->runner.View().statusLine, "Too many errors, task stopped!");
    }
    const std::vector<std::string> oneFailures = Failures(*limitedOne);
    const std::vector<std::string> laneFailures = Failures(*limited);
    ASSERT_EQ(oneFailures.size(), 5u);
    ASSERT_GE(laneFailures.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(laneFailures.begin(), laneFailures.begin() + 5), oneFailures);
    // Once the limit is reached no more operations are handed out; only those the lanes held,
    // or had answered and that wait for an earlier one, can still fail.
    EXPECT_LE(laneFailures.size(), 5u + 2u * 3u * static_cast<unsigned>(CopyLanes::kDepth));
    const RunResult& r = limited->runner.Driver().Result();
    EXPECT_EQ(r.FailedCount, laneFailures.size());

    // Count what really happened on disk, operation by operation.
    const auto host = Snapshot(limited->host);
    const auto mirror = Snapshot(limited->mirror);
    std::uint32_t toMirror = 0, toHost = 0, delHost = 0, delMirror = 0;
    for (int i = 0; i < 120; ++i) {
        const std::string rel =
            "d" + std::to_string(i % 6) + (i % 4 == 0 ? "/deep/er" : "") + "/h" + std::to_string(i) + ".dat";
        if (mirror.count(rel)) {
            EXPECT_EQ(mirror.at(rel), host.at(rel)) << rel;
            ++toMirror;
        }
    }
    for (int i = 0; i < 30; ++i) {
        const std::string rel = "both/n" + std::to_string(i % 5) + "/newer-host" + std::to_string(i);
        toMirror += mirror.at(rel) == host.at(rel);
        if (mirror.at(rel) != host.at(rel)) {
            EXPECT_EQ(mirror.at(rel).bytes, "old mirror copy") << rel;
        }
    }
    for (int i = 0; i < 60; ++i)
        toHost += host.count("m" + std::to_string(i % 3) + "/m" + std::to_string(i) + ".dat");
    for (int i = 0; i < 30; ++i) {
        const std::string rel = "both/n" + std::to_string(i % 5) + "/newer-mirror" + std::to_string(i);
        toHost += host.at(rel) == mirror.at(rel);
    }
    for (int i = 0; i < 25; ++i) {
        delHost += !host.count("d" + std::to_string(i % 6) + "/junk" + std::to_string(i) + ".tmp");
        const std::string rel = "m" + std::to_string(i % 3) + "/junk" + std::to_string(i) + ".tmp";
        delMirror += !mirror.count(rel) && !mirror.count(rel + "/"); // one became a folder
    }
    EXPECT_EQ(toMirror, r.CopiedToMirrorCount);
    EXPECT_EQ(toHost, r.CopiedToHostCount);
    EXPECT_EQ(delHost, r.DeletedHostCount);
    EXPECT_EQ(delMirror, r.DeletedMirrorCount);
    EXPECT_LT(toMirror + toHost + delHost + delMirror, 290u);
    EXPECT_FALSE(HasPartialFile(limited->mirror));
    EXPECT_FALSE(HasPartialFile(limited->host));
}

TEST_F(CopyLanesTest, CancelDuringALaneRunKeepsEveryFileWholeOrAsItWas)
{
    auto side = MakeSide("cancel");
    for (int i = 0; i < 120; ++i)
        WriteBytes(side->host + "/c" + std::to_string(i % 4) + "/f" + std::to_string(i),
                   Pattern(60000 + 1000 * i, i + 7), kT + 2 * i);
    for (int i = 0; i < 20; ++i) {
        WriteBytes(side->host + "/upd/u" + std::to_string(i), Pattern(90000, 400 + i), kT + 100);
        WriteBytes(side->mirror + "/upd/u" + std::to_string(i), "old", kT);
    }
    task.DelOn = 0;
    bool cancelled = false;
    side->runner.View().onPendingInput = [&] {
        RunDriver& run = side->runner.Driver();
        // Bytes count as they arrive from the lanes; files are only counted in list order, which
        // can lag far behind when one lane is slow.
        if (!cancelled && run.State() == rsExecHost && run.Plan().DoneBytes >= 4000000)
            cancelled = run.CancelClick();
    };

    ASSERT_TRUE(Run(*side, 3));

    ASSERT_TRUE(cancelled);
    EXPECT_EQ(side->runner.Driver().LanesUsed(), 3);
    EXPECT_EQ(side->runner.Driver().EndLine(), "User break the task!");
    EXPECT_EQ(side->runner.View().statusLine, "User break the task!");
    EXPECT_FALSE(HasPartialFile(side->mirror));
    const RunResult& r = side->runner.Driver().Result();
    std::uint32_t whole = 0;
    for (int i = 0; i < 120; ++i) {
        const std::string rel = "/c" + std::to_string(i % 4) + "/f" + std::to_string(i);
        if (!fs::exists(side->mirror + rel))
            continue;
        EXPECT_EQ(ReadBytes(side->mirror + rel), ReadBytes(side->host + rel)) << rel;
        EXPECT_EQ(StatOf(side->mirror + rel).st_mtime, kT + 2 * i) << rel;
        ++whole;
    }
    for (int i = 0; i < 20; ++i) {
        const std::string rel = "/upd/u" + std::to_string(i);
        const std::string bytes = ReadBytes(side->mirror + rel);
        if (bytes != "old") {
            EXPECT_EQ(bytes, ReadBytes(side->host + rel)) << rel;
            ++whole;
        }
    }
    EXPECT_EQ(whole, r.CopiedToMirrorCount);
    EXPECT_GE(r.CopiedToMirrorCount, 10u);
    EXPECT_LT(r.CopiedToMirrorCount, 100u);
    // Copies broken off are failures with their line; copies not begun leave no line.
    const std::vector<std::string> failures = Failures(*side);
    EXPECT_EQ(CountPrefix(failures, "Break copying, path: "), failures.size());
    EXPECT_EQ(r.FailedCount, failures.size());
    EXPECT_LE(failures.size(), 6u);
    EXPECT_TRUE(ChildPids().empty());
}

TEST_F(CopyLanesTest, KilledLanesLoseNothingAndTheRestIsDoneOnTheRunsThread)
{
    auto side = MakeSide("killed");
    for (int i = 0; i < 150; ++i)
        WriteBytes(side->host + "/k" + std::to_string(i % 5) + "/f" + std::to_string(i), Pattern(20000 + 37 * i, i),
                   kT + 2 * i);
    for (int i = 0; i < 30; ++i)
        WriteBytes(side->mirror + "/old/g" + std::to_string(i) + ".tmp", "to delete", kT);
    const auto sourceBefore = Snapshot(side->host);
    task.InMirror = acDelete;
    // Every mirror file is to go: the mass-deletion guard would hold the run.
    task.Reserved[kReservedGuard] = kReservedOff;
    std::vector<pid_t> killed;
    std::uint32_t copiedAtKill = 0;
    side->runner.View().onPendingInput = [&] {
        RunDriver& run = side->runner.Driver();
        if (killed.empty() && run.State() == rsExecHost && run.Plan().DoneBytes >= 800000) {
            killed = ChildPids();
            copiedAtKill = run.Result().CopiedToMirrorCount;
            for (const pid_t pid : killed)
                ::kill(pid, SIGKILL);
        }
    };

    ASSERT_TRUE(Run(*side, 3));

    ASSERT_EQ(killed.size(), 3u);
    EXPECT_EQ(side->runner.Driver().LanesUsed(), 3);
    EXPECT_TRUE(Snapshot(side->host) == sourceBefore);
    const RunResult& r = side->runner.Driver().Result();
    const std::vector<std::string> lines = Lines(*side);
    std::uint32_t done = 0, failed = 0;
    for (int i = 0; i < 150; ++i) {
        const std::string rel = "/k" + std::to_string(i % 5) + "/f" + std::to_string(i);
        const bool there = fs::exists(side->mirror + rel);
        const bool logged =
            std::find(lines.begin(), lines.end(), "Error when copying file, path: " + rel) != lines.end();
        EXPECT_TRUE(there || logged) << rel;
        if (there) {
            EXPECT_EQ(ReadBytes(side->mirror + rel), ReadBytes(side->host + rel)) << rel;
        }
        done += there && !logged;
        failed += logged;
    }
    EXPECT_EQ(done, r.CopiedToMirrorCount);
    EXPECT_EQ(failed, r.FailedCount);
    EXPECT_EQ(r.CopiedToMirrorCount + r.FailedCount, 150u);
    // Only what the lanes held at the kill can fail; everything after is done here.
    EXPECT_LE(r.FailedCount, 3u * 2u);
    EXPECT_GT(r.CopiedToMirrorCount, copiedAtKill);
    EXPECT_EQ(r.DeletedMirrorCount, 30u);
    EXPECT_FALSE(fs::exists(side->mirror + "/old/g0.tmp"));
    // A lane killed in the middle of a copy leaves its temporary file behind (the scanner skips
    // it); there can be no more of them than copies that failed.
    std::uint32_t partials = 0;
    for (const auto& entry : fs::recursive_directory_iterator(side->mirror))
        partials += entry.path().filename().string().rfind(".pelmora-partial-", 0) == 0;
    EXPECT_LE(partials, r.FailedCount);
    EXPECT_EQ(side->runner.Driver().EndLine(), "Task finish!");
    EXPECT_TRUE(ChildPids().empty());
}

TEST_F(CopyLanesTest, WithoutAWorkingLaneProgramOrEnoughWorkTheRunStaysOnItsThread)
{
    const auto fill = [](const Side& side, int files) {
        for (int i = 0; i < files; ++i)
            WriteBytes(side.host + "/f" + std::to_string(i), "file " + std::to_string(i), kT);
    };
    struct Case
    {
        std::string program;
        int files;
        int lanes;
    };
    const std::vector<Case> cases = {
        {"/bin/true", 40, 0},
        {"/nonexistent/pelmora-lane", 40, 0},
        {kLane, RunDriver::kMinLaneOperations - 1, 0},
        {kLane, RunDriver::kMinLaneOperations, 2},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program + " " + std::to_string(c.files));
        auto side = MakeSide("case" + std::to_string(n++));
        fill(*side, c.files);
        ASSERT_TRUE(Run(*side, 2, c.program));
        EXPECT_EQ(side->runner.Driver().LanesUsed(), c.lanes);
        EXPECT_EQ(side->runner.Driver().Result().CopiedToMirrorCount, static_cast<std::uint32_t>(c.files));
        EXPECT_EQ(side->runner.Driver().Result().FailedCount, 0u);
        EXPECT_EQ(side->runner.Driver().EndLine(), "Task finish!");
        EXPECT_EQ(ReadBytes(side->mirror + "/f" + std::to_string(c.files - 1)), "file " + std::to_string(c.files - 1));
        EXPECT_EQ(TreeOf(side->mirror).size(), static_cast<std::size_t>(c.files));
    }
    EXPECT_TRUE(ChildPids().empty());
}

TEST(LaneProtocol, FramesArriveInPiecesAndKeepEveryByte)
{
    static constexpr char kOdd[] = "nul\0cr\rlf\n\xff\xfe Grüße";
    const std::string odd(kOdd, sizeof kOdd - 1);
    const std::string frame =
        LaneWriter(LaneMessage::Job).Number(-7).Number(1LL << 40).Text(odd).Text("").Text("/a/b").Finish();
    std::string buffer;
    bool bad = true;
    std::optional<std::string> payload;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        buffer.push_back(frame[i]);
        payload = TakeLaneFrame(buffer, bad);
        EXPECT_FALSE(bad);
        if (i + 1 < frame.size()) {
            ASSERT_FALSE(payload) << "taken after " << i + 1 << " bytes";
        }
    }
    ASSERT_TRUE(payload);
    EXPECT_TRUE(buffer.empty());
    LaneReader in(*payload);
    std::int64_t a = 0, b = 0;
    std::string s1, s2, s3, extra;
    EXPECT_EQ(in.Type(), LaneMessage::Job);
    ASSERT_TRUE(in.Number(a) && in.Number(b) && in.Text(s1) && in.Text(s2) && in.Text(s3));
    EXPECT_EQ(a, -7);
    EXPECT_EQ(b, 1LL << 40);
    EXPECT_EQ(s1, odd);
    EXPECT_EQ(s2, "");
    EXPECT_EQ(s3, "/a/b");
    EXPECT_TRUE(in.AtEnd());
    EXPECT_FALSE(in.Text(extra));

    // Two frames in one read come out one by one.
    buffer = frame + LaneWriter(LaneMessage::Cancel).Finish();
    EXPECT_EQ(TakeLaneFrame(buffer, bad), payload);
    EXPECT_EQ(TakeLaneFrame(buffer, bad), std::string(1, static_cast<char>(LaneMessage::Cancel)));
    EXPECT_TRUE(buffer.empty());

    // A length of zero or beyond the limit cannot be a message.
    for (std::uint32_t length : {0u, kMaxLaneFrame + 1}) {
        buffer.assign(reinterpret_cast<const char*>(&length), 4);
        buffer.push_back('\x0c');
        EXPECT_FALSE(TakeLaneFrame(buffer, bad));
        EXPECT_TRUE(bad) << length;
    }
    // A text whose length runs past the payload is refused, not read beyond it.
    std::string cut = LaneWriter(LaneMessage::Done).Text("abcdef").Finish().substr(4);
    cut.resize(cut.size() - 2);
    LaneReader truncated(cut);
    EXPECT_FALSE(truncated.Text(extra));
    EXPECT_TRUE(extra.empty());
}

TEST_F(CopyLanesTest, NamesWithControlCharactersAreEscapedOnceWhateverLaneLogsThem)
{
    const std::string crafted = "/d3/bad\r\nTask finish!\x1b[2J\\";
    const std::string logged = "Failed to open source file, path: <host>/d3/bad\\r\\nTask finish!\\x1b[2J\\\\";
    auto one = MakeSide("one");
    auto lanes = MakeSide("lanes");
    for (Side* side : {one.get(), lanes.get()}) {
        MixedTree(*side);
        WriteBytes(side->host + crafted, "becomes a folder", kT);
        WriteBytes(side->host + "/d3/ok\r\n", "copied", kT);
        side->runner.View().onPreview = [side, crafted](RunDriver&) {
            fs::remove(side->host + crafted);
            fs::create_directories(side->host + crafted);
        };
    }

    ASSERT_TRUE(Run(*one, 1));
    ASSERT_TRUE(Run(*lanes, 3));

    ASSERT_EQ(lanes->runner.Driver().LanesUsed(), 3);
    EXPECT_EQ(Failures(*one), std::vector<std::string>{logged});
    EXPECT_EQ(Lines(*lanes), Lines(*one));
    EXPECT_EQ(ReadBytes(lanes->mirror + "/d3/ok\r\n"), "copied");
}

} // namespace
} // namespace pelmora
