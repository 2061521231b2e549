// libFuzzer target for the configuration loader: any byte string must parse without a crash,
// a sanitizer report or unbounded memory, and what it yields must save and load back the same.
// Built by bench/fuzz-config.sh with clang; not part of the CMake build.

#include "config/ConfigFile.h"
#include "core/DateTime.h"
#include "schedule/ScheduleItem.h"
#include "tests/support/FakeClock.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool sameBytes(const void* a, const void* b, std::size_t n)
{
    return std::memcmp(a, b, n) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pelmora;
    const ConfigContents c = ParseConfig(std::span(data, size));
    check(c.TaskList.size() == c.TaskNames.size());
    check(c.TaskNames.size() <= kMaxConfigTasks);

    std::size_t touched = 0;
    for (const auto& task : c.TaskList) {
        touched += ReadTextField(task->MainDir).size() + ReadTextField(task->MirrorDir).size();
        touched += ReadTextField(task->ExcludeList).size() + ReadTextField(task->Desc).size();
        touched += ReadCountedField(task->IgnoreList).size() + ReadCountedField(task->DelList).size();
        touched += ReadCountedField(task->OnlyTypeList).size() + ReadCountedField(task->NetName).size();
        touched += ReadCountedField(task->NetPass).size();
        check(ReadCountedField(task->NetPass).size() <= 31);
        check(std::isfinite(task->TimeShift));
    }
    FakeClock clock(45000.75);
    for (const auto& stored : c.ScheduleList) {
        check(std::isfinite(stored->NextRun) && std::isfinite(stored->Time));
        touched += ReadShortString(stored->Name).size() + ReadShortString(stored->TaskName).size();
        TScheduleItem item = *stored;
        ComputeNextRun(item, clock);
        const LocalDateTime next = DecodeDateTime(item.NextRun);
        check(next.year >= 1 && next.year <= 9999);
    }
    check(touched < (std::size_t{1} << 40));

    const std::string saved = SerializeConfig(c.TaskNames, c.TaskList, c.ScheduleList);
    const ConfigContents again =
        ParseConfig(std::span(reinterpret_cast<const std::uint8_t*>(saved.data()), saved.size()));
    check(again.TaskNames == c.TaskNames);
    check(again.TaskList.size() == c.TaskList.size());
    for (std::size_t i = 0; i < c.TaskList.size(); ++i)
        check(sameBytes(again.TaskList[i].get(), c.TaskList[i].get(), kTaskRecordSize));
    check(again.ScheduleList.size() == c.ScheduleList.size());
    for (std::size_t i = 0; i < c.ScheduleList.size(); ++i)
        check(sameBytes(again.ScheduleList[i].get(), c.ScheduleList[i].get(), kScheduleRecordSize));
    return 0;
}
