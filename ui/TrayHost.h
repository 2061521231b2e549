#pragma once
// How the main window meets the desktop's notification area: whether there is one, the
// icon it shows there, and the first showing that "/H" keeps off the screen.
// UI thread only.

#include <QIcon>
#include <QStringList>

#include <functional>

namespace pelmora {

class TcltForm;

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

} // namespace pelmora
