#pragma once
// Where the configuration and log files live (beside the executable), and what the command
// line asks for at start-up. Pure functions except ExecutablePath; used on the UI thread.

#include "core/SyncTask.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

inline constexpr std::string_view kConfigBaseName = "Pelmora.cfg";

// The executable's full path from /proc/self/exe; empty when it cannot be read.
std::string ExecutablePath();

// The executable's folder with its trailing separator, then "Pelmora.cfg"; a path without a
// separator gives "Pelmora.cfg" alone.
std::string ConfigFileNameFor(std::string_view exePath);
// The executable's path with its extension (the last "." after the last separator, if any)
// replaced by ".log", or ".log" appended when it has none.
std::string LogFileNameFor(std::string_view exePath);

enum class StartMode {
    Interactive,  // no argument, or two or more
    AutoAll,      // "/A": every task whose AutoMode is set, unattended, then exit
    Hidden,       // "/H": start in the notification area
    RunNamed,     // "-A<name>": the named task, unattended, then exit
    CopyAllNamed, // "-C<name>": as RunNamed with the mirror treated as empty
    Unknown,      // any other single argument: exit at once
};

struct CommandLine
{
    StartMode mode = StartMode::Interactive;
    std::string taskName; // RunNamed / CopyAllNamed: the argument after its two switch characters
};

// `args` are the arguments without the program name. Only exactly one argument selects a
// mode; its first two characters are compared with a-z upper-cased.
CommandLine ParseCommandLine(const std::vector<std::string>& args);
// The same from main()'s argc/argv (argv[0] is the program).
CommandLine ParseCommandLine(int argc, const char* const* argv);

// What the main window does with the command line once it is first shown.
struct StartPlan
{
    bool AutoRun = false;
    bool StartHidden = false;
    bool CopyAll = false;
    std::vector<std::size_t> checked; // task indices to tick, in list order
    bool exitAtOnce = false;          // one argument, nothing checked, not hidden
};

// Names are compared with a-z folded; `tasks` is parallel to `names` (a missing record
// counts as AutoMode off).
StartPlan PlanStart(const CommandLine& cmd, const std::vector<std::string>& names, const TaskRecords& tasks);

} // namespace pelmora
