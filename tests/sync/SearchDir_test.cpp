#include "sync/SearchDir.h"

#include "core/DateTime.h"
#include "platform/PartialFiles.h"
#include "tests/support/FaultFileSystem.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace pelmora {
namespace {

using test::LocalTime;
using test::TempFolder;

struct Found
{
    TFoundItemType type;
    std::string rel;
    std::int64_t size;
    std::uint32_t age;
    std::uint32_t attr;
};

// Runs a search and records what it reports, relative to the tree's root.
struct Recorder
{
    TSearchDir dir;
    std::vector<Found> found;
    std::vector<std::string> progress;
    int searchEnds = 0;
    std::string root;

    explicit Recorder(const std::string& r) : root(r)
    {
        dir.Root = r;
        dir.IntoSubDir = true;
        dir.OnFoundItem = [this](TSearchDir&, TFoundItemType t, std::string_view item, std::int64_t& size,
                                 std::uint32_t age, std::uint32_t attr) {
            found.push_back({t, std::string(item.substr(root.size())), size, age, attr});
        };
        dir.OnProgress = [this](TSearchDir&, std::string_view d) { progress.emplace_back(d); };
        dir.OnSearchEnd = [this](TSearchDir&) { ++searchEnds; };
    }
    const Found* get(const std::string& rel) const
    {
        for (const Found& f : found)
            if (f.rel == rel)
                return &f;
        return nullptr;
    }
    int indexOf(const std::string& rel) const
    {
        for (std::size_t i = 0; i < found.size(); ++i)
            if (found[i].rel == rel)
                return static_cast<int>(i);
        return -1;
    }
};

TEST(SearchDir, ReportsFoldersAfterContentsWithByteTotals)
{
    TempFolder t;
    const std::time_t when = LocalTime(2023, 6, 15, 10, 20, 31);
    t.FileOfSize("/top.txt", 100, when);
    t.FileOfSize("/a/one.bin", 1000);
    t.FileOfSize("/a/b/two.bin", 24);
    t.File("/zero/empty1", "");
    t.File("/zero/empty2", "");
    t.Dir("/hollow/inner");
    Recorder r(t.Root());
    EXPECT_EQ(r.dir.Execute(), 1124);
    EXPECT_EQ(r.searchEnds, 1);

    ASSERT_NE(r.get("/a"), nullptr);
    EXPECT_EQ(r.get("/a")->size, 1024);
    EXPECT_EQ(r.get("/a/b")->size, 24);
    EXPECT_EQ(r.get("/zero")->size, 0);
    EXPECT_EQ(r.get("/hollow")->size, 0);
    EXPECT_EQ(r.get("/hollow/inner")->size, 0);
    EXPECT_LT(r.indexOf("/a/b/two.bin"), r.indexOf("/a/b"));
    EXPECT_LT(r.indexOf("/a/b"), r.indexOf("/a"));
    EXPECT_LT(r.indexOf("/a/one.bin"), r.indexOf("/a"));

    const Found* top = r.get("/top.txt");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->type, itFile);
    EXPECT_EQ(top->size, 100);
    // 2023-06-15 10:20:30 local, seconds rounded down to even.
    EXPECT_EQ(top->age, (43u << 25) | (6u << 21) | (15u << 16) | (10u << 11) | (20u << 5) | 15u);
    EXPECT_EQ(top->attr, faArchive);
    EXPECT_EQ(r.get("/a")->attr, faDirectory);
    EXPECT_EQ(r.get("/a")->type, itFolder);
}

TEST(SearchDir, WithoutIntoSubDirSubFoldersAreReportedEmpty)
{
    TempFolder t;
    t.FileOfSize("/a/one.bin", 1000);
    t.FileOfSize("/root.bin", 7);
    Recorder r(t.Root());
    r.dir.IntoSubDir = false;
    EXPECT_EQ(r.dir.Execute(), 7);
    ASSERT_NE(r.get("/a"), nullptr);
    EXPECT_EQ(r.get("/a")->size, 0);
    EXPECT_EQ(r.get("/a/one.bin"), nullptr);
}

TEST(SearchDir, MissingOrEmptyRootYieldsNothing)
{
    TempFolder t;
    Recorder missing(t.Path("/nope"));
    EXPECT_EQ(missing.dir.Execute(), 0);
    EXPECT_EQ(missing.searchEnds, 0);
    EXPECT_TRUE(missing.progress.empty());

    Recorder empty("");
    EXPECT_EQ(empty.dir.Execute(), 0);
    EXPECT_EQ(empty.searchEnds, 0);

    t.File("/plain", "x");
    Recorder file(t.Path("/plain"));
    EXPECT_EQ(file.dir.Execute(), 0);
    EXPECT_EQ(file.searchEnds, 0);
}

TEST(SearchDir, SkipStaysAtItsLevelAndStopEndsEveryLevel)
{
    TempFolder t;
    t.FileOfSize("/a/skipme/x", 5);
    t.FileOfSize("/a/keep/y", 6);
    t.FileOfSize("/b/z", 7);
    {
        Recorder r(t.Root());
        r.dir.OnEnquiryOperation = [](TSearchDir&, TFoundItemType type, std::string_view item, TSearchOperation& op) {
            if (type == itFolder && item.ends_with("/skipme"))
                op = soSkip;
        };
        EXPECT_EQ(r.dir.Execute(), 13);
        EXPECT_EQ(r.get("/a/skipme"), nullptr);
        EXPECT_EQ(r.get("/a/skipme/x"), nullptr);
        ASSERT_NE(r.get("/a"), nullptr); // the parent is still reported
        EXPECT_EQ(r.get("/a")->size, 6);
        EXPECT_NE(r.get("/b/z"), nullptr);
    }
    {
        Recorder r(t.Root());
        int asked = 0;
        r.dir.OnEnquiryOperation = [&](TSearchDir&, TFoundItemType type, std::string_view, TSearchOperation& op) {
            ++asked;
            if (type == itFile)
                op = soStop;
        };
        r.dir.Execute();
        // The first file met stops the whole search: nothing is reported.
        EXPECT_TRUE(r.found.empty());
        EXPECT_EQ(r.searchEnds, 1);
        EXPECT_LE(asked, 4);
    }
}

TEST(SearchDir, MaskFiltersReportsButSizesStillCount)
{
    TempFolder t;
    t.FileOfSize("/d/a.txt", 10);
    t.FileOfSize("/d/b.log", 20);
    Recorder r(t.Root());
    r.dir.Mask = "*.txt";
    int asked = 0;
    r.dir.OnEnquiryOperation = [&](TSearchDir&, TFoundItemType, std::string_view, TSearchOperation&) { ++asked; };
    EXPECT_EQ(r.dir.Execute(), 30);
    EXPECT_NE(r.get("/d/a.txt"), nullptr);
    EXPECT_EQ(r.get("/d/b.log"), nullptr);
    EXPECT_EQ(r.get("/d"), nullptr); // "d" does not match "*.txt"
    EXPECT_EQ(asked, 1);             // only a.txt passes the mask and is asked about

    Recorder inv(t.Root());
    inv.dir.Mask = "[";
    EXPECT_THROW(inv.dir.Execute(), EMaskError);
}

TEST(SearchDir, SearchTypeSelectsFilesOrFolders)
{
    TempFolder t;
    t.FileOfSize("/d/a", 3);
    Recorder files(t.Root());
    files.dir.SearchType = stFile;
    files.dir.Execute();
    EXPECT_NE(files.get("/d/a"), nullptr);
    EXPECT_EQ(files.get("/d"), nullptr);

    Recorder dirs(t.Root());
    dirs.dir.SearchType = stDir;
    EXPECT_EQ(dirs.dir.Execute(), 0);
    EXPECT_EQ(dirs.get("/d/a"), nullptr);
    ASSERT_NE(dirs.get("/d"), nullptr);
}

TEST(SearchDir, ProgressEveryIntervalEntries)
{
    TempFolder t;
    for (int i = 0; i < 40; ++i)
        t.File("/many/f" + std::to_string(i), "");
    Recorder r(t.Root());
    r.dir.ProgressInterval = 16;
    r.dir.Execute();
    const auto inMany = std::count(r.progress.begin(), r.progress.end(), t.Path("/many"));
    // Once on entry, then after entries 17 and 33 of the 40.
    EXPECT_EQ(inMany, 3);
    EXPECT_EQ(r.progress.front(), t.Root());
}

TEST(SearchDir, LinksAndSpecialFilesAreSafe)
{
    TempFolder t;
    t.FileOfSize("/real/data.bin", 50);
    t.Symlink(t.Path("/real/data.bin"), "/filelink");
    t.Symlink("..", "/real/loop"); // a link back up: would loop forever if followed
    t.Symlink(t.Path("/real"), "/dirlink");
    t.Symlink(t.Path("/gone"), "/dangling");
    t.Fifo("/pipe");
    const std::string partial = PartialFileName(ThisWriter(), 123);
    t.File("/" + partial, "half a copy");
    t.File("/.hidden", "h");
    auto done = std::async(std::launch::async, [&] {
        Recorder r(t.Root());
        const std::int64_t total = r.dir.Execute();
        return std::make_pair(total, r.found);
    });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "search hung";
    auto [total, found] = done.get();
    std::map<std::string, Found> byRel;
    for (const Found& f : found)
        byRel[f.rel] = f;
    EXPECT_EQ(total, 101);
    ASSERT_TRUE(byRel.count("/filelink"));
    EXPECT_EQ(byRel["/filelink"].size, 50); // a link to a file is that file
    EXPECT_FALSE(byRel.count("/real/loop"));
    EXPECT_FALSE(byRel.count("/dirlink"));
    EXPECT_FALSE(byRel.count("/dangling"));
    EXPECT_FALSE(byRel.count("/pipe"));
    EXPECT_FALSE(byRel.count("/" + partial));
    ASSERT_TRUE(byRel.count("/.hidden"));
    EXPECT_EQ(byRel["/.hidden"].attr, faArchive | faHidden);
}

TEST(SearchDir, UnreadableFolderContributesNothingAndScanGoesOn)
{
    TempFolder t;
    t.FileOfSize("/bad/x", 100);
    t.FileOfSize("/good/y", 5);
    FaultFileSystem fs(LocalFileSystem());
    fs.FailListDir(t.Path("/bad/"), EACCES);
    Recorder r(t.Root());
    r.dir.FS = &fs;
    EXPECT_EQ(r.dir.Execute(), 5);
    ASSERT_NE(r.get("/bad"), nullptr);
    EXPECT_EQ(r.get("/bad")->size, 0);
    EXPECT_EQ(r.get("/bad/x"), nullptr);
    EXPECT_NE(r.get("/good/y"), nullptr);
}

TEST(SearchDir, ReadOnlyFileCarriesTheReadOnlyAttribute)
{
    TempFolder t;
    t.File("/ro", "r");
    ASSERT_EQ(::chmod(t.Path("/ro").c_str(), 0444), 0);
    Recorder r(t.Root());
    r.dir.Execute();
    ASSERT_NE(r.get("/ro"), nullptr);
    EXPECT_EQ(r.get("/ro")->attr, faArchive | faReadOnly);
}

} // namespace
} // namespace pelmora
