// Reordering list entries by dragging: the resulting order, the reported move, check marks,
// the drop-target mark and the refusal of multi-selection lists.
#include <QListWidget>
#include <QMouseEvent>
#include <QtTest>

#include "platform/widgets/DragController.h"

using namespace pelmora;

namespace {

void sendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

QPoint textPoint(QListWidget& list, int row)
{
    const QRect rect = list.visualItemRect(list.item(row));
    return QPoint(rect.left() + rect.width() * 2 / 3, rect.center().y());
}

QStringList order(const QListWidget& list)
{
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts << list.item(i)->text();
    return texts;
}

// A shown list of five entries "0".."4", optionally with check boxes (entries 1 and 3 ticked).
struct Fixture
{
    QListWidget list;
    TrDragController controller;
    QList<QPair<int, int>> moves;

    explicit Fixture(bool checkBoxes)
    {
        for (int i = 0; i < 5; ++i) {
            auto* item = new QListWidgetItem(QString::number(i), &list);
            if (checkBoxes) {
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(i == 1 || i == 3 ? Qt::Checked : Qt::Unchecked);
            }
        }
        list.resize(200, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        controller.SetListBox(&list);
        QObject::connect(&controller, &TrDragController::OnItemMove, &controller,
                         [this](QListWidget* sender, int from, int to) {
                             if (sender == &list)
                                 moves.append({from, to});
                         });
    }

    void press(QPoint at) { sendMouse(list.viewport(), QEvent::MouseButtonPress, at, Qt::LeftButton); }
    void moveTo(QPoint at) { sendMouse(list.viewport(), QEvent::MouseMove, at, Qt::LeftButton); }
    void release(QPoint at) { sendMouse(list.viewport(), QEvent::MouseButtonRelease, at, Qt::NoButton); }

    void drag(int fromRow, QPoint to)
    {
        const QPoint from = textPoint(list, fromRow);
        press(from);
        moveTo(from + QPoint(0, 3));
        moveTo((from + to) / 2);
        moveTo(to);
        release(to);
    }
};

} // namespace

class DragControllerTest : public QObject
{
    Q_OBJECT

private slots:
    void dragOntoAnotherEntry();
    void dropBelowLastMovesToEnd();
    void dropOnItselfReportsEqualIndices();
    void checkBoxPressTogglesWithoutDrag();
    void dropTargetIsMarkedInYellow();
    void moveItemIgnoresIndicesOutside();
    void multiSelectionListIsRefused();
};

void DragControllerTest::dragOntoAnotherEntry()
{
    Fixture f(true);
    f.drag(0, textPoint(f.list, 3));
    QCOMPARE(order(f.list), QStringList({"1", "2", "3", "0", "4"}));
    QCOMPARE(f.moves, (QList<QPair<int, int>>{{0, 3}}));
    QCOMPARE(f.list.currentRow(), 3);
    QVERIFY(f.list.item(3)->isSelected());
    // Check marks travel with their entries.
    QCOMPARE(f.list.item(0)->checkState(), Qt::Checked);   // "1"
    QCOMPARE(f.list.item(2)->checkState(), Qt::Checked);   // "3"
    QCOMPARE(f.list.item(3)->checkState(), Qt::Unchecked); // "0"
    QVERIFY(!f.controller.Dragging());
}

void DragControllerTest::dropBelowLastMovesToEnd()
{
    Fixture f(false);
    const QRect last = f.list.visualItemRect(f.list.item(4));
    f.drag(1, QPoint(last.center().x(), last.bottom() + 40));
    QCOMPARE(order(f.list), QStringList({"0", "2", "3", "4", "1"}));
    QCOMPARE(f.moves, (QList<QPair<int, int>>{{1, 4}}));
    QCOMPARE(f.list.currentRow(), 4);
}

void DragControllerTest::dropOnItselfReportsEqualIndices()
{
    Fixture f(false);
    const QRect rect = f.list.visualItemRect(f.list.item(2));
    const QPoint from = textPoint(f.list, 2);
    f.press(from);
    f.moveTo(from + QPoint(10, 0));
    f.moveTo(QPoint(rect.left() + 5, rect.center().y()));
    f.release(QPoint(rect.left() + 5, rect.center().y()));
    QCOMPARE(order(f.list), QStringList({"0", "1", "2", "3", "4"}));
    QCOMPARE(f.moves, (QList<QPair<int, int>>{{2, 2}}));

    // A plain click is no drag at all.
    f.press(textPoint(f.list, 4));
    f.release(textPoint(f.list, 4));
    QCOMPARE(f.moves.size(), 1);
    QCOMPARE(f.list.currentRow(), 4);
}

void DragControllerTest::checkBoxPressTogglesWithoutDrag()
{
    Fixture f(true);
    QList<int> toggled;
    connect(&f.controller, &TrDragController::OnClickCheck, this,
            [&](QListWidget*, int index) { toggled.append(index); });
    f.list.setCurrentRow(4);
    const QRect rect = f.list.visualItemRect(f.list.item(0));
    const QPoint box(rect.left() + 8, rect.center().y());
    f.press(box);
    f.moveTo(textPoint(f.list, 3));
    f.release(textPoint(f.list, 3));
    QCOMPARE(f.list.item(0)->checkState(), Qt::Checked);
    QCOMPARE(toggled, QList<int>({0}));
    QVERIFY(f.moves.isEmpty());
    QCOMPARE(order(f.list), QStringList({"0", "1", "2", "3", "4"}));
    QCOMPARE(f.list.currentRow(), 4);

    // A second press unticks it again: one toggle per press, none from the release.
    f.press(box);
    f.release(box);
    QCOMPARE(f.list.item(0)->checkState(), Qt::Unchecked);
}

void DragControllerTest::dropTargetIsMarkedInYellow()
{
    Fixture f(false);
    const QPoint from = textPoint(f.list, 0);
    f.press(from);
    f.moveTo(from + QPoint(0, 4));
    f.moveTo(textPoint(f.list, 2));
    QVERIFY(f.controller.Dragging());
    QCOMPARE(f.controller.DropTarget(), 2);

    auto yellowIn = [&](int row) {
        const QImage shot = f.list.viewport()->grab().toImage();
        const QRect rect = f.list.visualItemRect(f.list.item(row));
        int count = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                count += c.red() > 200 && c.green() > 200 && c.blue() < 80;
            }
        }
        return count;
    };
    QVERIFY(yellowIn(2) > 10);
    QCOMPARE(yellowIn(3), 0);
    f.moveTo(textPoint(f.list, 3));
    QVERIFY(yellowIn(3) > 10);
    QCOMPARE(yellowIn(2), 0);
    f.release(textPoint(f.list, 3));
    QCOMPARE(yellowIn(3), 0);
}

void DragControllerTest::moveItemIgnoresIndicesOutside()
{
    Fixture f(true);
    f.controller.MoveItem(&f.list, 0, 5);
    f.controller.MoveItem(&f.list, -1, 2);
    QCOMPARE(order(f.list), QStringList({"0", "1", "2", "3", "4"}));
    QVERIFY(f.moves.isEmpty());
    f.controller.MoveItem(&f.list, 3, 0);
    QCOMPARE(order(f.list), QStringList({"3", "0", "1", "2", "4"}));
    QCOMPARE(f.list.item(0)->checkState(), Qt::Checked);
    QCOMPARE(f.moves, (QList<QPair<int, int>>{{3, 0}}));
}

void DragControllerTest::multiSelectionListIsRefused()
{
    QStringList boxes;
    TrDragController::SetErrorBox([&](const QString& caption, const QString& text) { boxes << caption << text; });
    QListWidget single;
    QListWidget multi;
    multi.setSelectionMode(QAbstractItemView::ExtendedSelection);
    TrDragController controller;
    controller.SetListBox(&single);
    controller.SetListBox(&multi);
    QCOMPARE(boxes,
             QStringList({"TrDragController Error", "Sorry, can't operate with ListBox where MultiSelect=True"}));
    QCOMPARE(controller.ListBox(), &single);
    TrDragController::SetErrorBox({});

    // A list that goes away leaves the controller without one.
    {
        QListWidget shortLived;
        controller.SetListBox(&shortLived);
        QCOMPARE(controller.ListBox(), &shortLived);
    }
    QCOMPARE(controller.ListBox(), nullptr);
}

QTEST_MAIN(DragControllerTest)
#include "DragController_test.moc"
