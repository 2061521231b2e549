// Starting runs from the main window. The run itself is not wired in yet: the button
// reports that in the status line instead of pretending to run.
#include "ui/MainWindow.h"

namespace pelmora {

void TcltForm::GoSyncClick()
{
    SetStatusText(QStringLiteral("Running tasks is not available yet"));
}

void TcltForm::OnGoSync()
{
    GoSyncClick();
}

bool TcltForm::RunTask()
{
    return false;
}

} // namespace pelmora
