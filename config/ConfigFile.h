#pragma once
// The configuration file: task names, one TSyncTask record per name and the schedule
// entries, in the current layout (a 1024-byte header) or the earlier header-less one.
// Plain records in, plain records out: the window state that holds them lives above this
// library (config/TaskStore.h). Used on the UI thread.

#include "core/SyncTask.h"
#include "schedule/ScheduleItem.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

inline constexpr std::int32_t kFormatVersion = 65627;    // 0x0001005B, written
inline constexpr std::int32_t kCurrentLayoutMin = 65589; // first four bytes >= this: current layout
inline constexpr std::size_t kConfigHeaderSize = 1024;
// A file can name more tasks than any list could show; the loader keeps the first ones so
// that a hostile file cannot make it allocate gigabytes of default records.
inline constexpr std::size_t kMaxConfigTasks = 10000;
// Larger files are refused unread.
inline constexpr std::uint64_t kMaxConfigFileSize = 256ull * 1024 * 1024;

// A failed load or save; what() is the file name and the system's error text.
class EConfigError : public std::runtime_error
{
public:
    EConfigError(const std::string& message, int errorCode) : std::runtime_error(message), m_errorCode(errorCode) {}
    int errorCode() const { return m_errorCode; }

private:
    int m_errorCode;
};

// What a configuration file holds.
struct ConfigContents
{
    std::vector<std::string> TaskNames;
    TaskRecords TaskList; // always as many as TaskNames
    ScheduleItems ScheduleList;
};

// An in-memory stream for ReadText.
struct ByteReader
{
    std::span<const std::uint8_t> data;
    std::size_t pos = 0;
};

// The text at the reader's position up to the first NUL or the end of the data; the text and
// its NUL are consumed. At or beyond the end: empty, nothing consumed.
std::string ReadText(ByteReader& reader);
// Appends `text` and one NUL byte to `out`.
void WriteText(std::string& out, std::string_view text);

// Splits the names text into lines ended by CR, LF or CR LF; a last line without an ending
// counts, an empty text gives no names.
// Lines after the first maxNames are not split off at all, so a text of millions of line
// ends costs no more than maxNames names.
std::vector<std::string> SplitNames(std::string_view text, std::size_t maxNames = kMaxConfigTasks);

// Decodes a whole file. Never fails: truncated or malformed data yields what could be read,
// every field bounded by its array (names beyond kMaxConfigTasks are dropped).
ConfigContents ParseConfig(std::span<const std::uint8_t> data);
// The bytes of the current layout. Names cannot hold CR, LF or NUL in the file: such
// characters are written as blanks so that each name keeps its own record.
std::string SerializeConfig(const std::vector<std::string>& names, const TaskRecords& tasks,
                            const ScheduleItems& schedules);

// The whole file at `path`. Throws EConfigError when it cannot be opened or read (or is
// larger than kMaxConfigFileSize).
ConfigContents ReadConfigFile(const std::string& path);
// Replaces the file at `path` with `bytes` atomically (written beside it, flushed to disk,
// renamed over it), mode 0600. Throws EConfigError on any failure; the previous file is then
// unchanged and no temporary file is left behind.
void WriteConfigFile(const std::string& path, std::string_view bytes);

} // namespace pelmora
