#include "sync/FileLists.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace pelmora {
namespace {

std::vector<std::string> keysOf(const TSortList& list)
{
    std::vector<std::string> keys;
    for (const TMFileInfoRec* r : list)
        keys.emplace_back(r->RelPath());
    return keys;
}

// Owns the records of a test's sorted list.
struct OwnedSortList
{
    TSortList list;
    ~OwnedSortList() { list.FreeRecords(); }
    TMFileInfoRec* make(std::string_view key, std::int64_t size = 0)
    {
        return TMFileInfoRec::Create(key, size, 0, opNone).release();
    }
};

TEST(NameComparison, FoldsOnlyAsciiLettersAndOrdersByByte)
{
    EXPECT_EQ(CompareNames("/Docs/A.txt", "/docs/a.TXT"), 0);
    EXPECT_GT(CompareNames("/a_b", "/aZ"), 0); // '_' is above 'Z'
    EXPECT_LT(CompareNames("/a/x", "/a_"), 0);
    EXPECT_LT(CompareNames("/abc", "/abcd"), 0); // a prefix sorts first
    EXPECT_GT(CompareNames("/abcd", "/abc"), 0);
    EXPECT_NE(CompareNames("/\xC3\xA9", "/\xC3\x89"), 0); // no folding beyond ASCII
    EXPECT_GT(CompareNames("/\xC3\xA9", "/z"), 0);        // bytes compare unsigned
    // Long common prefixes, a difference only in case, then a real difference.
    EXPECT_EQ(CompareNames("/projects/2024/quarterly-report/FINAL.doc", "/projects/2024/Quarterly-Report/final.DOC"),
              0);
    EXPECT_LT(CompareNames("/projects/2024/quarterly-report/a.doc", "/projects/2024/QUARTERLY-REPORT/b.doc"), 0);
    EXPECT_TRUE(SameName("/X", "/x"));
    EXPECT_FALSE(SameName("/x", "/x/"));
}

TEST(SortList, FindAndAddKeepTheNameOrder)
{
    OwnedSortList o;
    EXPECT_EQ(o.list.Find("/a"), -1);
    o.list.Add(o.make("/c"));
    o.list.Add(o.make("/a"));
    EXPECT_EQ(o.list.Find("/b"), ~1);
    EXPECT_EQ(o.list.Find("/0"), ~0);
    EXPECT_EQ(o.list.Find("/d"), ~2);
    o.list.Add(o.make("/b"));
    EXPECT_EQ(keysOf(o.list), (std::vector<std::string>{"/a", "/b", "/c"}));
    EXPECT_EQ(o.list.Find("/B"), 1);
    EXPECT_EQ(o.list.Count(), 3);
}

TEST(SortList, EqualKeysKeepBothNewestFirstUnlessUnique)
{
    OwnedSortList o;
    o.list.Add(o.make("/a", 1));
    o.list.Add(o.make("/A", 2));
    ASSERT_EQ(o.list.Count(), 2);
    EXPECT_EQ(o.list[0]->Size, 2);
    EXPECT_EQ(o.list[1]->Size, 1);

    OwnedSortList u;
    u.list.Unique = true;
    u.list.Add(u.make("/a", 1));
    TMFileInfoRec* dup = TMFileInfoRec::Create("/A", 2, 0, opNone).release();
    EXPECT_EQ(u.list.Add(dup), 0);
    EXPECT_EQ(u.list.Count(), 1);
    EXPECT_EQ(u.list[0]->Size, 1);
    TMFileInfoRec::Free(dup);
}

TEST(SortList, CustomOrderIsUsed)
{
    OwnedSortList o;
    o.list.OnCompare = [](std::string_view a, std::string_view b) { return CompareNames(b, a); };
    for (const char* k : {"/a", "/c", "/b"})
        o.list.Add(o.make(k));
    EXPECT_EQ(keysOf(o.list), (std::vector<std::string>{"/c", "/b", "/a"}));
    EXPECT_EQ(o.list.Find("/b"), 1);
}

TEST(SortList, BulkLoadGivesTheSameOrderAsAddingOneByOne)
{
    std::mt19937 rng(7);
    std::vector<std::string> keys;
    for (int i = 0; i < 2000; ++i) {
        std::string k = "/d" + std::to_string(rng() % 40) + "/f" + std::to_string(rng() % 500);
        if (rng() % 5 == 0)
            k[1] = 'D'; // a case variant of an existing name: equal under the name comparison
        if (rng() % 7 == 0)
            k = "/d1/Quarterly-Report-" + std::to_string(rng() % 50); // long common name starts
        if (rng() % 11 == 0)
            k = "/d1/q" + std::to_string(rng() % 5); // short names, prefixes of each other
        if (rng() % 13 == 0)
            k = "bare" + std::to_string(rng() % 9); // no separator at all
        keys.push_back(k);
    }
    // A bulk load into an empty list (a side's listing) and one into a list that holds records.
    for (const int preload : {0, 100}) {
        OwnedSortList one;
        OwnedSortList bulk;
        for (int i = 0; i < preload; ++i) {
            one.list.Add(one.make(keys[static_cast<std::size_t>(i)], i));
            bulk.list.Add(bulk.make(keys[static_cast<std::size_t>(i)], i));
        }
        bulk.list.BeginBulk();
        for (std::size_t i = static_cast<std::size_t>(preload); i < keys.size(); ++i) {
            one.list.Add(one.make(keys[i], static_cast<std::int64_t>(i)));
            bulk.list.AddBulk(bulk.make(keys[i], static_cast<std::int64_t>(i)));
        }
        bulk.list.EndBulk();
        ASSERT_EQ(bulk.list.Count(), one.list.Count());
        for (int i = 0; i < one.list.Count(); ++i)
            ASSERT_EQ(bulk.list[i]->RelPath(), one.list[i]->RelPath()) << i << " after " << preload;
        // Among equal keys the bulk-loaded records come newest first, and before the records that
        // were in the list already.
        for (int i = 1; i < bulk.list.Count(); ++i) {
            const std::int64_t prev = bulk.list[i - 1]->Size;
            const std::int64_t cur = bulk.list[i]->Size;
            if (SameName(bulk.list[i - 1]->RelPath(), bulk.list[i]->RelPath()) && cur >= preload) {
                EXPECT_GT(prev, cur) << bulk.list[i]->RelPath();
            }
        }
        // Every key is found again.
        for (const std::string& k : keys)
            EXPECT_GE(bulk.list.Find(k), 0) << k;
    }
}

TEST(SortList, UniqueBulkLoadDropsLaterDuplicates)
{
    OwnedSortList o;
    o.list.Unique = true;
    o.list.Add(o.make("/b", 1));
    o.list.BeginBulk();
    o.list.AddBulk(o.make("/B", 2)); // equal to a record already listed
    o.list.AddBulk(o.make("/a", 3));
    o.list.AddBulk(o.make("/A", 4));
    std::vector<TMFileInfoRec*> dropped = o.list.EndBulk();
    ASSERT_EQ(o.list.Count(), 2);
    EXPECT_EQ(o.list[0]->Size, 3);
    EXPECT_EQ(o.list[1]->Size, 1);
    ASSERT_EQ(dropped.size(), 2u);
    for (TMFileInfoRec* r : dropped) {
        EXPECT_TRUE(r->Size == 2 || r->Size == 4);
        TMFileInfoRec::Free(r);
    }
}

TEST(FileRecord, KeepsPathSizeAgeAndOp)
{
    TMFileInfoPtr rec = TMFileInfoRec::Create("/docs/a.txt", -1, 0x5A2B1234u, opMirrorToHost);
    EXPECT_EQ(rec->RelPath(), "/docs/a.txt");
    EXPECT_EQ(rec->Size, -1);
    EXPECT_EQ(rec->Age, 0x5A2B1234u);
    EXPECT_EQ(rec->Op, opMirrorToHost);
    EXPECT_EQ(rec->FullPath("/data/host"), "/data/host/docs/a.txt");
    EXPECT_EQ(TMFileInfoRec::Create("", 0, 0, static_cast<TFileOp>(0))->RelPath(), "");
}

TEST(SortListIndex, AnswersAsFindDoesWithAndWithoutEqualKeys)
{
    // Case variants hash alike at every length, also across the eight-byte steps of the hash.
    const std::string mixed = "/Some/Folder-Name/With.Many_Letters[0]/zZ@`{~";
    for (std::size_t len = 0; len <= mixed.size(); ++len) {
        std::string upper = mixed.substr(0, len);
        for (char& c : upper)
            c = FoldAscii(c);
        EXPECT_EQ(HashName(mixed.substr(0, len)), HashName(upper)) << len;
    }
    EXPECT_NE(HashName("/a@"), HashName("/a`")); // '@' and '`' are not letters

    std::mt19937 rng(11);
    OwnedSortList o;
    o.list.BeginBulk();
    for (int i = 0; i < 3000; ++i)
        o.list.AddBulk(o.make("/dir" + std::to_string(i % 37) + "/File-" + std::to_string(i)));
    o.list.EndBulk();
    EXPECT_FALSE(o.list.MayHoldEqualKeys());
    {
        const TSortListIndex index(o.list);
        for (int i = 0; i < 4000; ++i) {
            std::string probe = (rng() % 2 ? "/DIR" : "/dir") + std::to_string(i % 37) + "/file-" + std::to_string(i);
            const int expected = o.list.Find(probe);
            EXPECT_EQ(index.Find(probe), expected < 0 ? -1 : expected) << probe;
            const TMFileInfoPtr rec = TMFileInfoRec::Create(probe, 0, 0, opNone);
            EXPECT_EQ(index.Find(*rec), expected < 0 ? -1 : expected) << probe;
        }
    }
    // A bulk load that brings a case variant of a name is known to hold equal keys.
    OwnedSortList variants;
    variants.list.BeginBulk();
    for (const char* k : {"/x/a", "/x/b", "/X/A", "/y"})
        variants.list.AddBulk(variants.make(k));
    variants.list.EndBulk();
    EXPECT_TRUE(variants.list.MayHoldEqualKeys());
    const TSortListIndex variantIndex(variants.list);
    EXPECT_EQ(variantIndex.Find("/x/A"), variants.list.Find("/x/A"));

    // With a duplicate key the index gives exactly Find's choice.
    o.list.Add(o.make("/DIR1/FILE-1"));
    EXPECT_TRUE(o.list.MayHoldEqualKeys());
    const TSortListIndex withDuplicate(o.list);
    EXPECT_EQ(withDuplicate.Find("/dir1/file-1"), o.list.Find("/dir1/file-1"));
    EXPECT_EQ(withDuplicate.Find("/nowhere"), -1);
}

TEST(FolderLists, FindFolderAndIndexGiveTheFirstEqualLine)
{
    TFolderList folders;
    folders.Add("/a/b", 0);
    folders.Add("/A", 10);
    folders.Add("/a", 0); // a case variant: FindFolder answers with the first
    folders.Add("/c", 0);
    EXPECT_EQ(FindFolder(folders, "/a"), 1);
    EXPECT_EQ(FindFolder(folders, "/A/B"), 0);
    EXPECT_EQ(FindFolder(folders, "/x"), -1);
    EXPECT_EQ(folders.Values(1), 10u);

    std::mt19937 rng(3);
    for (int i = 0; i < 500; ++i) {
        std::string p = "/f" + std::to_string(rng() % 200);
        if (rng() % 3 == 0)
            p[1] = 'F';
        folders.Add(p, rng() % 2);
    }
    const TFolderIndex index(folders);
    for (int i = 0; i < 300; ++i) {
        std::string probe = (rng() % 2 ? "/f" : "/F") + std::to_string(rng() % 260);
        EXPECT_EQ(index.Find(probe), FindFolder(folders, probe)) << probe;
    }
    EXPECT_EQ(index.Find("/a"), 1);
}

} // namespace
} // namespace pelmora
