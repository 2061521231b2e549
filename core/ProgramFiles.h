#pragma once
// Where the configuration and log files live (beside the executable for a portable copy, in
// the user's XDG folders for an installed one), and what the command line asks for at
// start-up. Pure functions except ExecutablePath; used on the UI thread.

#include "core/SyncTask.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

inline constexpr std::string_view kConfigBaseName = "Pelmora.cfg";

// The executable's full path from /proc/self/exe; empty when it cannot be read.
std::string ExecutablePath();

inline constexpr std::string_view kLogBaseName = "pelmora.log";
// The folder below $XDG_CONFIG_HOME and $XDG_STATE_HOME that an installed copy uses.
inline constexpr std::string_view kXdgFolderName = "pelmora";

// What decides where a copy of the program keeps its files: its path, three variables of the
// environment and three facts about its folder. LookUpProgramPlace (platform) gathers them
// for the running program; tests fill them in by hand.
struct ProgramPlace
{
    std::string exePath;         // the executable's full path
    std::string xdgConfigHome;   // $XDG_CONFIG_HOME, "" when unset
    std::string xdgStateHome;    // $XDG_STATE_HOME, "" when unset
    std::string home;            // $HOME, else the user's home folder; "" when unknown
    bool configBeside = false;   // an entry named Pelmora.cfg sits beside the executable
    bool inBuildTree = false;    // the executable's folder, or the one above, holds CMakeCache.txt
    bool folderWritable = false; // the user may create files in the executable's folder
};

struct ProgramFiles
{
    bool installed = false;
    std::string ConfigFileName;
    std::string LogFileName;
};

// The one rule for both file names. A copy is portable, and keeps Pelmora.cfg in its own
// folder and its log beside itself under its own name with ".log", when a Pelmora.cfg sits
// beside it, when it runs from a build tree, or when its folder is writable and not named
// "bin". Otherwise (an executable in some prefix's bin/, or in a folder the user cannot write)
// it is installed: $XDG_CONFIG_HOME/pelmora/Pelmora.cfg and $XDG_STATE_HOME/pelmora/pelmora.log,
// the variables defaulting to ~/.config and ~/.local/state when unset or not absolute. An
// installed copy whose user has no home folder and no such variable keeps that file portable.
ProgramFiles ProgramFilesFor(const ProgramPlace& place);

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
