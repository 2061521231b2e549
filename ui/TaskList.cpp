#include "ui/TaskList.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QVBoxLayout>

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/widgets/DragController.h"

namespace pelmora {

namespace {

QListWidgetItem* NewEntry(const QString& name)
{
    auto* item = new QListWidgetItem(name);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    return item;
}

} // namespace

TTaskList::TTaskList(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TaskList"));
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    liTask = new QListWidget(this);
    liTask->setObjectName(QStringLiteral("liTask"));
    liTask->setSelectionMode(QAbstractItemView::SingleSelection);
    liTask->setContextMenuPolicy(Qt::CustomContextMenu);
    liTask->setMinimumWidth(190);
    Label1->setBuddy(liTask);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    A1 = PopupMenu1->addAction(QString());
    A1->setObjectName(QStringLiteral("A1"));
    C1 = PopupMenu1->addAction(QString());
    C1->setObjectName(QStringLiteral("C1"));
    connect(A1, &QAction::triggered, this, &TTaskList::CheckAll);
    connect(C1, &QAction::triggered, this, &TTaskList::ClearChecks);
    connect(liTask, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(liTask->viewport()->mapToGlobal(pos)); });
    connect(liTask, &QListWidget::itemSelectionChanged, this, [this] {
        if (!m_updating)
            emit Selected();
    });
    connect(liTask, &QListWidget::itemChanged, this, [this](QListWidgetItem*) {
        if (!m_updating)
            emit ChecksChanged(AnyChecked());
    });

    rDragController1 = new TrDragController(this);
    rDragController1->setObjectName(QStringLiteral("rDragController1"));
    rDragController1->SetListBox(liTask);
    connect(rDragController1, &TrDragController::OnItemMove, this,
            [this](QListWidget*, int fromIndex, int toIndex) { emit Moved(fromIndex, toIndex); });

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(Label1);
    column->addWidget(liTask, 1);
}

void TTaskList::ApplyTexts()
{
    Label1->setText(QString::fromUtf8(Msg(kMsgTaskListLabel)));
    A1->setText(QString::fromUtf8(Msg(kMsgCheckAll)));
    C1->setText(QString::fromUtf8(Msg(kMsgClearCheck)));
}

void TTaskList::Fill(const std::vector<std::string>& names)
{
    m_updating = true;
    liTask->clear();
    for (const std::string& name : names)
        liTask->addItem(NewEntry(QString::fromStdString(name)));
    m_updating = false;
}

void TTaskList::Append(const QString& name)
{
    m_updating = true;
    liTask->addItem(NewEntry(name));
    m_updating = false;
}

void TTaskList::Remove(int row)
{
    m_updating = true;
    delete liTask->takeItem(row);
    liTask->clearSelection();
    liTask->setCurrentItem(nullptr);
    m_updating = false;
}

void TTaskList::SetName(int row, const QString& name)
{
    m_updating = true;
    if (QListWidgetItem* item = liTask->item(row))
        item->setText(name);
    m_updating = false;
}

void TTaskList::Select(int row)
{
    m_updating = true;
    if (row < 0) {
        liTask->clearSelection();
        liTask->setCurrentItem(nullptr);
    } else {
        liTask->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
    m_updating = false;
}

int TTaskList::SelectedRow() const
{
    const QList<QListWidgetItem*> selected = liTask->selectedItems();
    return selected.isEmpty() ? -1 : liTask->row(selected.constFirst());
}

int TTaskList::Count() const
{
    return liTask->count();
}

bool TTaskList::IsChecked(int row) const
{
    const QListWidgetItem* item = liTask->item(row);
    return item && item->checkState() == Qt::Checked;
}

bool TTaskList::AnyChecked() const
{
    for (int i = 0; i < liTask->count(); ++i)
        if (IsChecked(i))
            return true;
    return false;
}

void TTaskList::SetChecked(int row, bool on)
{
    m_updating = true;
    if (QListWidgetItem* item = liTask->item(row))
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    m_updating = false;
}

void TTaskList::setAll(bool on)
{
    m_updating = true;
    for (int i = 0; i < liTask->count(); ++i)
        liTask->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    m_updating = false;
}

void TTaskList::CheckAll()
{
    if (liTask->count() == 0)
        return;
    setAll(true);
    emit ChecksChanged(true);
}

void TTaskList::ClearChecks()
{
    if (liTask->count() == 0)
        return;
    setAll(false);
    emit ChecksChanged(false);
}

void TTaskList::ClearChecksQuietly()
{
    setAll(false);
}

} // namespace pelmora
