#include "core/ProgramFiles.h"

#include "core/Utf8.h"

#include <climits>
#include <unistd.h>

namespace pelmora {

std::string ExecutablePath()
{
    std::string buffer(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size())
        return {};
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
}

namespace {

std::string_view folderOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

std::string portableLogName(std::string_view exePath)
{
    const auto slash = exePath.rfind('/');
    const auto dot = exePath.rfind('.');
    const bool hasExtension = dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
    return std::string(hasExtension ? exePath.substr(0, dot) : exePath) + ".log";
}

// $XDG_..._HOME when it is an absolute path, else the default below the home folder; "" when
// neither can be had. The XDG rules ignore a relative value.
std::string baseFolder(std::string_view variable, std::string_view home, std::string_view belowHome)
{
    std::string base;
    if (!variable.empty() && variable.front() == '/')
        base = variable;
    else if (!home.empty() && home.front() == '/')
        base = std::string(home) + "/" + std::string(belowHome);
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base;
}

std::string xdgFileName(const std::string& base, std::string_view fileName)
{
    return (base == "/" ? "" : base) + "/" + std::string(kXdgFolderName) + "/" + std::string(fileName);
}

} // namespace

ProgramFiles ProgramFilesFor(const ProgramPlace& place)
{
    const std::string_view folder = folderOf(place.exePath);
    const std::string portableConfig = std::string(folder) + std::string(kConfigBaseName);
    const std::string portableLog = portableLogName(place.exePath);

    // The folder name without its trailing separator: "/usr/bin/" -> "bin".
    const std::string_view trimmed = folder.empty() ? folder : folder.substr(0, folder.size() - 1);
    const std::string_view folderName = trimmed.substr(trimmed.rfind('/') + 1);
    const bool portable = place.configBeside || place.inBuildTree || (place.folderWritable && folderName != "bin");
    if (portable)
        return {false, portableConfig, portableLog};

    const std::string configBase = baseFolder(place.xdgConfigHome, place.home, ".config");
    const std::string stateBase = baseFolder(place.xdgStateHome, place.home, ".local/state");
    ProgramFiles files;
    files.installed = true;
    files.ConfigFileName = configBase.empty() ? portableConfig : xdgFileName(configBase, kConfigBaseName);
    files.LogFileName = stateBase.empty() ? portableLog : xdgFileName(stateBase, kLogBaseName);
    return files;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine cmd;
    if (args.size() != 1)
        return cmd;
    const std::string& arg = args.front();
    const std::string head = AsciiUpper(std::string_view(arg).substr(0, 2));
    if (head == "/A") {
        cmd.mode = StartMode::AutoAll;
    } else if (head == "/H") {
        cmd.mode = StartMode::Hidden;
    } else if (head == "-A" || head == "-C") {
        cmd.mode = head == "-A" ? StartMode::RunNamed : StartMode::CopyAllNamed;
        cmd.taskName = arg.substr(2);
    } else {
        cmd.mode = StartMode::Unknown;
    }
    return cmd;
}

CommandLine ParseCommandLine(int argc, const char* const* argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i] != nullptr ? argv[i] : "");
    return ParseCommandLine(args);
}

StartPlan PlanStart(const CommandLine& cmd, const std::vector<std::string>& names, const TaskRecords& tasks)
{
    StartPlan plan;
    if (cmd.mode == StartMode::Interactive)
        return plan;
    plan.AutoRun = true;
    for (std::size_t i = 0; i < names.size(); ++i) {
        bool check = false;
        switch (cmd.mode) {
        case StartMode::AutoAll:
            check = i < tasks.size() && tasks[i] && IsSet(tasks[i]->AutoMode);
            break;
        case StartMode::RunNamed:
        case StartMode::CopyAllNamed:
            check = EqualsAsciiNoCase(names[i], cmd.taskName);
            break;
        default:
            break;
        }
        if (check)
            plan.checked.push_back(i);
    }
    if (cmd.mode == StartMode::Hidden) {
        plan.AutoRun = false;
        plan.StartHidden = true;
    }
    plan.CopyAll = cmd.mode == StartMode::CopyAllNamed && !plan.checked.empty();
    plan.exitAtOnce = plan.checked.empty() && !plan.StartHidden;
    return plan;
}

} // namespace pelmora
