#include "sync/SyncLog.h"

#include "core/Utf8.h"

#include <cstdio>
#include <fstream>

namespace pelmora {

void SyncLog::Add(std::string line)
{
    m_lines.push_back(m_form == LineForm::Raw ? std::move(line) : EscapeControlChars(line));
    if (onLineAdded)
        onLineAdded(m_lines.back());
}

std::string SyncLog::Text() const
{
    std::size_t size = 0;
    for (const std::string& line : m_lines)
        size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& line : m_lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string DateTimeStamp(const std::tm& local)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return buffer;
}

std::string DateTimeStampNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return DateTimeStamp(local);
}

std::string ReplaceFirst(std::string_view text, std::string_view placeholder, std::string_view value)
{
    std::string result(text);
    const std::size_t at = result.find(placeholder);
    if (at != std::string::npos)
        result.replace(at, placeholder.size(), value);
    return result;
}

std::string ReplaceFirst(std::string_view text, std::string_view value)
{
    return ReplaceFirst(text, "%1", value);
}

bool AppendLogFile(const std::string& path, const SyncLog& log)
{
    if (log.Empty())
        return true;
    // Appending instead of reading and rewriting the whole file: a crash or a full disk in the
    // middle can then never cost what earlier program runs logged.
    std::ofstream file(path, std::ios::binary | std::ios::app);
    if (!file)
        return false;
    const std::string text = log.Text();
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.put('\0');
    file.close();
    return !file.fail();
}

} // namespace pelmora
