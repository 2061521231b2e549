#include "core/SyncTask.h"
#include "core/Utf8.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <map>

namespace pelmora {
namespace {

std::string bytesOf(const TSyncTask& task)
{
    return std::string(reinterpret_cast<const char*>(&task), sizeof task);
}

TEST(SyncTaskRecord, NewRecordHoldsZerosExceptTheDefaults)
{
    const auto task = NewSyncTask();
    const std::string bytes = bytesOf(*task);
    const std::map<std::size_t, unsigned char> expected = {
        {3184, 0xB8}, {3185, 0x0B}, {3446, 0x0A}, {3449, 0xFF}, {3450, 0x3B}, {3451, 0x97},
        {3452, 0xAA}, {3453, 0xD2}, {3454, 0x77}, {3455, 0x48}, {3456, 0xF8}, {3457, 0x3E},
    };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto it = expected.find(i);
        const unsigned char want = it == expected.end() ? 0 : it->second;
        ASSERT_EQ(static_cast<unsigned char>(bytes[i]), want) << "offset " << i;
    }
    EXPECT_EQ(task->Speed, 3000);
    EXPECT_EQ(task->MaxErr, 10);
    EXPECT_NEAR(task->TimeShift * 86400, 2.0, 0.001);
}

// The typed code fields are single bytes at their stored offsets, and a byte outside the
// named codes is held as it is.
TEST(SyncTaskRecord, TypedCodeFieldsKeepTheStoredLayout)
{
    EXPECT_EQ(sizeof(TSyncTask), 3458u);
    EXPECT_EQ(offsetof(TSyncTask, InMain), 38u);
    EXPECT_EQ(offsetof(TSyncTask, SyncType), 3188u);
    EXPECT_EQ(sizeof(TSyncTask::InMain), 1u);
    EXPECT_EQ(sizeof(TSyncTask::SyncType), 1u);

    auto task = NewSyncTask();
    task->InMain = static_cast<TAction>(7);
    task->SyncType = static_cast<TSyncType>(200);
    const std::string bytes = bytesOf(*task);
    EXPECT_EQ(static_cast<unsigned char>(bytes[38]), 7);
    EXPECT_EQ(static_cast<unsigned char>(bytes[3188]), 200);
}

TEST(SyncTaskRecord, TextFieldReadsToNulOrWholeArray)
{
    auto task = NewSyncTask();
    std::memcpy(task->MainDir, "/data\0junk", 10);
    EXPECT_EQ(ReadTextField(task->MainDir), "/data");

    std::memset(task->ExcludeList, 'x', sizeof task->ExcludeList);
    EXPECT_EQ(ReadTextField(task->ExcludeList), std::string(1024, 'x'));
}

TEST(SyncTaskRecord, TextFieldWriterKeepsRoomForNulAndClearsOldText)
{
    auto task = NewSyncTask();
    WriteTextField(task->Desc, std::string(600, 'a'));
    EXPECT_EQ(ReadTextField(task->Desc), std::string(511, 'a'));
    EXPECT_EQ(task->Desc[511], '\0');

    WriteTextField(task->Desc, "short");
    EXPECT_EQ(ReadTextField(task->Desc), "short");
    // Nothing of the longer text may remain in the stored bytes.
    EXPECT_EQ(std::string(task->Desc + 5, 507), std::string(507, '\0'));

    // 510 ASCII bytes and a 2-byte character would need 512: the character is dropped whole.
    WriteTextField(task->MainDir, std::string(510, 'b') + "\xC3\xA9");
    EXPECT_EQ(ReadTextField(task->MainDir), std::string(510, 'b'));
}

TEST(SyncTaskRecord, CountedFieldBoundsTheLengthByte)
{
    auto task = NewSyncTask();
    task->IgnoreList.len = 255;
    std::memset(task->IgnoreList.data, '*', 255);
    EXPECT_EQ(ReadCountedField(task->IgnoreList).size(), 255u);

    // A foreign file may claim more than the 31-byte array holds.
    task->NetPass.len = 200;
    std::memset(task->NetPass.data, 'p', 31);
    EXPECT_EQ(ReadCountedField(task->NetPass), std::string(31, 'p'));

    // 30 bytes and a 3-byte character: the character does not fit in 31 and is dropped whole.
    WriteCountedField(task->NetName, std::string(30, 'u') + "\xE7\x94\xA8");
    EXPECT_EQ(ReadCountedField(task->NetName), std::string(30, 'u'));
    EXPECT_EQ(task->NetName.data[30], '\0');
    WriteCountedField(task->NetName, std::string(28, 'u') + "\xE7\x94\xA8");
    EXPECT_EQ(ReadCountedField(task->NetName), std::string(28, 'u') + "\xE7\x94\xA8");
}

// Every cut of a text mixing 1- to 4-byte characters ends on a character boundary and loses
// less than one character.
TEST(Utf8Cut, NeverEndsInsideACharacter)
{
    const std::string text = "a\xC3\xA9"
                             "b\xE6\x8E\x92\xF0\x9F\x98\x80"
                             "c\xE7\xA8\x8B";
    const std::vector<std::size_t> boundaries = {0, 1, 3, 4, 7, 11, 12, 15};
    for (std::size_t limit = 0; limit <= text.size() + 1; ++limit) {
        const std::string_view cut = CutUtf8(text, limit);
        ASSERT_EQ(text.substr(0, cut.size()), cut);
        std::size_t best = 0;
        for (std::size_t b : boundaries)
            if (b <= limit)
                best = b;
        EXPECT_EQ(cut.size(), best) << "limit " << limit;
    }
}

TEST(Utf8Cut, InvalidBytesCountAsSingleCharacters)
{
    // Lone continuation bytes are not part of any character; cutting among them is allowed.
    EXPECT_EQ(CutUtf8("\x80\x80\x80\x80\x80", 3).size(), 3u);
    // A lead byte whose sequence is shorter than the bytes after it is cut after the sequence.
    EXPECT_EQ(CutUtf8("\xC3\xA9\xA9", 2).size(), 2u);
}

TEST(TextCompare, FoldsOnlyAsciiLetters)
{
    EXPECT_TRUE(EqualsAsciiNoCase("Backup-Daily", "bACKUP-dAILY"));
    EXPECT_FALSE(EqualsAsciiNoCase("\xC3\xA9", "\xC3\x89")); // é and É stay different
    EXPECT_FALSE(EqualsAsciiNoCase("abc", "abcd"));
    EXPECT_EQ(AsciiUpper("-a\xC3\xA9z"), "-A\xC3\xA9Z");
}

} // namespace
} // namespace pelmora
