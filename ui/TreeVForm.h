#pragma once
// TTreeVForm: the preview window shown between planning and execution. A folder tree of both
// sides with marks for planned work, the file grid of the selected folder, and the buttons that
// confirm or cancel the run. It changes the run's Op bytes and plan totals in place.
// Created once by the main window at start-up; used on the UI thread only.

#include <QDialog>
#include <QTreeWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sync/FileLists.h"
#include "sync/Planner.h"
#include "ui/PreviewGrid.h"

class QLabel;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTimer;
class QToolButton;

namespace pelmora {

class RunDriver;

// TNodeRec flags.
inline constexpr std::uint8_t nfHostOnly = 0x01;
inline constexpr std::uint8_t nfMirrorOnly = 0x02;
inline constexpr std::uint8_t nfMirrorEmpty = 0x04;
inline constexpr std::uint8_t nfHostEmpty = 0x08;
inline constexpr std::uint8_t nfToMirror = 0x10;
inline constexpr std::uint8_t nfToHost = 0x20;
inline constexpr std::uint8_t nfDelete = 0x40;

// One folder of the tree. Path is relative ("/" for the pair of roots).
struct TNodeRec
{
    std::string Path;
    QTreeWidgetItem* Node = nullptr;
    std::uint8_t Flags = 0;
};

// Icon choices of a tree node, first rule that applies.
Glyph HostSideIcon(std::uint8_t flags, bool selected);
Glyph MirrorSideIcon(std::uint8_t flags, bool selected);
Glyph TreeButtonGlyph(bool hasChildren, bool expanded);
// Whether a folder's ancestors are expanded when the window opens.
bool IsNoteworthy(std::uint8_t flags, TAction emptyDir);

// What the preview works on: the run's lists and totals, the roots and the task's EmptyDir.
struct TPreviewInput
{
    TRunLists* Lists = nullptr;
    TPlanSummary* Plan = nullptr;
    std::string HostDir;
    std::string MirrorDir;
    TAction EmptyDir = acIgnore;
};

// TreeV: a read-only tree that draws every node itself (connectors, buttons, two side icons).
class TPreviewTree : public QTreeWidget
{
    Q_OBJECT
public:
    explicit TPreviewTree(QWidget* parent = nullptr);
    static constexpr int kIndent = 42;
    // The label's left edge L of a node at `depth` (0 for the roots), in viewport coordinates
    // before horizontal scrolling.
    static int LabelLeft(int depth) { return 84 + kIndent * depth; }
    static TNodeRec* RecOf(const QTreeWidgetItem* item);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
    void mousePressEvent(QMouseEvent* event) override;
};

class TTreeVForm : public QDialog
{
    Q_OBJECT
public:
    explicit TTreeVForm(QWidget* parent = nullptr);
    ~TTreeVForm() override;

    // Sets the caption, the label, button and menu texts, and the font.
    void ApplyTexts();

    // Shows the preview of run's plan modally. Returns 1 when the user pressed Sync Now, -1 for
    // Cancel, 0 when the window was closed otherwise.
    int ShowModalFor(RunDriver& run);
    // The same for any lists and totals; used by ShowModalFor and by tests.
    int ShowModalFor(const TPreviewInput& input);

    // The preview's input for the next showing. The window reads it when shown.
    void Prepare(const TPreviewInput& input);
    // Builds the tree from the prepared input (the handler of the message posted on show).
    // Returns early when a button was pressed meanwhile.
    void OnAddTreeNodes();
    // Empties the tree and the grid and releases every TNodeRec.
    void FormClose();
    void UpdateStatus();

    int Tag() const { return m_tag; }
    const std::vector<std::unique_ptr<TNodeRec>>& NodeList() const { return m_nodes; }
    // The record of `path`, or nullptr.
    TNodeRec* FindPath(std::string_view path) const;
    TNodeRec* FindNodeRec(const QTreeWidgetItem* node) const;
    QString StatusText(int panel) const;

    QLabel* Label1 = nullptr;
    TPreviewTree* TreeV = nullptr;
    QSplitter* Splitter1 = nullptr;
    TPreviewGrid* ListV = nullptr;
    QWidget* Panel1 = nullptr;
    QPushButton* btnSync = nullptr;
    QPushButton* btnCancel = nullptr;
    QToolButton* btnShowAll = nullptr;
    QToolButton* btnHideEqu = nullptr;
    QStatusBar* StatusBar1 = nullptr;

    void btnSyncClick();
    void btnCancelClick();
    void btnShowAllClick();
    void btnHideEquClick();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void AddMirrorFolder(std::string_view path, std::uint32_t content);
    void AddHostFolder(std::string_view path, std::uint32_t content);
    void AddFolder(std::string_view path, std::uint32_t content, bool mirrorSide);
    int FindIndex(std::string_view path) const;
    void MarkFolders();
    void ExpandNoteworthy();
    bool Progress(int done, int total);
    void TreeVChange();
    void SetPanel(int panel, const QString& text);

    TPreviewInput m_input;
    std::vector<std::unique_ptr<TNodeRec>> m_nodes;
    std::vector<QLabel*> m_panels;
    int m_tag = 0;
    bool m_building = false;
    QTimer* m_changeTimer = nullptr;
};

} // namespace pelmora
