#pragma once
// TTaskList: the main window's list of tasks: one entry per task name with a check mark (the
// check marks choose the tasks a run includes), its "check all" / "clear checks" menu and
// reordering by dragging. It shows names only; the records stay in TAppState, and the main
// window moves them when an entry moves. UI thread only.

#include <QString>
#include <QWidget>

#include <string>
#include <vector>

class QAction;
class QLabel;
class QListWidget;
class QMenu;

namespace pelmora {

class TrDragController;

class TTaskList : public QWidget
{
    Q_OBJECT
public:
    explicit TTaskList(QWidget* parent = nullptr);

    void ApplyTexts();
    QListWidget* ListBox() const { return liTask; }

    // Replaces the entries with `names`, none checked, none selected; no signal.
    void Fill(const std::vector<std::string>& names);
    // Appends an unchecked entry; no signal.
    void Append(const QString& name);
    // Removes the entry and leaves no entry selected; no signal.
    void Remove(int row);
    void SetName(int row, const QString& name);
    // Selects the entry (-1: none) without firing Selected.
    void Select(int row);
    // The selected entry, -1 when none is.
    int SelectedRow() const;

    int Count() const;
    bool IsChecked(int row) const;
    bool AnyChecked() const;
    // Sets one check mark without firing ChecksChanged.
    void SetChecked(int row, bool on);
    // The menu's "check all" and "clear checks": do nothing on an empty list, else set every
    // mark and fire ChecksChanged.
    void CheckAll();
    void ClearChecks();
    // Clears every mark without firing ChecksChanged.
    void ClearChecksQuietly();

signals:
    // The user selected another entry (or none).
    void Selected();
    // The user toggled a check mark (or used the menu); `anyChecked` tells whether one is set.
    void ChecksChanged(bool anyChecked);
    // The user dragged the entry at `fromIndex` to `toIndex`; the list has already moved it
    // and selects it at its new place.
    void Moved(int fromIndex, int toIndex);

private:
    void setAll(bool on);

    QLabel* Label1 = nullptr;
    QListWidget* liTask = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* A1 = nullptr;
    QAction* C1 = nullptr;
    TrDragController* rDragController1 = nullptr;
    bool m_updating = false; // changes made here fire none of the user's signals
};

} // namespace pelmora
