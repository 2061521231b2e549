#include "ui/TaskForm.h"

#include "lang/Messages.h"
#include "ui/MainWindow.h"

namespace pelmora {

TfmTask::TfmTask(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmTask"));
}

void TfmTask::ApplyTexts()
{
    ApplyUiFont(this);
    setWindowTitle(QString::fromUtf8(Msg(126)));
}

} // namespace pelmora
