#include "sync/SyncLog.h"

#include "core/Utf8.h"
#include "platform/ProgramPlace.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

// Appends `bytes` to the file at `path` (created when missing) and flushes it to disk. Returns
// false on any failure.
bool AppendDurably(const std::string& path, std::string_view bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    // An installed copy's state folder is made with the first log it writes.
    if (fd < 0 && errno == ENOENT && MakeFolderFor(path) == 0)
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat before
    {
    };
    const bool wasEmpty = ::fstat(fd, &before) == 0 && before.st_size == 0;
    bool ok = true;
    // One write for the whole text in the common case, so that the block of a run stays in one
    // piece even when another Pelmora process appends to the same file.
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && wasEmpty) {
        // A file just made is only found again after a power cut once its folder is on disk too.
        const auto slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return ok;
}

} // namespace

bool AppendLogLines(const std::string& path, const SyncLog& log, std::size_t from)
{
    const std::vector<std::string>& lines = log.Lines();
    if (from >= lines.size())
        return true;
    std::string text;
    for (std::size_t i = from; i < lines.size(); ++i) {
        text += lines[i];
        text += "\r\n";
    }
    return AppendDurably(path, text);
}

bool AppendLogEnd(const std::string& path)
{
    return AppendDurably(path, std::string_view("\0", 1));
}

} // namespace pelmora
