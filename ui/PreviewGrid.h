#pragma once
// The preview's file grid: the rows of one folder (TRowRec, kept in RowList), the rules that
// deselect, reselect and redirect a row's operation while keeping the plan totals in step, and
// the grid widget that draws and edits them. Also the preview's sixteen glyphs.
// UI thread only.

#include <QAbstractTableModel>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTableView>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sync/FileLists.h"
#include "sync/Planner.h"

class QMenu;
class QAction;

namespace pelmora {

// The preview's glyphs, loaded from the program's resources under ":/preview/<name>.png".
enum class Glyph {
    UNCHECK4,
    CHECK4,
    EQU4,
    DEL4,
    LARROW4,
    RARROW4,
    TFOLDER,
    TFOLDERO,
    TFOLDERE,
    TFOLDERNO,
    TDELETE,
    CLEAR4,
    TFOLDER2RIGHT,
    TFOLDER2LEFT,
    LBTNA4,
    LBTNB4,
    None,
};
const char* GlyphName(Glyph glyph);
// The glyph's picture; a null pixmap for Glyph::None or a missing resource.
const QPixmap& GlyphPixmap(Glyph glyph);

// The folder part of a relative path: the text before its last separator, or "/" when that
// separator is the first character.
std::string_view FolderOf(std::string_view relPath);

// One grid row: a file name with its host entry, its mirror entry or both. Does not own them.
struct TRowRec
{
    TMFileInfoRec* MirrorFile = nullptr;
    TMFileInfoRec* HostFile = nullptr;

    // The sort key: the mirror entry's path when there is one, else the host entry's.
    std::string_view Key() const { return MirrorFile ? MirrorFile->RelPath() : HostFile->RelPath(); }
    // The row's operation: the host entry's Op when there is one, else the mirror entry's.
    TFileOp RowOp() const { return HostFile ? HostFile->Op : MirrorFile->Op; }
    // The file name shown in the first column.
    std::string_view FileName() const;
};

// The rows of one folder, sorted by key with the name comparison.
class TRowList
{
public:
    int Count() const { return static_cast<int>(m_rows.size()); }
    bool Empty() const { return m_rows.empty(); }
    TRowRec& operator[](int index) { return m_rows[static_cast<std::size_t>(index)]; }
    const TRowRec& operator[](int index) const { return m_rows[static_cast<std::size_t>(index)]; }
    void Clear() { m_rows.clear(); }

    // Binary search: the index of a row whose key compares equal, else the bitwise complement
    // of the insertion point.
    int FindRow(std::string_view key) const;

    // Rebuilds the list for the files directly in `folder`: mirror entries first, host entries
    // joined to the mirror row of the same name. With hideEqual, rows whose entries all have
    // Op 0 are dropped; deselected operations stay.
    void Fill(const TRunLists& lists, std::string_view folder, bool hideEqual);

    auto begin() { return m_rows.begin(); }
    auto end() { return m_rows.end(); }

private:
    std::vector<TRowRec> m_rows;
};

// Deselects a planned operation (1, 2, 3 -> 4, 5, 6) or selects it again, adjusting the
// plan's counts and TotalBytes. Op 0 is left alone.
void ToggleRow(TRowRec& row, TPlanSummary& plan);
// Selects (checked) or deselects the row; a row already in that state is left alone.
void SetRowChecked(TRowRec& row, bool checked, TPlanSummary& plan);
// The click on the operation column: host to mirror, mirror to host, delete, as far as the
// row's entries allow; a deselected row ends up selected; Op 0 never changes.
void CycleDirection(TRowRec& row, TPlanSummary& plan);

// Glyphs of a data row: the check box (None for op 0) and the operation.
Glyph CheckGlyph(TFileOp op);
Glyph OperationGlyph(TFileOp op);
// Text colour of a data cell for an op, selected or not.
QColor RowTextColour(TFileOp op, bool selected);
// A packed date-time as "yy-mm-dd hh:mm:ss".
QString AgeText(std::uint32_t age);

// The process-wide "list only files with an operation" choice; kept across previews.
extern bool HideEqual;

class TPreviewGrid;

// The grid's rows for Qt's view; row 0 of the model is RowList[0] (the heading is the
// view's header). An empty list still shows one blank row.
class TPreviewGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TPreviewGridModel(TRowList& rows, QObject* parent = nullptr) : QAbstractTableModel(parent), m_rows(rows) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Call after the row list was rebuilt.
    void Reset();
    void RowChanged(int row);

private:
    TRowList& m_rows;
};

// ListV: draws the cells and turns clicks, Space and the pop-up menu into row changes.
class TPreviewGrid : public QTableView
{
    Q_OBJECT
public:
    explicit TPreviewGrid(QWidget* parent = nullptr);

    // The plan that row changes adjust; must outlive the grid's use of it (nullptr: none).
    void Bind(TPlanSummary* plan) { m_plan = plan ? plan : &m_ownPlan; }
    TRowList RowList;
    // Refills from `lists` for `folder`; an empty folder text empties the grid.
    void FillFor(const TRunLists* lists, std::string_view folder);
    void ClearRows();
    void ApplyTexts();

    // Select All / Clear Selection: every row of the folder.
    void pmAllClick();
    void pmClearClick();

    QMenu* PopupMenu1 = nullptr;
    QAction* pmAll = nullptr;
    QAction* pmClear = nullptr;

signals:
    // A row's operation or the totals changed: the window updates its status panels.
    void PlanChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void rowEdited(int row);

    TPlanSummary m_ownPlan;
    TPlanSummary* m_plan = &m_ownPlan;
    TPreviewGridModel* m_model = nullptr;
};

} // namespace pelmora
