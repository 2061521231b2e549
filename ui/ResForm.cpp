#include "ui/ResForm.h"

#include <QPushButton>
#include <QScrollBar>

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/widgets/SMemo.h"
#include "ui/MainWindow.h"

namespace pelmora {

TresForm::TresForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("resForm"));
    setFixedSize(390, 293);
    move(226, 175);

    resMemo = new TSMemo(this);
    resMemo->setObjectName(QStringLiteral("resMemo"));
    resMemo->setGeometry(0, 0, 390, 241);
    resMemo->setReadOnly(true);
    resMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    resMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    resMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // The log is kept in full elsewhere; the memo must not drop its oldest lines.
    resMemo->setMaximumBlockCount(0);

    btnClose = new QPushButton(this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(160, 256, 75, 25);
    btnClose->setAutoDefault(false);
    connect(btnClose, &QPushButton::clicked, this, &TresForm::btnCloseClick);

    // The button is first in the tab order, ahead of the memo.
    setTabOrder(btnClose, resMemo);
}

void TresForm::ApplyTexts()
{
    ApplyUiFont(this);
    setWindowTitle(QString::fromUtf8(Msg(kMsgResultCaption)));
    btnClose->setText(QString::fromUtf8(Msg(kMsgClose)));
}

void TresForm::SyncLines()
{
    if (!m_source)
        return;
    const std::vector<std::string>& lines = m_source();
    if (lines.size() < m_shownLines) {
        // The log was replaced by a shorter one: show it afresh rather than lose lines.
        resMemo->clear();
        m_shownLines = 0;
    }
    for (; m_shownLines < lines.size(); ++m_shownLines) {
        QString line = QString::fromUtf8(lines[m_shownLines]);
        line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        resMemo->appendPlainText(line);
    }
}

void TresForm::showEvent(QShowEvent* event)
{
    SyncLines();
    QDialog::showEvent(event);
    resMemo->ScrollToLine(1000000);
    btnClose->setFocus();
}

void TresForm::btnCloseClick()
{
    close();
}

} // namespace pelmora
