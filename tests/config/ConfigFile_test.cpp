#include "config/TaskStore.h"
#include "tests/config/ConfigBytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

namespace pelmora {
namespace {

using test::AppendInt32;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

std::string recordBytes(const TSyncTask& task)
{
    return std::string(reinterpret_cast<const char*>(&task), sizeof task);
}

// Compares long byte strings and names the first differing offset instead of printing both.
testing::AssertionResult sameBytes(const std::string& actual, const std::string& expected)
{
    if (actual == expected)
        return testing::AssertionSuccess();
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
        ++i;
    return testing::AssertionFailure() << "sizes " << actual.size() << " / " << expected.size()
                                       << ", first difference at offset " << i;
}

// A record whose every byte depends on its position and a seed, so a shifted or mixed-up
// record shows.
std::string patternRecord(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + seed * 31 + 1) & 0xFF);
    return bytes;
}

std::string scheduleBytes(const char* name, std::uint8_t kind, double nextRun)
{
    TScheduleItem item{};
    WriteShortString(item.Name, name);
    WriteShortString(item.TaskName, "Job");
    item.Kind = kind;
    item.WeekDay = 3;
    item.Time = 0.25;
    item.RepeatCount = 4;
    item.NextRun = nextRun;
    return std::string(reinterpret_cast<const char*>(&item), sizeof item);
}

std::string currentHeader(std::int32_t recordSize)
{
    std::string out;
    AppendInt32(out, kFormatVersion);
    AppendInt32(out, recordSize);
    out.resize(kConfigHeaderSize, '\0');
    return out;
}

ConfigContents parse(const std::string& bytes)
{
    return ParseConfig(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

TTaskStore sampleState(const std::string& file)
{
    TTaskStore state;
    state.ConfigFileName = file;
    const std::vector<std::string> names = {"Photos", "\xE6\x96\x87\xE4\xBB\xB6", "backup"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        state.TaskNames.push_back(names[i]);
        auto task = NewSyncTask();
        WriteTextField(task->MainDir, "/home/u/" + names[i]);
        WriteTextField(task->MirrorDir, "/mnt/mirror");
        WriteCountedField(task->NetPass, "secret");
        task->InMain = acHostToMirror;
        task->Speed = static_cast<std::int32_t>(100 * i);
        task->AutoMode = ToFlag(i == 2);
        state.TaskList.push_back(std::move(task));
    }
    auto item = std::make_unique<TScheduleItem>();
    std::memcpy(item.get(), scheduleBytes("Nightly", skDaily, 45000.5).data(), kScheduleRecordSize);
    state.ScheduleList.push_back(std::move(item));
    state.Modified = true;
    return state;
}

TEST(ConfigSave, EmptyListIs1029Bytes)
{
    TempFolder dir;
    TTaskStore state;
    state.ConfigFileName = dir / "Pelmora.cfg";
    state.Modified = true;
    SaveConfig(state);
    EXPECT_FALSE(state.Modified);

    const std::string bytes = ReadBytes(state.ConfigFileName);
    ASSERT_EQ(bytes.size(), 1029u);
    EXPECT_TRUE(sameBytes(bytes.substr(0, 8), std::string("\x5B\x00\x01\x00\x82\x0D\x00\x00", 8)));
    EXPECT_TRUE(sameBytes(bytes.substr(8), std::string(1021, '\0')));
}

TEST(ConfigSave, LayoutOfNamesRecordsAndSchedules)
{
    TempFolder dir;
    TTaskStore state = sampleState(dir / "Pelmora.cfg");
    SaveConfig(state);
    const std::string bytes = ReadBytes(state.ConfigFileName);

    const std::string names = "Photos\r\n\xE6\x96\x87\xE4\xBB\xB6\r\nbackup\r\n";
    ASSERT_EQ(bytes.size(), 1024 + names.size() + 1 + 3 * 3458 + 4 + 52);
    EXPECT_TRUE(sameBytes(bytes.substr(1024, names.size() + 1), names + '\0'));
    const std::size_t records = 1024 + names.size() + 1;
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(sameBytes(bytes.substr(records + i * 3458, 3458), recordBytes(*state.TaskList[i])))
            << "record " << i;
    EXPECT_TRUE(sameBytes(bytes.substr(records + 3 * 3458, 4), std::string("\x01\x00\x00\x00", 4)));
    EXPECT_TRUE(sameBytes(bytes.substr(records + 3 * 3458 + 4), scheduleBytes("Nightly", skDaily, 45000.5)));
}

TEST(ConfigSave, SaveLoadSaveGivesIdenticalBytes)
{
    TempFolder dir;
    TTaskStore state = sampleState(dir / "Pelmora.cfg");
    SaveConfig(state);
    const std::string first = ReadBytes(state.ConfigFileName);

    TTaskStore loaded;
    loaded.ConfigFileName = state.ConfigFileName;
    loaded.Modified = true;
    loaded.CurrentIndex = 2;
    LoadConfig(loaded);
    EXPECT_FALSE(loaded.Modified);
    EXPECT_EQ(loaded.CurrentIndex, -1);
    EXPECT_EQ(loaded.CurrentTask(), nullptr);
    EXPECT_EQ(loaded.TaskNames, state.TaskNames);
    ASSERT_EQ(loaded.TaskList.size(), 3u);
    EXPECT_EQ(ReadTextField(loaded.TaskList[1]->MainDir), "/home/u/\xE6\x96\x87\xE4\xBB\xB6");
    EXPECT_EQ(ReadCountedField(loaded.TaskList[0]->NetPass), "secret");
    ASSERT_EQ(loaded.ScheduleList.size(), 1u);
    EXPECT_EQ(ReadShortString(loaded.ScheduleList[0]->Name), "Nightly");

    SaveConfig(loaded);
    EXPECT_TRUE(sameBytes(ReadBytes(state.ConfigFileName), first));
}

// A code byte outside the named actions is neither refused nor changed: it is loaded and
// saved again as it was.
TEST(ConfigSave, OutOfRangeActionByteRoundTripsUnchanged)
{
    TempFolder dir;
    TTaskStore state = sampleState(dir / "Pelmora.cfg");
    state.TaskList[1]->InMain = static_cast<TAction>(7);
    state.TaskList[1]->EmptyDir = static_cast<TAction>(0xFF);
    SaveConfig(state);
    const std::string first = ReadBytes(state.ConfigFileName);

    TTaskStore loaded;
    loaded.ConfigFileName = state.ConfigFileName;
    LoadConfig(loaded);
    ASSERT_EQ(loaded.TaskList.size(), 3u);
    EXPECT_EQ(static_cast<int>(loaded.TaskList[1]->InMain), 7);
    EXPECT_EQ(static_cast<int>(loaded.TaskList[1]->EmptyDir), 0xFF);
    EXPECT_TRUE(sameBytes(recordBytes(*loaded.TaskList[1]), recordBytes(*state.TaskList[1])));

    SaveConfig(loaded);
    EXPECT_TRUE(sameBytes(ReadBytes(state.ConfigFileName), first));
}

TEST(ConfigSave, FileIsPrivateEvenWhenTheOldOneWasNot)
{
    TempFolder dir;
    const std::string file = dir / "Pelmora.cfg";
    WriteBytes(file, "old");
    ::chmod(file.c_str(), 0644);
    TTaskStore state = sampleState(file);
    SaveConfig(state);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// Only the target file may be in the folder afterwards: no temporary file left over.
void expectOnlyFile(const TempFolder& dir, const std::string& name)
{
    std::vector<std::string> entries;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        entries.push_back(e.path().filename().string());
    EXPECT_EQ(entries, std::vector<std::string>{name});
}

TEST(ConfigSave, FirstSaveMakesThePrivateFolders)
{
    TempFolder dir;
    TTaskStore state = sampleState(dir / "home/.config/pelmora/Pelmora.cfg");
    SaveConfig(state);
    struct stat st
    {
    };
    for (const char* folder : {"home", "home/.config", "home/.config/pelmora"}) {
        ASSERT_EQ(::stat((dir / folder).c_str(), &st), 0) << folder;
        EXPECT_EQ(st.st_mode & 07777, 0700u) << folder;
    }
    ASSERT_EQ(::stat(state.ConfigFileName.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadConfigFile(state.ConfigFileName).TaskNames, state.TaskNames);
    EXPECT_FALSE(state.Modified);
}

TEST(ConfigSaveFailure, UnreachableFolderRaisesTheSystemTextAndKeepsModified)
{
    TempFolder dir;
    WriteBytes(dir / "a-file", "x");
    TTaskStore state = sampleState(dir / "a-file/pelmora/Pelmora.cfg");
    try {
        SaveConfig(state);
        FAIL() << "save below a file succeeded";
    } catch (const EConfigError& e) {
        EXPECT_NE(std::string(e.what()).find("Not a directory"), std::string::npos) << e.what();
        EXPECT_EQ(e.errorCode(), ENOTDIR);
    }
    EXPECT_TRUE(state.Modified);
}

TEST(ConfigSaveFailure, WriteStoppingPartWayLeavesTheOldFileIntact)
{
    TempFolder dir;
    const std::string file = dir / "Pelmora.cfg";
    TTaskStore state = sampleState(file);
    state.TaskNames.resize(1);
    state.TaskList.resize(1);
    SaveConfig(state);
    const std::string before = ReadBytes(file);

    // Ten more tasks make the file far larger than the 8 KiB this process may now write, so
    // the write fails part-way with EFBIG, as on a full disk.
    for (int i = 0; i < 10; ++i) {
        state.TaskNames.push_back("t" + std::to_string(i));
        state.TaskList.push_back(NewSyncTask());
    }
    state.Modified = true;
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 8192;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool raised = false;
    try {
        SaveConfig(state);
    } catch (const EConfigError& e) {
        raised = true;
        EXPECT_EQ(e.errorCode(), EFBIG);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(raised);
    EXPECT_TRUE(state.Modified);
    EXPECT_TRUE(sameBytes(ReadBytes(file), before));
    expectOnlyFile(dir, "Pelmora.cfg");
}

TEST(ConfigSaveFailure, RenameOntoAFolderRemovesTheTemporaryFile)
{
    TempFolder dir;
    const std::string target = dir / "Pelmora.cfg";
    std::filesystem::create_directory(target);
    std::filesystem::create_directory(target + "/keep");
    TTaskStore state = sampleState(target);
    EXPECT_THROW(SaveConfig(state), EConfigError);
    EXPECT_TRUE(std::filesystem::is_directory(target + "/keep"));
    expectOnlyFile(dir, "Pelmora.cfg");
}

TEST(ConfigLoadFailure, UnreadableFileRaisesAndLeavesTheStateAsItWas)
{
    TempFolder dir;
    TTaskStore state = sampleState(dir / "missing.cfg");
    try {
        LoadConfig(state);
        FAIL() << "loading a missing file succeeded";
    } catch (const EConfigError& e) {
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
    }
    EXPECT_EQ(state.TaskNames.size(), 3u);
    EXPECT_EQ(state.TaskList.size(), 3u);

    state.ConfigFileName = dir.path().string();
    EXPECT_THROW(LoadConfig(state), EConfigError);
}

TEST(ConfigLoad, LargerRecordSizeKeeps3458AndSkipsTheRest)
{
    std::string file = currentHeader(4000) + std::string("A\r\nB\r\n\0", 7);
    const std::string a = patternRecord(4000, 1);
    const std::string b = patternRecord(4000, 2);
    file += a + b;
    AppendInt32(file, 1);
    file += scheduleBytes("S", skWeekly, 46000.25);

    const ConfigContents c = parse(file);
    ASSERT_EQ(c.TaskNames, (std::vector<std::string>{"A", "B"}));
    ASSERT_EQ(c.TaskList.size(), 2u);
    EXPECT_TRUE(sameBytes(recordBytes(*c.TaskList[0]), a.substr(0, 3458)));
    EXPECT_TRUE(sameBytes(recordBytes(*c.TaskList[1]), b.substr(0, 3458)));
    ASSERT_EQ(c.ScheduleList.size(), 1u);
    EXPECT_EQ(c.ScheduleList[0]->Kind, skWeekly);
    EXPECT_EQ(double{c.ScheduleList[0]->NextRun}, 46000.25);
}

// The first 2092 bytes come from the file, everything after keeps the new-record defaults.
void expectOldRecord(const TSyncTask& task, const std::string& stored)
{
    const std::string bytes = recordBytes(task);
    EXPECT_TRUE(sameBytes(bytes.substr(0, 2092), stored));
    EXPECT_TRUE(sameBytes(bytes.substr(2092), recordBytes(*NewSyncTask()).substr(2092)));
    EXPECT_EQ(std::int32_t{task.Speed}, 3000);
    EXPECT_FALSE(IsSet(task.AutoMode));
    EXPECT_EQ(ReadTextField(task.Desc), "");
}

TEST(ConfigLoad, RecordSize2092AtOffset1024)
{
    std::string file = currentHeader(2092) + std::string("one\r\ntwo\0", 9);
    const std::string r1 = patternRecord(2092, 5);
    const std::string r2 = patternRecord(2092, 6);
    file += r1 + r2;
    AppendInt32(file, 0);
    const ConfigContents c = parse(file);
    ASSERT_EQ(c.TaskNames, (std::vector<std::string>{"one", "two"}));
    expectOldRecord(*c.TaskList[0], r1);
    expectOldRecord(*c.TaskList[1], r2);
    EXPECT_TRUE(c.ScheduleList.empty());
}

// The earlier layout is recognised by its first four bytes read as a number below 65589,
// which names whose fourth byte is 0x80 or more (most non-ASCII names) always give.
TEST(ConfigLoad, EarlierLayoutHasNoHeader)
{
    const std::string first = "\xE6\x8E\x92\xE7\xA8\x8B"; // fourth byte 0xE7: a negative number
    std::string file = first + "\r\nJob2\r\n" + '\0';
    const std::string r1 = patternRecord(2092, 7);
    const std::string r2 = patternRecord(2092, 8);
    file += r1 + r2;
    AppendInt32(file, 2);
    file += scheduleBytes("first", skDaily, 45001) + scheduleBytes("second", skInterval, 45002);
    const ConfigContents c = parse(file);
    ASSERT_EQ(c.TaskNames, (std::vector<std::string>{first, "Job2"}));
    expectOldRecord(*c.TaskList[0], r1);
    expectOldRecord(*c.TaskList[1], r2);
    ASSERT_EQ(c.ScheduleList.size(), 2u);
    EXPECT_EQ(ReadShortString(c.ScheduleList[1]->Name), "second");
}

TEST(ConfigLoad, LayoutIsDecidedByTheFirstFourBytesAlone)
{
    std::string file = std::string("abc\xE9\r\n\0", 7) + patternRecord(2092, 9);
    const ConfigContents c = parse(file);
    ASSERT_EQ(c.TaskNames, std::vector<std::string>{"abc\xE9"});
    expectOldRecord(*c.TaskList[0], patternRecord(2092, 9));

    // 65588 (bytes 34 00 01 00) is still the earlier layout: its names text is "4".
    std::string edge;
    AppendInt32(edge, 65588);
    EXPECT_EQ(parse(edge + std::string("\r\n\0", 3)).TaskNames, std::vector<std::string>{"4"});
    // 65589 is the current layout, and this file ends long before offset 1024.
    std::string current;
    AppendInt32(current, 65589);
    EXPECT_TRUE(parse(current + std::string("\r\n\0", 3)).TaskNames.empty());
    // A file shorter than four bytes is the earlier layout.
    EXPECT_EQ(parse("ab").TaskNames, std::vector<std::string>{"ab"});
    // An ASCII first name of four letters reads as a large number: the current layout.
    EXPECT_TRUE(parse(std::string("Jobs\r\n\0", 7)).TaskNames.empty());
}

TEST(ConfigLoad, TruncatedFiles)
{
    // Nothing at all, and a current header cut before offset 1024.
    EXPECT_TRUE(parse("").TaskNames.empty());
    EXPECT_TRUE(parse("").ScheduleList.empty());
    const ConfigContents shortHeader = parse(currentHeader(3458).substr(0, 600));
    EXPECT_TRUE(shortHeader.TaskNames.empty());
    EXPECT_TRUE(shortHeader.ScheduleList.empty());

    // Ending right after the names: default records, no schedules.
    const ConfigContents namesOnly = parse(currentHeader(3458) + std::string("x\r\ny\r\n\0", 7));
    ASSERT_EQ(namesOnly.TaskList.size(), 2u);
    EXPECT_TRUE(sameBytes(recordBytes(*namesOnly.TaskList[1]), recordBytes(*NewSyncTask())));
    EXPECT_TRUE(namesOnly.ScheduleList.empty());

    // A record cut short keeps its defaults after the cut; a later name gets a default
    // record; an incomplete schedule entry is dropped.
    const std::string full = patternRecord(3458, 3);
    const std::string cut = currentHeader(3458) + std::string("a\r\nb\r\n\0", 7) + full.substr(0, 1000);
    const ConfigContents partial = parse(cut);
    ASSERT_EQ(partial.TaskList.size(), 2u);
    std::string expected = recordBytes(*NewSyncTask());
    expected.replace(0, 1000, full.substr(0, 1000));
    EXPECT_TRUE(sameBytes(recordBytes(*partial.TaskList[0]), expected));
    EXPECT_TRUE(sameBytes(recordBytes(*partial.TaskList[1]), recordBytes(*NewSyncTask())));

    std::string schedules = currentHeader(3458) + std::string("\0", 1);
    AppendInt32(schedules, 3);
    schedules += scheduleBytes("s1", skDaily, 45000) + scheduleBytes("s2", skDaily, 45000).substr(0, 51);
    const ConfigContents cutSchedules = parse(schedules);
    ASSERT_EQ(cutSchedules.ScheduleList.size(), 1u);
    EXPECT_EQ(ReadShortString(cutSchedules.ScheduleList[0]->Name), "s1");
}

TEST(ConfigLoad, OddRecordSizesAndCounts)
{
    // RecordSize 0 or negative keeps nothing: every record is the default one and the
    // schedule section follows the names directly.
    for (std::int32_t size : {0, -5}) {
        std::string file = currentHeader(size) + std::string("a\r\nb\0", 5);
        AppendInt32(file, 1);
        file += scheduleBytes("z", skDaily, 45000);
        const ConfigContents c = parse(file);
        ASSERT_EQ(c.TaskList.size(), 2u) << size;
        EXPECT_TRUE(sameBytes(recordBytes(*c.TaskList[0]), recordBytes(*NewSyncTask())));
        EXPECT_EQ(c.ScheduleList.size(), 1u) << size;
    }
    // A negative schedule count reads no entries; a huge one reads as many as there are.
    std::string negative = currentHeader(3458) + std::string("\0", 1);
    AppendInt32(negative, -1);
    negative += scheduleBytes("z", skDaily, 45000);
    EXPECT_TRUE(parse(negative).ScheduleList.empty());
    std::string huge = currentHeader(3458) + std::string("\0", 1);
    AppendInt32(huge, 0x7FFFFFFF);
    huge += scheduleBytes("z", skDaily, 45000) + scheduleBytes("y", skDaily, 45000);
    EXPECT_EQ(parse(huge).ScheduleList.size(), 2u);
    // A huge RecordSize skips beyond the end without reading outside the data.
    std::string skipping = currentHeader(0x7FFFFFFF) + std::string("a\r\nb\0", 5) + patternRecord(5000, 4);
    const ConfigContents s = parse(skipping);
    ASSERT_EQ(s.TaskList.size(), 2u);
    EXPECT_TRUE(sameBytes(recordBytes(*s.TaskList[0]), patternRecord(5000, 4).substr(0, 3458)));
    EXPECT_TRUE(sameBytes(recordBytes(*s.TaskList[1]), recordBytes(*NewSyncTask())));
}

TEST(ConfigLoad, NonFiniteDoublesReadAsDefaultsOrNotArmed)
{
    TSyncTask task;
    InitSyncTask(task);
    task.TimeShift = std::numeric_limits<double>::infinity();
    std::string file = currentHeader(3458) + std::string("n\r\n\0", 4) + recordBytes(task);
    AppendInt32(file, 1);
    file += scheduleBytes("nan", skDaily, std::nan(""));
    const ConfigContents c = parse(file);
    EXPECT_EQ(double{c.TaskList[0]->TimeShift}, DefaultTimeShift());
    ASSERT_EQ(c.ScheduleList.size(), 1u);
    EXPECT_FALSE(IsArmed(*c.ScheduleList[0]));
}

TEST(ConfigNames, LinesEndAtCrLfOrCrLf)
{
    EXPECT_EQ(SplitNames("a\rb\nc\r\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitNames("a\n\rb\r\n"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitNames("\r\n"), std::vector<std::string>{""});
    EXPECT_TRUE(SplitNames("").empty());
    EXPECT_EQ(SplitNames("a\nb\nc\nd", 2), (std::vector<std::string>{"a", "b"}));
}

TEST(ConfigNames, NamesThatCannotBeStoredKeepOneRecordEach)
{
    const std::vector<std::string> names = {"two\r\nlines", ""};
    TaskRecords tasks;
    tasks.push_back(NewSyncTask());
    tasks.push_back(NewSyncTask());
    tasks[1]->Speed = 77;
    const ConfigContents c = parse(SerializeConfig(names, tasks, {}));
    EXPECT_EQ(c.TaskNames, (std::vector<std::string>{"two  lines", ""}));
    EXPECT_EQ(c.TaskList[1]->Speed, 77);
}

TEST(ConfigText, ReadTextAndWriteText)
{
    const std::string data("ab\0cd", 5);
    ByteReader reader{std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()), 0};
    EXPECT_EQ(ReadText(reader), "ab");
    EXPECT_EQ(reader.pos, 3u);
    EXPECT_EQ(ReadText(reader), "cd"); // runs to the end of the data, no NUL to consume
    EXPECT_EQ(reader.pos, 5u);
    EXPECT_EQ(ReadText(reader), "");
    EXPECT_EQ(reader.pos, 5u);

    std::string out;
    WriteText(out, "");
    WriteText(out, "log");
    EXPECT_EQ(out, std::string("\0log\0", 5));
}

} // namespace
} // namespace pelmora
