#include "app/InfoSwitches.h"

#include "core/ProgramFiles.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/ProgramPlace.h"
#include "sync/SyncLog.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace pelmora {
namespace {

void line(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

// A switch or status in a fixed column, then its description in the user's language.
void item(std::string_view head, int message)
{
    std::string text = "  " + std::string(head);
    text.resize(14, ' ');
    line(text + Msg(message));
}

void printHelp(const char* argv0)
{
    std::string exePath = ExecutablePath();
    if (exePath.empty())
        exePath = argv0;
    const ProgramFiles files = LocateProgramFiles(exePath);
    line(Msg(kMsgHelpUsage));
    line(Msg(kMsgHelpOneSwitch));
    line("");
    item("/A", kMsgHelpAutoAll);
    item("-A<task>", kMsgHelpRunNamed);
    item("-C<task>", kMsgHelpCopyAllNamed);
    item("/H", kMsgHelpHidden);
    item("-h, --help", kMsgHelpHelp);
    item("--version", kMsgHelpVersion);
    line("");
    line(Msg(kMsgHelpExitStatus));
    item("0", kMsgHelpExitDone);
    item("1", kMsgHelpExitFailures);
    item("2", kMsgHelpExitBadCommand);
    item("3", kMsgHelpExitRefused);
    line("");
    line(Msg(kMsgHelpFiles));
    line("  " + ReplaceFirst(Msg(kMsgHelpConfigFile), "%1", files.ConfigFileName));
    line("  " + ReplaceFirst(Msg(kMsgHelpLogFile), "%1", files.LogFileName));
    line(Msg(kMsgHelpPortableRule));
    line(Msg(kMsgHelpInstalledRule));
}

} // namespace

bool AnswerInfoSwitch(int argc, const char* const* argv)
{
    if (argc != 2 || argv[1] == nullptr)
        return false;
    const std::string_view arg = argv[1];
    if (arg == "--version") {
        line("pelmora " PELMORA_VERSION);
    } else if (arg == "--help" || arg == "-h") {
        SelectLanguage();
        printHelp(argv[0] != nullptr ? argv[0] : "pelmora");
    } else {
        return false;
    }
    std::fflush(stdout);
    return true;
}

} // namespace pelmora
