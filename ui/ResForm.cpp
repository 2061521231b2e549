#include "ui/ResForm.h"

#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/widgets/SMemo.h"
#include "ui/MainWindow.h"

namespace pelmora {

namespace {

// The window's designed size: its default and its smallest.
constexpr QSize kDesignedSize(390, 293);

} // namespace

TresForm::TresForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("resForm"));
    move(226, 175);

    resMemo = new TSMemo(this);
    resMemo->setObjectName(QStringLiteral("resMemo"));
    resMemo->setReadOnly(true);
    resMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    resMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // One log line is one line on screen: the separator line stays whole, and a long path
    // scrolls sideways instead of breaking up the columns of the result block.
    resMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The log is kept in full elsewhere; the memo must not drop its oldest lines.
    resMemo->setMaximumBlockCount(0);

    btnClose = new QPushButton(this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setMinimumSize(75, 25);
    btnClose->setAutoDefault(false);
    connect(btnClose, &QPushButton::clicked, this, &TresForm::btnCloseClick);

    // The text takes whatever a larger window gives; the button stays centred below it.
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 12);
    column->setSpacing(15);
    column->addWidget(resMemo, 1);
    column->addWidget(btnClose, 0, Qt::AlignHCenter);

    // The button is first in the tab order, ahead of the memo.
    setTabOrder(btnClose, resMemo);
    ApplyDesignedSize(this, layout(), kDesignedSize, m_sizedOnce);
}

void TresForm::ApplyTexts()
{
    ApplyUiFont(this);
    setWindowTitle(QString::fromUtf8(Msg(kMsgResultCaption)));
    btnClose->setText(QString::fromUtf8(Msg(kMsgClose)));
    ApplyDesignedSize(this, layout(), kDesignedSize, m_sizedOnce);
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
