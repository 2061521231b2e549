#include "platform/widgets/SMemo.h"

#include <QScrollBar>

#include <algorithm>

namespace pelmora {

TSMemo::TSMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    // actionTriggered fires before the bar applies the action: queue the notification so
    // listeners see the text already scrolled.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int) { QMetaObject::invokeMethod(this, &TSMemo::OnVScroll, Qt::QueuedConnection); });
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int) { QMetaObject::invokeMethod(this, &TSMemo::OnHScroll, Qt::QueuedConnection); });
}

int TSMemo::FirstVisibleLine() const
{
    // QPlainTextEdit's vertical scroll bar counts visual lines.
    return verticalScrollBar()->value();
}

void TSMemo::ScrollBy(int lines)
{
    QScrollBar* bar = verticalScrollBar();
    const long long target = static_cast<long long>(bar->value()) + lines;
    bar->setValue(static_cast<int>(std::clamp<long long>(target, bar->minimum(), bar->maximum())));
}

} // namespace pelmora
