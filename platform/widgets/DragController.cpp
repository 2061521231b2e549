#include "platform/widgets/DragController.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionViewItem>

namespace pelmora {

namespace {

const char* const kRefusalCaption = "TrDragController Error";
const char* const kRefusalText = "Sorry, can't operate with ListBox where MultiSelect=True";

TrDragController::ErrorBox& errorBox()
{
    static TrDragController::ErrorBox box;
    return box;
}

bool hasCheckBox(const QListWidgetItem* item)
{
    return item && (item->flags().testFlag(Qt::ItemIsUserCheckable) || item->data(Qt::CheckStateRole).isValid());
}

} // namespace

// Draws the drop-target frame over the list's viewport without taking any input.
class TrDragController::Mark : public QWidget
{
public:
    explicit Mark(QWidget* viewport) : QWidget(viewport)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setGeometry(viewport->rect());
        hide();
    }

    void showAt(const QRect& rect)
    {
        m_rect = rect;
        setGeometry(parentWidget()->rect());
        raise();
        show();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QPen pen(QColor(255, 255, 0));
        pen.setWidth(2);
        pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        painter.drawRect(m_rect.adjusted(1, 1, -1, -1));
    }

private:
    QRect m_rect;
};

TrDragController::TrDragController(QObject* parent) : QObject(parent) {}

TrDragController::~TrDragController()
{
    detach();
}

void TrDragController::SetErrorBox(ErrorBox box)
{
    errorBox() = std::move(box);
}

void TrDragController::SetListBox(QListWidget* list)
{
    if (list == m_list)
        return;
    if (list && (list->selectionMode() == QAbstractItemView::MultiSelection ||
                 list->selectionMode() == QAbstractItemView::ExtendedSelection)) {
        const QString caption = QString::fromLatin1(kRefusalCaption);
        const QString text = QString::fromLatin1(kRefusalText);
        if (errorBox())
            errorBox()(caption, text);
        else
            QMessageBox::critical(list->window(), caption, text);
        return;
    }
    detach();
    if (list)
        attach(list);
}

void TrDragController::attach(QListWidget* list)
{
    m_list = list;
    m_listObject = list;
    m_viewportObject = list->viewport();
    list->viewport()->installEventFilter(this);
    list->installEventFilter(this);
    m_mark = new Mark(list->viewport());
    connect(list, &QObject::destroyed, this, [this] {
        m_list = nullptr;
        m_listObject = m_viewportObject = nullptr;
        m_pressed = m_dragging = m_swallowRelease = false;
        m_dropTarget = m_markedRow = -1;
    });
}

void TrDragController::detach()
{
    if (!m_list)
        return;
    cancelDrag();
    m_list->viewport()->removeEventFilter(this);
    m_list->removeEventFilter(this);
    disconnect(m_list, nullptr, this, nullptr);
    delete m_mark.data();
    m_mark = nullptr;
    m_list = nullptr;
    m_listObject = m_viewportObject = nullptr;
}

int TrDragController::itemFromPoint(const QPoint& pos) const
{
    if (!m_list || !m_list->viewport()->rect().contains(pos))
        return -1;
    if (QListWidgetItem* item = m_list->itemAt(pos))
        return m_list->row(item);
    const int count = m_list->count();
    if (count == 0)
        return -1;
    const QRect last = m_list->visualItemRect(m_list->item(count - 1));
    return pos.y() > last.bottom() ? count : -1;
}

int TrDragController::itemFromPointScrolling(const QPoint& pos)
{
    // Above or below the list the view scrolls one entry towards the pointer.
    QScrollBar* bar = m_list->verticalScrollBar();
    if (pos.y() < 0)
        bar->setValue(bar->value() - bar->singleStep());
    else if (pos.y() >= m_list->viewport()->height())
        bar->setValue(bar->value() + bar->singleStep());
    return itemFromPoint(pos);
}

bool TrDragController::inCheckArea(QListWidgetItem* item, const QPoint& pos) const
{
    if (!hasCheckBox(item))
        return false;
    const QRect itemRect = m_list->visualItemRect(item);
    QStyleOptionViewItem option;
    option.initFrom(m_list->viewport());
    option.rect = itemRect;
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.text = item->text();
    const QRect check = m_list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, m_list);
    if (m_list->layoutDirection() == Qt::RightToLeft)
        return pos.x() >= check.left() && pos.x() <= itemRect.right();
    return pos.x() >= itemRect.left() && pos.x() <= check.right();
}

void TrDragController::setMark(int row)
{
    m_markedRow = row;
    if (!m_mark || !m_list)
        return;
    if (row < 0 || row >= m_list->count()) {
        m_mark->hide();
        return;
    }
    static_cast<Mark*>(m_mark.data())->showAt(m_list->visualItemRect(m_list->item(row)));
}

void TrDragController::updateTarget(const QPoint& pos)
{
    int target = itemFromPoint(pos);
    if (target == m_dropTarget) {
        target = itemFromPointScrolling(pos);
        if (target == m_dropTarget)
            return;
    }
    const int selected = m_list->currentRow();
    if (m_dropTarget >= 0 && m_dropTarget != selected)
        setMark(-1);
    m_dropTarget = itemFromPointScrolling(pos);
    if (m_dropTarget >= 0 && m_dropTarget != selected)
        setMark(m_dropTarget);
}

void TrDragController::endDrag()
{
    setMark(-1);
    if (m_list)
        m_list->viewport()->unsetCursor();
    m_dropTarget = -1;
    m_pressed = false;
    m_dragging = false;
}

void TrDragController::cancelDrag()
{
    endDrag();
}

void TrDragController::drop(const QPoint& pos)
{
    if (m_dropTarget < 0) {
        endDrag();
        return;
    }
    endDrag();
    int target = itemFromPoint(pos);
    if (target == m_list->count())
        target = m_list->count() - 1;
    MoveItem(m_list, m_list->currentRow(), target);
    if (!m_list)
        return;
    if (target >= 0) {
        m_list->setCurrentRow(target);
    } else {
        m_list->clearSelection();
        m_list->setCurrentRow(-1);
    }
}

void TrDragController::MoveItem(QListWidget* listBox, int fromIndex, int toIndex)
{
    if (!listBox)
        return;
    const int count = listBox->count();
    if (fromIndex < 0 || fromIndex >= count || toIndex < 0 || toIndex >= count)
        return;
    {
        // The list must not report the half-done move as a change of selection.
        const QSignalBlocker blocker(listBox);
        QListWidgetItem* item = listBox->item(fromIndex);
        const bool checkList = hasCheckBox(item);
        const Qt::CheckState mark = checkList ? item->checkState() : Qt::Unchecked;
        item = listBox->takeItem(fromIndex);
        listBox->insertItem(toIndex, item);
        if (checkList)
            item->setCheckState(mark);
    }
    emit OnItemMove(listBox, fromIndex, toIndex);
}

bool TrDragController::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_listObject)
        return false;
    if (watched == m_listObject) {
        if (!m_dragging && !m_pressed)
            return false;
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            cancelDrag();
            return true;
        }
        if (event->type() == QEvent::FocusOut || event->type() == QEvent::Hide)
            cancelDrag();
        return false;
    }
    if (watched != m_viewportObject)
        return false;

    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        m_dropTarget = -1;
        const QPoint pos = mouse->position().toPoint();
        QListWidgetItem* item = m_list->itemAt(pos);
        if (item && inCheckArea(item, pos)) {
            item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            m_swallowRelease = true;
            emit OnClickCheck(m_list, m_list->row(item));
            return true;
        }
        if (item && event->type() == QEvent::MouseButtonPress) {
            m_pressed = true;
            m_pressPos = pos;
        }
        return false;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // After a press on a check box the button is still down: the list must not take
        // the moves as a selection gesture.
        if (m_swallowRelease)
            return true;
        if (!m_pressed || !(mouse->buttons() & Qt::LeftButton))
            return false;
        const QPoint pos = mouse->position().toPoint();
        if (!m_dragging) {
            if ((pos - m_pressPos).manhattanLength() < QApplication::startDragDistance())
                return true;
            m_dragging = true;
            m_list->viewport()->setCursor(Qt::DragMoveCursor);
        }
        updateTarget(pos);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        if (m_swallowRelease) {
            m_swallowRelease = false;
            return true;
        }
        if (m_dragging) {
            drop(mouse->position().toPoint());
            return true;
        }
        m_pressed = false;
        return false;
    }
    default:
        return false;
    }
}

} // namespace pelmora
