#include "config/ConfigFile.h"

#include "platform/ProgramPlace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

std::int32_t readInt32(std::span<const std::uint8_t> data, std::size_t pos)
{
    // Bytes missing at the end of the data read as zero.
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        if (pos + i < data.size())
            value |= static_cast<std::uint32_t>(data[pos + i]) << (8 * i);
    return static_cast<std::int32_t>(value);
}

void appendInt32(std::string& out, std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

std::string errorText(const char* what, const std::string& path, int err)
{
    return std::string(what) + " \"" + path + "\". " + std::strerror(err);
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool writeAll(int fd, const char* data, std::size_t size, int& err)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string ReadText(ByteReader& reader)
{
    if (reader.pos >= reader.data.size())
        return {};
    const auto begin = reader.data.begin() + static_cast<std::ptrdiff_t>(reader.pos);
    const auto nul = std::find(begin, reader.data.end(), std::uint8_t{0});
    std::string text(begin, nul);
    reader.pos += text.size() + (nul != reader.data.end() ? 1 : 0);
    return text;
}

void WriteText(std::string& out, std::string_view text)
{
    out.append(text);
    out.push_back('\0');
}

std::vector<std::string> SplitNames(std::string_view text, std::size_t maxNames)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < text.size() && names.size() < maxNames) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        names.emplace_back(text.substr(start, end - start));
        start = end;
        if (start < text.size() && text[start] == '\r')
            ++start;
        if (start < text.size() && text[start] == '\n' && (start == end || text[end] == '\r'))
            ++start;
    }
    return names;
}

ConfigContents ParseConfig(std::span<const std::uint8_t> data)
{
    ConfigContents result;
    ByteReader reader{data, 0};

    std::int64_t storedSize = static_cast<std::int64_t>(kOldTaskRecordSize);
    if (data.size() >= 4 && readInt32(data, 0) >= kCurrentLayoutMin) {
        storedSize = readInt32(data, 4);
        reader.pos = kConfigHeaderSize;
    }
    const std::size_t kept =
        storedSize <= 0 ? 0 : static_cast<std::size_t>(std::min<std::int64_t>(storedSize, kTaskRecordSize));
    const std::size_t skipped = storedSize > static_cast<std::int64_t>(kTaskRecordSize)
                                    ? static_cast<std::size_t>(storedSize - static_cast<std::int64_t>(kTaskRecordSize))
                                    : 0;

    result.TaskNames = SplitNames(ReadText(reader), kMaxConfigTasks);

    result.TaskList.reserve(result.TaskNames.size());
    for (std::size_t i = 0; i < result.TaskNames.size(); ++i) {
        auto task = NewSyncTask();
        const std::size_t left = data.size() - std::min(reader.pos, data.size());
        const std::size_t n = std::min(kept, left);
        if (n > 0)
            std::memcpy(task.get(), data.data() + reader.pos, n);
        reader.pos = std::min(data.size(), reader.pos + n + std::min(skipped, left - n));
        SanitizeSyncTask(*task);
        result.TaskList.push_back(std::move(task));
    }

    // Four count bytes must be there for the section to exist at all.
    if (reader.pos + 4 <= data.size()) {
        const std::int32_t count = readInt32(data, reader.pos);
        reader.pos += 4;
        for (std::int32_t i = 0; i < count && reader.pos + kScheduleRecordSize <= data.size(); ++i) {
            auto item = std::make_unique<TScheduleItem>();
            std::memcpy(item.get(), data.data() + reader.pos, kScheduleRecordSize);
            reader.pos += kScheduleRecordSize;
            SanitizeScheduleItem(*item);
            result.ScheduleList.push_back(std::move(item));
        }
    }
    return result;
}

std::string SerializeConfig(const std::vector<std::string>& names, const TaskRecords& tasks,
                            const ScheduleItems& schedules)
{
    std::string out;
    out.reserve(kConfigHeaderSize + names.size() * (kTaskRecordSize + 18) + 4 + schedules.size() * kScheduleRecordSize);
    appendInt32(out, kFormatVersion);
    appendInt32(out, static_cast<std::int32_t>(kTaskRecordSize));
    out.resize(kConfigHeaderSize, '\0');

    std::string text;
    for (const std::string& name : names) {
        std::string line = name;
        std::replace_if(
            line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
        text += line;
        text += "\r\n";
    }
    WriteText(out, text);

    TSyncTask fallback;
    InitSyncTask(fallback);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const TSyncTask* task = i < tasks.size() && tasks[i] ? tasks[i].get() : &fallback;
        out.append(reinterpret_cast<const char*>(task), kTaskRecordSize);
    }

    const auto present = std::count_if(schedules.begin(), schedules.end(), [](const auto& s) { return s != nullptr; });
    appendInt32(out, static_cast<std::int32_t>(present));
    for (const auto& item : schedules)
        if (item)
            out.append(reinterpret_cast<const char*>(item.get()), kScheduleRecordSize);
    return out;
}

ConfigContents ReadConfigFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw EConfigError(errorText("Cannot open file", path, err), err);
    }
    std::vector<std::uint8_t> data;
    int err = 0;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        err = errno;
    else if (S_ISDIR(st.st_mode))
        err = EISDIR;
    else if (static_cast<std::uint64_t>(st.st_size) > kMaxConfigFileSize)
        err = EFBIG;
    else {
        data.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        for (;;) {
            if (got == data.size()) {
                // The file may have grown since fstat; read on, within the bound.
                if (data.size() >= kMaxConfigFileSize) {
                    err = EFBIG;
                    break;
                }
                data.resize(
                    std::min<std::size_t>(std::max<std::size_t>(data.size() * 2, 4096), kMaxConfigFileSize + 1));
            }
            const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                err = errno;
                break;
            }
            if (n == 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        data.resize(got);
        if (err == 0 && got > kMaxConfigFileSize)
            err = EFBIG;
    }
    ::close(fd);
    if (err != 0)
        throw EConfigError(errorText("Cannot read file", path, err), err);
    return ParseConfig(data);
}

void WriteConfigFile(const std::string& path, std::string_view bytes)
{
    std::string temp = folderOf(path) + "/." + baseOf(path) + ".saving-XXXXXX";
    // mkstemp creates the file with mode 0600, which is what the file keeps after the rename.
    int fd = ::mkstemp(temp.data());
    // An installed copy's configuration folder is made, private, with the first save.
    if (fd < 0 && errno == ENOENT && MakeFolderFor(path) == 0) {
        temp = folderOf(path) + "/." + baseOf(path) + ".saving-XXXXXX";
        fd = ::mkstemp(temp.data());
    }
    if (fd < 0) {
        const int err = errno;
        throw EConfigError(errorText("Cannot create file", path, err), err);
    }
    int err = 0;
    if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0)
        err = errno;
    if (err == 0)
        writeAll(fd, bytes.data(), bytes.size(), err);
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        throw EConfigError(errorText("Cannot write file", path, err), err);
    }
    // Make the rename itself durable; the new file is complete either way.
    const int dirFd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

} // namespace pelmora
