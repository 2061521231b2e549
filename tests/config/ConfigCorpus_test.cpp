#include "config/ConfigFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>

namespace pelmora {
namespace {

const std::filesystem::path kCorpus = std::filesystem::path(__FILE__).parent_path() / "corpus";

struct Expected
{
    std::size_t names;
    std::size_t schedules;
};

// What each hand-made file must give (see corpus/make-corpus.py for how each is built).
const std::map<std::string, Expected> kExpected = {
    {"empty.cfg", {0, 0}},
    {"three-bytes.cfg", {1, 0}},
    {"truncated-header.cfg", {0, 0}},
    {"header-cut-at-1000.cfg", {0, 0}},
    {"huge-record-size.cfg", {2, 0}},
    {"negative-record-size.cfg", {1, 2}},
    {"negative-count.cfg", {0, 0}},
    {"huge-count.cfg", {0, 3}},
    {"length-bytes-255.cfg", {1, 1}},
    {"names-without-line-end.cfg", {1, 0}},
    {"names-mixed-line-ends.cfg", {5, 0}},
    {"names-without-nul.cfg", {2, 0}},
    {"many-empty-names.cfg", {kMaxConfigTasks, 0}},
    {"earlier-layout-high-bytes.cfg", {2, 1}},
    {"non-finite-doubles.cfg", {1, 2}},
};

std::string bytesOf(const void* p, std::size_t n)
{
    return std::string(static_cast<const char*>(p), n);
}

TEST(ConfigCorpus, EveryFileLoadsWithSaneResults)
{
    std::size_t seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        if (entry.path().extension() != ".cfg")
            continue;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        ++seen;
        const ConfigContents c = ReadConfigFile(entry.path().string());

        const auto expected = kExpected.find(name);
        ASSERT_NE(expected, kExpected.end()) << "no expectation for this corpus file";
        EXPECT_EQ(c.TaskNames.size(), expected->second.names);
        EXPECT_EQ(c.ScheduleList.size(), expected->second.schedules);
        ASSERT_EQ(c.TaskList.size(), c.TaskNames.size());

        for (const auto& task : c.TaskList) {
            EXPECT_TRUE(std::isfinite(task->TimeShift));
            EXPECT_LE(ReadCountedField(task->NetPass).size(), 31u);
            EXPECT_LE(ReadTextField(task->MainDir).size(), 512u);
        }
        for (const auto& item : c.ScheduleList) {
            EXPECT_TRUE(std::isfinite(item->NextRun));
            EXPECT_TRUE(std::isfinite(item->Time));
            EXPECT_LE(ReadShortString(item->Name).size(), 15u);
        }

        // Whatever was loaded saves and loads back unchanged.
        const std::string saved = SerializeConfig(c.TaskNames, c.TaskList, c.ScheduleList);
        const ConfigContents again =
            ParseConfig(std::span(reinterpret_cast<const std::uint8_t*>(saved.data()), saved.size()));
        EXPECT_EQ(again.TaskNames, c.TaskNames);
        ASSERT_EQ(again.TaskList.size(), c.TaskList.size());
        for (std::size_t i = 0; i < c.TaskList.size(); ++i)
            EXPECT_EQ(bytesOf(again.TaskList[i].get(), kTaskRecordSize), bytesOf(c.TaskList[i].get(), kTaskRecordSize));
        ASSERT_EQ(again.ScheduleList.size(), c.ScheduleList.size());
        for (std::size_t i = 0; i < c.ScheduleList.size(); ++i)
            EXPECT_EQ(bytesOf(again.ScheduleList[i].get(), kScheduleRecordSize),
                      bytesOf(c.ScheduleList[i].get(), kScheduleRecordSize));
    }
    EXPECT_EQ(seen, kExpected.size());
}

TEST(ConfigCorpus, NonFiniteDoublesFallBack)
{
    const ConfigContents c = ReadConfigFile((kCorpus / "non-finite-doubles.cfg").string());
    ASSERT_EQ(c.TaskList.size(), 1u);
    EXPECT_EQ(double{c.TaskList[0]->TimeShift}, DefaultTimeShift());
    ASSERT_EQ(c.ScheduleList.size(), 2u);
    EXPECT_FALSE(IsArmed(*c.ScheduleList[0]));
    EXPECT_EQ(double{c.ScheduleList[1]->Time}, 0.0);
    EXPECT_TRUE(IsArmed(*c.ScheduleList[1]));
}

} // namespace
} // namespace pelmora
