#include "ui/PreviewGrid.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <array>

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "sync/SizeText.h"
#include "ui/DisplayText.h"

namespace pelmora {

bool HideEqual = false;

namespace {

constexpr std::array<const char*, 16> kGlyphNames = {
    "UNCHECK4", "CHECK4",    "EQU4",    "DEL4",   "LARROW4",       "RARROW4",      "TFOLDER", "TFOLDERO",
    "TFOLDERE", "TFOLDERNO", "TDELETE", "CLEAR4", "TFOLDER2RIGHT", "TFOLDER2LEFT", "LBTNA4",  "LBTNB4",
};

constexpr int kColumnCount = 6;
constexpr int kColumnWidths[kColumnCount] = {177, 71, 112, 21, 113, 73};

// The entry that holds the row's op: the host entry when there is one.
TMFileInfoRec* OpHolder(TRowRec& row)
{
    return row.HostFile ? row.HostFile : row.MirrorFile;
}

} // namespace

const char* GlyphName(Glyph glyph)
{
    const auto index = static_cast<std::size_t>(glyph);
    return index < kGlyphNames.size() ? kGlyphNames[index] : "";
}

const QPixmap& GlyphPixmap(Glyph glyph)
{
    static std::array<QPixmap, 17> cache;
    static std::array<bool, 17> loaded{};
    const auto index = static_cast<std::size_t>(glyph);
    if (!loaded[index]) {
        loaded[index] = true;
        if (glyph != Glyph::None)
            cache[index].load(QStringLiteral(":/preview/%1.png").arg(QLatin1String(GlyphName(glyph))));
    }
    return cache[index];
}

std::string_view FolderOf(std::string_view relPath)
{
    const auto slash = relPath.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return "/";
    return relPath.substr(0, slash);
}

std::string_view TRowRec::FileName() const
{
    const std::string_view path = Key();
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

int TRowList::FindRow(std::string_view key) const
{
    int low = 0;
    int high = Count() - 1;
    while (low <= high) {
        const int mid = low + (high - low) / 2;
        const int c = CompareNames(m_rows[static_cast<std::size_t>(mid)].Key(), key);
        if (c < 0)
            low = mid + 1;
        else if (c > 0)
            high = mid - 1;
        else
            return mid;
    }
    return ~low;
}

void TRowList::Fill(const TRunLists& lists, std::string_view folder, bool hideEqual)
{
    m_rows.clear();
    auto inFolder = [folder](const TMFileInfoRec* e) {
        const std::string_view path = e->RelPath();
        return path.substr(0, folder.size()) == folder && FolderOf(path) == folder;
    };
    // MirrorFiles is sorted by the same comparison, so taking it from the first entry gives
    // the rows in the order that sorted insertion from the last entry would.
    for (TMFileInfoRec* e : lists.MirrorFiles)
        if (inFolder(e))
            m_rows.push_back({e, nullptr});
    for (int i = lists.HostFiles.Count() - 1; i >= 0; --i) {
        TMFileInfoRec* e = lists.HostFiles[i];
        if (!inFolder(e))
            continue;
        const int found = FindRow(e->RelPath());
        if (found >= 0)
            m_rows[static_cast<std::size_t>(found)].HostFile = e;
        else
            m_rows.insert(m_rows.begin() + ~found, TRowRec{nullptr, e});
    }
    if (hideEqual) {
        std::erase_if(m_rows, [](const TRowRec& row) {
            return (!row.HostFile || row.HostFile->Op == opNone) && (!row.MirrorFile || row.MirrorFile->Op == opNone);
        });
    }
}

void ToggleRow(TRowRec& row, TPlanSummary& plan)
{
    const int hostDelta = row.HostFile ? 1 : 0;
    const int mirrorDelta = row.MirrorFile ? 1 : 0;
    switch (row.RowOp()) {
    case opDelete:
    case opDeleteOff: {
        const bool select = row.RowOp() == opDeleteOff;
        for (TMFileInfoRec* e : {row.HostFile, row.MirrorFile})
            if (e)
                e->Op = select ? opDelete : opDeleteOff;
        const int sign = select ? 1 : -1;
        plan.DeleteHostCount += static_cast<std::uint32_t>(sign * hostDelta);
        plan.DeleteMirrorCount += static_cast<std::uint32_t>(sign * mirrorDelta);
        break;
    }
    case opHostToMirror:
        OpHolder(row)->Op = opHostToMirrorOff;
        plan.CopyToMirrorCount -= 1;
        plan.TotalBytes -= OpHolder(row)->Size;
        break;
    case opHostToMirrorOff:
        OpHolder(row)->Op = opHostToMirror;
        plan.CopyToMirrorCount += 1;
        plan.TotalBytes += OpHolder(row)->Size;
        break;
    case opMirrorToHost:
        OpHolder(row)->Op = opMirrorToHostOff;
        plan.CopyToHostCount -= 1;
        if (row.MirrorFile)
            plan.TotalBytes -= row.MirrorFile->Size;
        break;
    case opMirrorToHostOff:
        OpHolder(row)->Op = opMirrorToHost;
        plan.CopyToHostCount += 1;
        if (row.MirrorFile)
            plan.TotalBytes += row.MirrorFile->Size;
        break;
    default:
        break;
    }
}

void SetRowChecked(TRowRec& row, bool checked, TPlanSummary& plan)
{
    const TFileOp op = row.RowOp();
    const bool isOff = op >= opDeleteOff && op <= opMirrorToHostOff;
    const bool isOn = op >= opDelete && op <= opMirrorToHost;
    if ((checked && isOff) || (!checked && isOn))
        ToggleRow(row, plan);
}

void CycleDirection(TRowRec& row, TPlanSummary& plan)
{
    if (row.RowOp() == opNone)
        return;
    SetRowChecked(row, false, plan);
    TFileOp next = row.RowOp();
    switch (next) {
    case opDeleteOff:
        next = row.HostFile ? opHostToMirrorOff : opMirrorToHostOff;
        break;
    case opHostToMirrorOff:
        next = row.MirrorFile ? opMirrorToHostOff : opDeleteOff;
        break;
    case opMirrorToHostOff:
        next = opDeleteOff;
        break;
    default:
        break;
    }
    OpHolder(row)->Op = next;
    SetRowChecked(row, true, plan);
}

Glyph CheckGlyph(TFileOp op)
{
    if (op >= opDelete && op <= opMirrorToHost)
        return Glyph::CHECK4;
    if (op >= opDeleteOff && op <= opMirrorToHostOff)
        return Glyph::UNCHECK4;
    return Glyph::None;
}

Glyph OperationGlyph(TFileOp op)
{
    switch (op) {
    case opDelete:
    case opDeleteOff:
        return Glyph::DEL4;
    case opHostToMirror:
    case opHostToMirrorOff:
        return Glyph::RARROW4;
    case opMirrorToHost:
    case opMirrorToHostOff:
        return Glyph::LARROW4;
    default:
        return Glyph::None;
    }
}

QColor RowTextColour(TFileOp op, bool selected)
{
    switch (op) {
    case opDelete:
    case opDeleteOff:
        return QColor(255, 0, 0);
    case opHostToMirror:
    case opHostToMirrorOff:
        return selected ? QColor(Qt::white) : QColor(0, 0, 255);
    case opMirrorToHost:
    case opMirrorToHostOff:
        return selected ? QColor(Qt::white) : QColor(255, 0, 255);
    default:
        return selected ? QColor(192, 192, 192) : QColor(64, 64, 64);
    }
}

QString AgeText(std::uint32_t age)
{
    const unsigned year = ((age >> 25) + 1980) % 100;
    const unsigned month = (age >> 21) & 0x0F;
    const unsigned day = (age >> 16) & 0x1F;
    const unsigned hour = (age >> 11) & 0x1F;
    const unsigned minute = (age >> 5) & 0x3F;
    const unsigned second = (age & 0x1F) * 2;
    return QString::asprintf("%02u-%02u-%02u %02u:%02u:%02u", year, month, day, hour, minute, second);
}

namespace {

// Draws one data cell as the grid's owner-drawn cells look: glyph at the top-left, text
// vertically centred and clipped to the cell narrowed by 2 pixels.
class TGridDelegate : public QStyledItemDelegate
{
public:
    TGridDelegate(TRowList& rows, QObject* parent) : QStyledItemDelegate(parent), m_rows(rows) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QRect cell = option.rect;
        if (m_rows.Empty()) {
            painter->fillRect(cell, option.palette.base());
            return;
        }
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        painter->fillRect(cell, selected ? option.palette.highlight() : option.palette.base());
        const TRowRec& row = m_rows[index.row()];
        const TFileOp op = row.RowOp();
        QRect area = cell;
        QString text;
        Qt::Alignment align = Qt::AlignLeft;
        Glyph glyph = Glyph::None;
        switch (index.column()) {
        case 0:
            glyph = CheckGlyph(op);
            text = index.data().toString(); // the model's text: the name escaped
            area.setLeft(cell.left() + 18);
            break;
        case 1:
            if (row.HostFile)
                text = QString::fromStdString(SizeText(row.HostFile->Size));
            align = Qt::AlignRight;
            break;
        case 2:
            if (row.HostFile)
                text = AgeText(row.HostFile->Age);
            break;
        case 3:
            glyph = OperationGlyph(op);
            break;
        case 4:
            if (row.MirrorFile)
                text = AgeText(row.MirrorFile->Age);
            break;
        case 5:
            if (row.MirrorFile)
                text = QString::fromStdString(SizeText(row.MirrorFile->Size));
            align = Qt::AlignRight;
            break;
        default:
            break;
        }
        if (glyph != Glyph::None)
            painter->drawPixmap(cell.left() + 1, cell.top(), GlyphPixmap(glyph));
        if (text.isEmpty())
            return;
        painter->save();
        painter->setClipRect(cell.adjusted(2, 0, -2, 0));
        painter->setPen(RowTextColour(op, selected));
        painter->setFont(option.font);
        const QFontMetrics metrics(option.font);
        const int y = cell.top() + (cell.height() - metrics.height()) / 2;
        const int width = metrics.horizontalAdvance(text);
        int x = area.left() + 2;
        if (align == Qt::AlignRight)
            x = cell.right() + 1 - 2 - width;
        painter->drawText(QRect(x, y, width + 1, metrics.height()), Qt::AlignLeft | Qt::AlignTop, text);
        painter->restore();
    }

private:
    TRowList& m_rows;
};

} // namespace

int TPreviewGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(1, m_rows.Count());
}

int TPreviewGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TPreviewGridModel::data(const QModelIndex& index, int role) const
{
    // Everything is drawn by the delegate; the text is offered for accessibility and copy.
    if (role != Qt::DisplayRole || m_rows.Empty() || !index.isValid())
        return {};
    const TRowRec& row = m_rows[index.row()];
    switch (index.column()) {
    case 0:
        return DisplayText(row.FileName());
    case 1:
        return row.HostFile ? QString::fromStdString(SizeText(row.HostFile->Size)) : QString();
    case 2:
        return row.HostFile ? AgeText(row.HostFile->Age) : QString();
    case 4:
        return row.MirrorFile ? AgeText(row.MirrorFile->Age) : QString();
    case 5:
        return row.MirrorFile ? QString::fromStdString(SizeText(row.MirrorFile->Size)) : QString();
    default:
        return {};
    }
}

QVariant TPreviewGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    static const int kHeadings[kColumnCount] = {kMsgColFileName,   kMsgColHostSize,  kMsgColHostTime, -1,
                                                kMsgColMirrorTime, kMsgColMirrorSize};
    if (role == Qt::DisplayRole)
        return kHeadings[section] < 0 ? QString() : QString::fromUtf8(Msg(kHeadings[section]));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment((section == 1 || section == 5) ? Qt::AlignRight : Qt::AlignLeft) |
                                   Qt::AlignVCenter);
    if (role == Qt::DecorationRole && section == 3)
        return GlyphPixmap(Glyph::EQU4);
    return {};
}

void TPreviewGridModel::Reset()
{
    beginResetModel();
    endResetModel();
}

void TPreviewGridModel::RowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

TPreviewGrid::TPreviewGrid(QWidget* parent) : QTableView(parent)
{
    setObjectName(QStringLiteral("ListV"));
    m_model = new TPreviewGridModel(RowList, this);
    setModel(m_model);
    setItemDelegate(new TGridDelegate(RowList, this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(16);
    verticalHeader()->setDefaultSectionSize(16);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    // Qt's own minimum follows the header font and would widen the narrow operation
    // column, pushing the mirror size out of the grid.
    horizontalHeader()->setMinimumSectionSize(kColumnWidths[3]);
    for (int c = 0; c < kColumnCount; ++c)
        setColumnWidth(c, kColumnWidths[c]);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    pmAll = PopupMenu1->addAction(QString());
    pmAll->setObjectName(QStringLiteral("pmAll"));
    pmClear = PopupMenu1->addAction(QString());
    pmClear->setObjectName(QStringLiteral("pmClear"));
    connect(pmAll, &QAction::triggered, this, &TPreviewGrid::pmAllClick);
    connect(pmClear, &QAction::triggered, this, &TPreviewGrid::pmClearClick);
}

void TPreviewGrid::ApplyTexts()
{
    pmAll->setText(QString::fromUtf8(Msg(kMsgSelectAll)));
    pmClear->setText(QString::fromUtf8(Msg(kMsgClearSelection)));
    m_model->headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
    // The widths suit the original font; a wider substitute must not cut the times.
    const int timeWidth = QFontMetrics(font()).horizontalAdvance(QStringLiteral("00-00-00 00:00:00")) + 8;
    int extra = 0;
    for (int c : {2, 4}) {
        const int width = std::max(kColumnWidths[c], timeWidth);
        extra += width - kColumnWidths[c];
        setColumnWidth(c, width);
    }
    // The name column gives up what the times took, so the row still fits the grid.
    setColumnWidth(0, std::max(100, kColumnWidths[0] - extra));
}

void TPreviewGrid::FillFor(const TRunLists* lists, std::string_view folder)
{
    if (lists == nullptr || folder.empty())
        RowList.Clear();
    else
        RowList.Fill(*lists, folder, HideEqual);
    // An empty grid refuses every cell, so it shows no selection.
    setSelectionMode(RowList.Empty() ? QAbstractItemView::NoSelection : QAbstractItemView::SingleSelection);
    m_model->Reset();
}

void TPreviewGrid::ClearRows()
{
    FillFor(nullptr, {});
}

void TPreviewGrid::pmAllClick()
{
    for (TRowRec& row : RowList)
        SetRowChecked(row, true, *m_plan);
    viewport()->update();
    emit PlanChanged();
}

void TPreviewGrid::pmClearClick()
{
    for (TRowRec& row : RowList)
        SetRowChecked(row, false, *m_plan);
    viewport()->update();
    emit PlanChanged();
}

void TPreviewGrid::rowEdited(int row)
{
    m_model->RowChanged(row);
    emit PlanChanged();
}

void TPreviewGrid::mousePressEvent(QMouseEvent* event)
{
    // Only the left button selects; the right one opens the pop-up menu through the
    // context-menu event, the others do nothing.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
    if (RowList.Empty())
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid())
        return;
    TRowRec& row = RowList[index.row()];
    if (index.column() == 0 && event->position().x() <= 15) {
        ToggleRow(row, *m_plan);
        rowEdited(index.row());
    } else if (index.column() == 3) {
        CycleDirection(row, *m_plan);
        rowEdited(index.row());
    }
}

void TPreviewGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click is two presses to the grid: the second one acts like the first.
    mousePressEvent(event);
}

void TPreviewGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        const QModelIndex current = currentIndex();
        if (!RowList.Empty() && current.isValid() && selectionModel()->isRowSelected(current.row(), {})) {
            ToggleRow(RowList[current.row()], *m_plan);
            rowEdited(current.row());
        }
        return;
    }
    QTableView::keyPressEvent(event);
}

void TPreviewGrid::contextMenuEvent(QContextMenuEvent* event)
{
    PopupMenu1->popup(event->globalPos());
}

} // namespace pelmora
