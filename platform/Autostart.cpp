#include "platform/Autostart.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace pelmora {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kEntryName = "pelmora.desktop";
// The characters that make an Exec argument need quotes (the freedesktop.org desktop entry rules).
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// A key's value as a desktop entry's string: backslash, line break, tab and carriage return
// are written as escapes.
std::string EscapeString(std::string_view value)
{
    std::string escaped;
    for (char c : value) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string Trimmed(std::string line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    std::size_t first = 0;
    while (first < line.size() && (line[first] == ' ' || line[first] == '\t'))
        ++first;
    return line.substr(first);
}

void SetError(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
}

} // namespace

std::string AutostartFolder()
{
    const std::string configHome = Variable("XDG_CONFIG_HOME");
    // A relative value is invalid by the base-directory rules and is ignored.
    if (!configHome.empty() && configHome.front() == '/')
        return configHome + "/autostart";
    const std::string home = Variable("HOME");
    if (home.empty())
        return {};
    return home + "/.config/autostart";
}

std::string AutostartFileName()
{
    const std::string folder = AutostartFolder();
    return folder.empty() ? std::string() : folder + "/" + std::string(kEntryName);
}

std::string DesktopExecArgument(std::string_view argument)
{
    const bool quoted = argument.find_first_of(kReserved) != std::string_view::npos || argument.empty();
    std::string out;
    if (quoted)
        out += '"';
    for (char c : argument) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += '\\';
        out += c;
    }
    if (quoted)
        out += '"';
    return out;
}

std::string AutostartEntry(std::string_view exePath)
{
    std::string entry = "[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=Pelmora\n";
    entry += "Exec=" + EscapeString(DesktopExecArgument(exePath) + " /H") + "\n";
    entry += "Icon=pelmora\n"
             "Terminal=false\n"
             "X-GNOME-Autostart-enabled=true\n";
    return entry;
}

bool AutostartEnabled()
{
    const std::string file = AutostartFileName();
    if (file.empty())
        return false;
    std::ifstream in(file);
    if (!in)
        return false;
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        line = Trimmed(line);
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (inEntry && (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false"))
            return false;
    }
    return true;
}

bool SetAutostart(bool on, std::string_view exePath, std::string* error)
{
    const std::string file = AutostartFileName();
    if (file.empty()) {
        SetError(error, "HOME is not set");
        return false;
    }
    std::error_code failure;
    if (!on) {
        if (!fs::remove(file, failure) && failure) {
            SetError(error, file + ": " + failure.message());
            return false;
        }
        return true;
    }
    fs::create_directories(AutostartFolder(), failure);
    if (failure) {
        SetError(error, AutostartFolder() + ": " + failure.message());
        return false;
    }
    // Written beside the entry and renamed over it, so that a session starting meanwhile
    // never reads half an entry.
    const std::string temporary = file + ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << AutostartEntry(exePath);
        out.flush();
        if (!out) {
            const int code = errno;
            out.close();
            fs::remove(temporary, failure);
            SetError(error, temporary + ": " + std::strerror(code != 0 ? code : EIO));
            return false;
        }
    }
    fs::rename(temporary, file, failure);
    if (failure) {
        SetError(error, file + ": " + failure.message());
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

} // namespace pelmora
