// The main window's scheduler and notification-area hooks. Neither the scheduler nor the
// tray icon is wired in yet, so both hooks do nothing.
#include "ui/MainWindow.h"

namespace pelmora {

void TcltForm::EnableScheduleTimer()
{
}

void TcltForm::OnDoSchedule()
{
}

void TcltForm::OnMiniToTray()
{
}

} // namespace pelmora
