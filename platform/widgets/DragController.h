#pragma once
// TrDragController: lets the user reorder the entries of a single-selection QListWidget by
// dragging one onto another's place. Check marks travel with their entries, and a press on
// an entry's check box toggles it instead of starting a drag. UI thread only.

#include <QListWidget>
#include <QObject>
#include <QPoint>
#include <QPointer>

#include <functional>

namespace pelmora {

class TrDragController : public QObject
{
    Q_OBJECT
public:
    // Shows a refusal to the user. Tests and the program route it through their own box.
    using ErrorBox = std::function<void(const QString& caption, const QString& text)>;

    explicit TrDragController(QObject* parent = nullptr);
    ~TrDragController() override;

    QListWidget* ListBox() const { return m_list; }
    // Attaches to `list` (nullptr detaches). A list that allows several selected entries
    // is refused with an error box, and the controller keeps its previous list.
    void SetListBox(QListWidget* list);

    // Moves the entry at fromIndex to toIndex, keeping its check mark, then fires
    // OnItemMove. Does nothing when either index is outside the list.
    virtual void MoveItem(QListWidget* listBox, int fromIndex, int toIndex);

    // The entry under the pointer while dragging (the list's count below the last entry),
    // or -1 when there is none.
    int DropTarget() const { return m_dropTarget; }
    bool Dragging() const { return m_dragging; }

    static void SetErrorBox(ErrorBox box);

signals:
    void OnItemMove(QListWidget* sender, int fromIndex, int toIndex);
    // The user toggled the check mark of entry `index` by pressing on its check box.
    void OnClickCheck(QListWidget* sender, int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Mark;

    void attach(QListWidget* list);
    void detach();
    // The entry at a point of the list's viewport: its row, the count when the point lies
    // below the last entry, -1 outside the list.
    int itemFromPoint(const QPoint& pos) const;
    int itemFromPointScrolling(const QPoint& pos);
    bool inCheckArea(QListWidgetItem* item, const QPoint& pos) const;
    void updateTarget(const QPoint& pos);
    void setMark(int row);
    void drop(const QPoint& pos);
    void cancelDrag();
    void endDrag();

    QPointer<QListWidget> m_list;
    // The watched objects, compared by address only: while the list is being destroyed it
    // still sends events, and it must not be used as a list any more.
    QObject* m_listObject = nullptr;
    QObject* m_viewportObject = nullptr;
    // The mark lives in the list's viewport and dies with it.
    QPointer<QWidget> m_mark;
    int m_dropTarget = -1;
    int m_markedRow = -1;
    bool m_pressed = false;
    bool m_dragging = false;
    bool m_swallowRelease = false;
    QPoint m_pressPos;
};

} // namespace pelmora
