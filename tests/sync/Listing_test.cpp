#include "sync/Listing.h"

#include "core/DateTime.h"
#include "tests/support/FaultFileSystem.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace pelmora {
namespace {

using test::TempFolder;

TSyncTask folderTask()
{
    TSyncTask task;
    std::memset(&task, 0, sizeof task);
    task.SyncType = tyFolder;
    task.IntoSub = kFlagTrue;
    task.InMirror = acDelete;
    return task;
}

void setExcludeList(TSyncTask& task, std::string_view lines)
{
    std::memset(task.ExcludeList, 0, sizeof task.ExcludeList);
    std::memcpy(task.ExcludeList, lines.data(), lines.size());
}

class RecordingObserver final : public ListingObserver
{
public:
    void SearchingFolder(std::string_view directory) override { folders.emplace_back(directory); }
    void ProcessPendingInput() override { ++pumps; }
    std::vector<std::string> folders;
    int pumps = 0;
};

std::set<std::string> files(const TFileList& list)
{
    std::set<std::string> out;
    for (const TMFileInfoRec* r : list)
        out.emplace(r->RelPath());
    return out;
}

std::set<std::string> folders(const TFolderList& list)
{
    std::set<std::string> out;
    for (const TFolderLine& l : list)
        out.insert(l.Path);
    return out;
}

// Lists one tree as the host side with the given task and masks.
struct HostRun
{
    TRunLists lists;
    RunState state = rsListHost;
    RecordingObserver observer;

    void list(const TSyncTask& task, const TRunMasks& masks, const std::string& root)
    {
        SideLister lister(task, state, masks, lists, &observer);
        lister.ListHost(root);
    }
};

TEST(Listing, RecycleFoldersAreSkippedAtAnyDepth)
{
    TempFolder t;
    t.File("/Recycler/x", "1");
    t.File("/deep/er/RECYCLED/y", "2");
    t.File("/RECYCLED.OLD/z", "3");
    t.File("/recycle/w", "4");
    HostRun run;
    run.list(folderTask(), TRunMasks(), t.Root());
    EXPECT_EQ(files(run.lists.HostFiles), (std::set<std::string>{"/RECYCLED.OLD/z", "/recycle/w"}));
    EXPECT_EQ(folders(run.lists.HostFolders),
              (std::set<std::string>{"/deep", "/deep/er", "/RECYCLED.OLD", "/recycle"}));
}

TEST(Listing, FolderListExcludesOrIncludesWholePaths)
{
    TempFolder t;
    t.File("/root.txt", "r");
    t.File("/a/in-a.txt", "a");
    t.File("/a/b/in-b.txt", "b");
    t.File("/c/in-c.txt", "c");

    TSyncTask task = folderTask();
    setExcludeList(task, "/A/B\r\n/c\r\n");
    HostRun excluded;
    excluded.list(task, TRunMasks(), t.Root());
    EXPECT_EQ(files(excluded.lists.HostFiles), (std::set<std::string>{"/root.txt", "/a/in-a.txt"}));

    // Only listed folders, at every depth: "/a/b" alone is never reached because "/a" is not listed.
    task.OnlyDirs = kFlagTrue;
    setExcludeList(task, "/a/b");
    HostRun only;
    only.list(task, TRunMasks(), t.Root());
    EXPECT_EQ(files(only.lists.HostFiles), (std::set<std::string>{"/root.txt"}));
    EXPECT_TRUE(only.lists.HostFolders.Count() == 0);

    setExcludeList(task, "/a\r\n/a/b\r\n");
    HostRun both;
    both.list(task, TRunMasks(), t.Root());
    EXPECT_EQ(files(both.lists.HostFiles), (std::set<std::string>{"/root.txt", "/a/in-a.txt", "/a/b/in-b.txt"}));
}

TEST(Listing, MaskFiltersApplyInOrderOnlyThenIgnoreThenDelete)
{
    TempFolder t;
    t.File("/a.tmp", "1");
    t.File("/b.bak", "2");
    t.File("/sub/c.txt", "3");
    t.File("/sub/d.doc", "4");
    TSyncTask task = folderTask();
    task.IgnoreOn = kFlagTrue;
    task.DelOn = kFlagTrue;
    const TRunMasks masks = TRunMasks::Compile({"*.tmp"}, {"*.tmp", "*.bak"}, {"*.txt"});
    HostRun run;
    run.list(task, masks, t.Root());
    std::map<std::string, int> ops;
    for (const TMFileInfoRec* r : run.lists.HostFiles)
        ops[std::string(r->RelPath())] = r->Op;
    // a.tmp matches ignore and delete: ignored. b.bak is deleted. Only-these is off.
    EXPECT_EQ(ops, (std::map<std::string, int>{{"/b.bak", opDelete}, {"/sub/c.txt", opNone}, {"/sub/d.doc", opNone}}));

    task.OnlyTypeOn = kFlagTrue;
    HostRun onlyTxt;
    onlyTxt.list(task, masks, t.Root());
    EXPECT_EQ(files(onlyTxt.lists.HostFiles), (std::set<std::string>{"/sub/c.txt"}));
    // Folders are still listed with the total of all files beneath them.
    ASSERT_EQ(onlyTxt.lists.HostFolders.Count(), 1);
    EXPECT_EQ(onlyTxt.lists.HostFolders.Values(0), 2u);
}

TEST(Listing, MirrorSideIsSortedAndCarriesTheOnlyInMirrorAction)
{
    TempFolder t;
    for (const char* n : {"/m/z", "/m/A", "/b", "/m/c", "/a_b", "/aZ"})
        t.File(n, "x");
    TSyncTask task = folderTask();
    task.InMirror = acMirrorToHost;
    TRunLists lists;
    RunState state = rsListMirror;
    const TRunMasks masks;
    SideLister lister(task, state, masks, lists, nullptr);
    lister.ListMirror(t.Root());
    std::vector<std::string> keys;
    for (const TMFileInfoRec* r : lists.MirrorFiles) {
        keys.emplace_back(r->RelPath());
        EXPECT_EQ(r->Op, acMirrorToHost);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"/aZ", "/a_b", "/b", "/m/A", "/m/c", "/m/z"}));
    EXPECT_GE(lists.MirrorFiles.Find("/M/Z"), 0);
    EXPECT_EQ(folders(lists.MirrorFolders), (std::set<std::string>{"/m"}));
    EXPECT_TRUE(lists.HostFiles.Count() == 0);
}

TEST(Listing, BothSidesFollowTheTasksIntoSubFlag)
{
    TempFolder t;
    t.FileOfSize("/top", 1);
    t.FileOfSize("/sub/deep", 5);
    TSyncTask task = folderTask();
    task.IntoSub = 0;
    const TRunMasks masks;
    TRunLists lists;
    RunState state = rsListMirror;
    // A lister of its own for the mirror side, as a run phase may make.
    SideLister mirror(task, state, masks, lists, nullptr);
    mirror.ListMirror(t.Root());
    ASSERT_EQ(lists.MirrorFiles.Count(), 1);
    EXPECT_EQ(lists.MirrorFiles[0]->RelPath(), "/top");
    ASSERT_EQ(lists.MirrorFolders.Count(), 1);
    EXPECT_EQ(lists.MirrorFolders.Values(0), 0u);
}

TEST(Listing, CancelledRunTakesNothingMoreAndObserverSeesFolders)
{
    TempFolder t;
    t.File("/a/1", "1");
    t.File("/b/2", "2");
    HostRun run;
    run.state = rsCancelled;
    run.list(folderTask(), TRunMasks(), t.Root());
    EXPECT_EQ(run.lists.HostFiles.Count(), 0);
    EXPECT_EQ(run.lists.HostFolders.Count(), 0);

    HostRun live;
    live.list(folderTask(), TRunMasks(), t.Root());
    EXPECT_EQ(live.lists.HostFiles.Count(), 2);
    EXPECT_NE(std::find(live.observer.folders.begin(), live.observer.folders.end(), t.Path("/a")),
              live.observer.folders.end());
    EXPECT_EQ(live.observer.pumps, static_cast<int>(live.observer.folders.size()));
}

TEST(Listing, CancelArrivingDuringTheScanStopsTakingFolders)
{
    TempFolder t;
    for (int i = 0; i < 10; ++i)
        t.File("/d" + std::to_string(i) + "/f", "x");
    TRunLists lists;
    RunState state = rsListHost;
    // The "window" cancels while the scanner reports the third folder.
    struct CancellingObserver final : ListingObserver
    {
        RunState* state;
        int seen = 0;
        void SearchingFolder(std::string_view) override {}
        void ProcessPendingInput() override
        {
            if (++seen == 3)
                *state = rsCancelled;
        }
    } observer;
    observer.state = &state;
    const TSyncTask task = folderTask();
    const TRunMasks masks;
    SideLister lister(task, state, masks, lists, &observer);
    lister.ListHost(t.Root());
    EXPECT_LT(lists.HostFiles.Count(), 10);
}

TEST(Listing, FileTypeListsNamedFilesOnly)
{
    TempFolder host;
    TempFolder mirror;
    host.FileOfSize("/a.txt", 10);
    host.FileOfSize("/b.txt", 20);
    mirror.FileOfSize("/b.txt", 21);
    host.FileOfSize("/sub/c.txt", 5);
    host.Dir("/folder");
    TSyncTask task = folderTask();
    task.SyncType = tyFile;
    task.InMirror = acMirrorToHost;
    // Names with a separator, "." and ".." would reach outside the roots; a folder is no file.
    setExcludeList(task, "a.txt\r\nb.txt\r\nsub/c.txt\r\n..\r\n.\r\nfolder\r\nmissing.txt");
    TRunLists lists;
    RunState state = rsListHost;
    const TRunMasks masks;
    SideLister lister(task, state, masks, lists, nullptr);
    lister.ListHost(host.Root());
    lister.ListMirror(mirror.Root());
    ASSERT_EQ(lists.HostFiles.Count(), 2);
    EXPECT_EQ(lists.HostFiles[0]->RelPath(), "/a.txt");
    EXPECT_EQ(lists.HostFiles[0]->Size, 10);
    EXPECT_EQ(lists.HostFiles[0]->Op, opNone);
    EXPECT_EQ(lists.HostFiles[1]->RelPath(), "/b.txt");
    ASSERT_EQ(lists.MirrorFiles.Count(), 1);
    EXPECT_EQ(lists.MirrorFiles[0]->RelPath(), "/b.txt");
    EXPECT_EQ(lists.MirrorFiles[0]->Size, 21);
    EXPECT_EQ(lists.MirrorFiles[0]->Op, acMirrorToHost);
    EXPECT_EQ(lists.HostFolders.Count(), 0);
}

TEST(Listing, FileTypeUnreadableFileHasSizeMinusOne)
{
    TempFolder t;
    t.FileOfSize("/locked.txt", 10);
    TSyncTask task = folderTask();
    task.SyncType = tyFile;
    setExcludeList(task, "locked.txt");
    FaultFileSystem fs(LocalFileSystem());
    fs.FailOpen(t.Path("/locked.txt"), EACCES);
    TRunLists lists;
    RunState state = rsListHost;
    const TRunMasks masks;
    SideLister lister(task, state, masks, lists, nullptr);
    lister.SetFileSystem(&fs);
    lister.ListHost(t.Root());
    ASSERT_EQ(lists.HostFiles.Count(), 1);
    EXPECT_EQ(lists.HostFiles[0]->Size, -1);
}

TEST(Listing, RootWithTrailingSeparatorOrThroughALinkGivesTheSameRelativePaths)
{
    TempFolder t;
    t.File("/tree/sub/f.txt", "x");
    t.Symlink(t.Path("/tree"), "/via-link");
    for (const std::string& root : {t.Path("/tree/"), t.Path("/via-link")}) {
        HostRun run;
        run.list(folderTask(), TRunMasks(), root);
        EXPECT_EQ(files(run.lists.HostFiles), (std::set<std::string>{"/sub/f.txt"})) << root;
        EXPECT_EQ(folders(run.lists.HostFolders), (std::set<std::string>{"/sub"})) << root;
    }
}

TEST(Listing, TimesOutsideThePackedRangeAreClamped)
{
    TempFolder t;
    t.File("/old", "o", test::LocalTime(1975, 5, 1, 12, 0, 0));
    HostRun run;
    run.list(folderTask(), TRunMasks(), t.Root());
    ASSERT_EQ(run.lists.HostFiles.Count(), 1);
    EXPECT_EQ(run.lists.HostFiles[0]->Age, kDosMin);
}

TEST(Listing, InvalidRunMaskIsReportedWithItsText)
{
    try {
        TRunMasks::Compile({"*.tmp"}, {"[x"}, {});
        FAIL() << "compiled";
    } catch (const EMaskError& e) {
        EXPECT_STREQ(e.what(), "'[x' is an invalid mask at (3)");
    }
}

TEST(Listing, SplitLinesKeepsBlankLinesAndALastLineWithoutEnd)
{
    EXPECT_EQ(SplitLines("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitLines("a\r\n"), (std::vector<std::string>{"a"}));
    EXPECT_TRUE(SplitLines("").empty());
}

} // namespace
} // namespace pelmora
