#pragma once
// How the main window meets the desktop's notification area: whether there is one, the
// icon it shows there, and the first showing that "/H" keeps off the screen.
// UI thread only.

#include <QIcon>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace pelmora {

class TcltForm;
class TSingleInstance;

// Whether the desktop offers a notification area now. The default asks Qt; tests replace it
// (nullptr restores the default).
using NotificationAreaProbe = std::function<bool()>;
void SetNotificationAreaProbe(NotificationAreaProbe probe);
bool HasNotificationArea();

// The program's picture for the notification area when the main window has no icon.
QIcon ProgramTrayIcon();

// True when the command line is the single switch "/H" (first two characters, a-z folded).
bool StartsHidden(const QStringList& arguments);

// The first showing of the main window at start-up. With "/H" the window goes through its
// first-show handling without appearing on screen; the posted minimise then puts the
// program in the notification area (or, without one, minimised in the task bar).
void ShowMainWindowAtStart(TcltForm& form, const QStringList& arguments);

// One program per configuration file. A start that opens the program (no argument, "/H", or
// two or more) takes the place of the configuration file that `form` loaded and keeps it in
// `place`; a second such start asks the program holding the place to come to the front
// instead and returns the status to exit with: 0 when it answered, 1 (with a line on standard
// error) when it did not. A command-line run (/A, -A, -C, or an unknown switch) takes no
// place and runs beside an open program. Returns nothing when this program goes on.
std::optional<int> TakeProgramPlace(TcltForm& form, const QStringList& arguments,
                                    std::unique_ptr<TSingleInstance>& place);

} // namespace pelmora
