#pragma once
// Start at login: the freedesktop.org autostart entry that starts the program in the
// notification area ("/H") when the user logs in. Plain file work on the user's configuration
// folder; called on the UI thread, one call at a time.

#include <string>
#include <string_view>

namespace pelmora {

// The autostart folder: $XDG_CONFIG_HOME/autostart when that is an absolute path, else
// $HOME/.config/autostart. Empty when neither variable gives a folder.
std::string AutostartFolder();
// AutostartFolder() + "/pelmora.desktop"; empty when the folder is.
std::string AutostartFileName();

// One argument of a desktop entry's Exec key: as it is when it holds no reserved character,
// else in double quotes with '"', '`', '$' and '\' escaped; '%' doubled either way.
std::string DesktopExecArgument(std::string_view argument);
// The entry's text: an application started by its absolute path `exePath` with "/H". The
// Exec value is escaped as a desktop entry's string (a backslash written twice).
std::string AutostartEntry(std::string_view exePath);

// Whether the entry is there and not switched off by the desktop (Hidden=true, or
// X-GNOME-Autostart-enabled=false, which session settings write instead of removing it).
bool AutostartEnabled();
// Writes the entry for `exePath` (making the folders when missing; the file is replaced as a
// whole) or removes it; removing an entry that is not there succeeds. Returns false when the
// file could not be written or removed, with the reason in `error` (if given).
bool SetAutostart(bool on, std::string_view exePath, std::string* error = nullptr);

} // namespace pelmora
