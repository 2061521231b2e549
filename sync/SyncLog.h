#pragma once
// SyncLog: the result log, the ordered text lines that every run appends to (start stamp,
// failed operations, end line, result block) and that the results window shows; at program end
// the whole log is appended to the log file. Used on the UI thread only.

#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// 61 "=" characters; closes the block of every run.
inline constexpr std::string_view kLogSeparator = "=============================================================";

class SyncLog
{
public:
    enum class LineForm {
        Escaped, // control characters are escaped on the way in (EscapeControlChars)
        Raw,     // stored as given: for a log whose lines are handed on to an escaping one
    };

    explicit SyncLog(LineForm form = LineForm::Escaped) : m_form(form) {}

    // Appends one line. File names may hold any byte but "/" and NUL: a line break, or an
    // escape sequence for a terminal, in a name would otherwise forge lines of their own in
    // the results window and the log file, so such characters are escaped (core/Utf8.h) and
    // every stored line is one line. An empty line is a line of its own (Add("")).
    void Add(std::string line);

    const std::vector<std::string>& Lines() const { return m_lines; }
    bool Empty() const { return m_lines.empty(); }

    // Every line followed by CR LF: the bytes the log file receives (without the final NUL).
    std::string Text() const;

    // Called after every Add with the new line, so that an open results window can follow the
    // log as it grows. Empty by default.
    std::function<void(const std::string&)> onLineAdded;

private:
    LineForm m_form;
    std::vector<std::string> m_lines;
};

// "yyyy-mm-dd h:nn:ss" of a broken-down local time: the hour without a leading zero, ':' as
// the time separator. Never fails.
std::string DateTimeStamp(const std::tm& local);

// The stamp of the current local date and time. Never fails.
std::string DateTimeStampNow();

// `text` with its first "%1" replaced by `value`; later occurrences stay as they are. A text
// without "%1" is returned unchanged.
std::string ReplaceFirst(std::string_view text, std::string_view value);
// As ReplaceFirst, for any placeholder such as "%2".
std::string ReplaceFirst(std::string_view text, std::string_view placeholder, std::string_view value);

// Appends `log` to the log file at `path`: every line followed by CR LF, then one NUL byte.
// The file is created when missing and opened for appending, so what an earlier
// program run wrote, its NUL included, stays in front. An empty log writes nothing.
// Returns true when everything was written; false on any failure (the caller ignores it: the
// program ends either way).
bool AppendLogFile(const std::string& path, const SyncLog& log);

// Appends lines [from, end) of `log` to the log file at `path`, every line followed by CR LF,
// in one write, and flushes the file to disk (fsync; the folder too when the file was new), so
// that a crash or a power cut after the call keeps them. The file is created when missing;
// nothing is written when there is no line from `from` on. Returns true when every byte is on
// disk; false on any failure, when part of the text may have been written.
bool AppendLogLines(const std::string& path, const SyncLog& log, std::size_t from);

// Appends the one NUL byte that closes what one program run wrote to the log file, and flushes
// it to disk. Returns false on failure.
bool AppendLogEnd(const std::string& path);

} // namespace pelmora
