#include <QApplication>
#include <QHeaderView>
#include <QTest>

#include "lang/Messages.h"
#include "tests/ui/PreviewFixture.h"
#include "ui/PreviewGrid.h"

using namespace pelmora;
using namespace pelmora::testing;

namespace {

struct Grid
{
    TPreviewGrid view;
    explicit Grid(PreviewRun& run, std::string_view folder = "/")
    {
        view.resize(600, 300);
        view.Bind(&run.plan);
        view.FillFor(&run.lists, folder);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            qWarning("grid window not exposed");
    }
    QPoint cell(int row, int column) const { return view.visualRect(view.model()->index(row, column)).center(); }
    void clickOperation(int row) { QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell(row, 3)); }
    void clickCheckBox(int row)
    {
        QPoint p = cell(row, 0);
        p.setX(5);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, p);
    }
    int rowOf(std::string_view name) const
    {
        for (int i = 0; i < view.RowList.Count(); ++i)
            if (view.RowList[i].FileName() == name)
                return i;
        return -1;
    }
};

} // namespace

class PreviewGridTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { SelectLanguage(kLangEnglishUS); }
    void init() { HideEqual = false; }

    void listsOnlyTheFolderSortedWithBothSidesJoined()
    {
        PreviewRun run;
        run.host("/b.txt", 10, opHostToMirror);
        run.host("/A.txt", 20, opNone);
        run.host("/sub/deep.txt", 5, opHostToMirror);
        run.host("/hostonly.txt", 7, opHostToMirror);
        run.mirror("/a.TXT", 20, opNone);
        run.mirror("/c.txt", 30, opMirrorToHost);
        run.mirror("/sub/deep.txt", 5, opNone);

        TRowList rows;
        rows.Fill(run.lists, "/", false);
        QCOMPARE(rows.Count(), 4);
        // Case-insensitive order; a row keyed by its mirror name shows the mirror's spelling.
        QCOMPARE(rows[0].FileName(), std::string_view("a.TXT"));
        QVERIFY(rows[0].HostFile && rows[0].MirrorFile);
        QCOMPARE(rows[1].FileName(), std::string_view("b.txt"));
        QCOMPARE(rows[2].FileName(), std::string_view("c.txt"));
        QVERIFY(rows[2].HostFile == nullptr);
        QCOMPARE(rows[2].RowOp(), opMirrorToHost);
        QCOMPARE(rows[3].FileName(), std::string_view("hostonly.txt"));

        rows.Fill(run.lists, "/sub", false);
        QCOMPARE(rows.Count(), 1);
        QCOMPARE(rows[0].RowOp(), opHostToMirror);

        QCOMPARE(AgeText(kAge), QStringLiteral("26-03-04 05:06:08"));
    }

    void deselectAndReselectACopy()
    {
        PreviewRun run;
        TMFileInfoRec* file = run.host("/report.doc", 1536, opHostToMirror);
        run.host("/other.doc", 100, opHostToMirror);
        run.count();
        Grid grid(run);
        const int row = grid.rowOf("report.doc");

        grid.clickCheckBox(row);
        QCOMPARE(file->Op, opHostToMirrorOff);
        QCOMPARE(run.plan.CopyToMirrorCount, 1u);
        QCOMPARE(run.plan.TotalBytes, 100);
        QCOMPARE(CheckGlyph(file->Op), Glyph::UNCHECK4);

        grid.clickCheckBox(row);
        QCOMPARE(file->Op, opHostToMirror);
        QCOMPARE(run.plan.CopyToMirrorCount, 2u);
        QCOMPARE(run.plan.TotalBytes, 1636);

        // Space on the selected row does the same as the check box.
        QTest::keyClick(&grid.view, Qt::Key_Space);
        QCOMPARE(file->Op, opHostToMirrorOff);
        QTest::keyClick(&grid.view, Qt::Key_Space);
        QCOMPARE(file->Op, opHostToMirror);
        QCOMPARE(run.plan.TotalBytes, 1636);

        // Only the left button changes anything.
        QPoint box = grid.cell(row, 0);
        box.setX(5);
        QTest::mouseClick(grid.view.viewport(), Qt::MiddleButton, {}, box);
        QCOMPARE(file->Op, opHostToMirror);
    }

    void deselectingADeleteOnBothSidesKeepsBoth()
    {
        PreviewRun run;
        TMFileInfoRec* host = run.host("/old.tmp", 50, opDelete);
        TMFileInfoRec* mirror = run.mirror("/old.tmp", 50, opDelete);
        run.count();
        QCOMPARE(run.plan.DeleteHostCount, 1u);
        QCOMPARE(run.plan.DeleteMirrorCount, 1u);
        Grid grid(run);

        grid.clickCheckBox(0);
        QCOMPARE(host->Op, opDeleteOff);
        QCOMPARE(mirror->Op, opDeleteOff);
        QCOMPARE(run.plan.DeleteHostCount, 0u);
        QCOMPARE(run.plan.DeleteMirrorCount, 0u);
    }

    void operationColumnCyclesAndRestoresTotals()
    {
        PreviewRun run;
        TMFileInfoRec* host = run.host("/both.txt", 1000, opHostToMirror);
        TMFileInfoRec* mirror = run.mirror("/both.txt", 400, opNone);
        TMFileInfoRec* hostOnly = run.host("/new.txt", 70, opHostToMirror);
        TMFileInfoRec* mirrorOnly = run.mirror("/gone.txt", 30, opMirrorToHost);
        run.count();
        const TPlanSummary before = run.plan;
        Grid grid(run);
        const int row = grid.rowOf("both.txt");

        grid.clickOperation(row);
        QCOMPARE(host->Op, opMirrorToHost);
        QCOMPARE(run.plan.CopyToHostCount, before.CopyToHostCount + 1);
        QCOMPARE(run.plan.CopyToMirrorCount, before.CopyToMirrorCount - 1);
        QCOMPARE(run.plan.TotalBytes, before.TotalBytes - 1000 + 400);

        grid.clickOperation(row);
        QCOMPARE(host->Op, opDelete);
        QCOMPARE(mirror->Op, opDelete);
        QCOMPARE(run.plan.DeleteHostCount, 1u);
        QCOMPARE(run.plan.DeleteMirrorCount, 1u);
        QCOMPARE(run.plan.TotalBytes, before.TotalBytes - 1000);

        grid.clickOperation(row);
        QCOMPARE(host->Op, opHostToMirror);
        QVERIFY(SamePlan(run.plan, before));

        // One side only: two states each.
        const int newRow = grid.rowOf("new.txt");
        grid.clickOperation(newRow);
        QCOMPARE(hostOnly->Op, opDelete);
        grid.clickOperation(newRow);
        QCOMPARE(hostOnly->Op, opHostToMirror);
        const int goneRow = grid.rowOf("gone.txt");
        grid.clickOperation(goneRow);
        QCOMPARE(mirrorOnly->Op, opDelete);
        grid.clickOperation(goneRow);
        QCOMPARE(mirrorOnly->Op, opMirrorToHost);
        QVERIFY(SamePlan(run.plan, before));

        // A deselected row becomes selected when its direction changes.
        grid.clickCheckBox(newRow);
        QCOMPARE(hostOnly->Op, opHostToMirrorOff);
        grid.clickOperation(newRow);
        QCOMPARE(hostOnly->Op, opDelete);
        QCOMPARE(run.plan.DeleteHostCount, 1u);
    }

    void equalFilesNeverChange()
    {
        PreviewRun run;
        TMFileInfoRec* host = run.host("/same.txt", 10, opNone);
        TMFileInfoRec* mirror = run.mirror("/same.txt", 10, opNone);
        run.count();
        const TPlanSummary before = run.plan;
        Grid grid(run);
        grid.clickOperation(0);
        grid.clickCheckBox(0);
        QTest::keyClick(&grid.view, Qt::Key_Space);
        QCOMPARE(host->Op, opNone);
        QCOMPARE(mirror->Op, opNone);
        QVERIFY(SamePlan(run.plan, before));
        QCOMPARE(CheckGlyph(opNone), Glyph::None);
        QCOMPARE(OperationGlyph(opNone), Glyph::None);
    }

    void selectAllAfterClearTouchesOnlyTheFolder()
    {
        PreviewRun run;
        TMFileInfoRec* a1 = run.host("/a/1.txt", 10, opHostToMirror);
        TMFileInfoRec* a2 = run.mirror("/a/2.txt", 20, opDelete);
        TMFileInfoRec* b1 = run.host("/b/1.txt", 40, opHostToMirror);
        run.count();
        Grid grid(run, "/a");

        grid.view.pmClearClick();
        QCOMPARE(a1->Op, opHostToMirrorOff);
        QCOMPARE(a2->Op, opDeleteOff);
        QCOMPARE(b1->Op, opHostToMirror);
        QCOMPARE(run.plan.CopyToMirrorCount, 1u);
        QCOMPARE(run.plan.TotalBytes, 40);
        QCOMPARE(run.plan.DeleteMirrorCount, 0u);

        // b's row deselected by hand must stay so when a's rows are selected again.
        grid.view.FillFor(&run.lists, "/b");
        grid.clickCheckBox(0);
        QCOMPARE(b1->Op, opHostToMirrorOff);
        grid.view.FillFor(&run.lists, "/a");
        grid.view.pmAllClick();
        QCOMPARE(a1->Op, opHostToMirror);
        QCOMPARE(a2->Op, opDelete);
        QCOMPARE(b1->Op, opHostToMirrorOff);
        QCOMPARE(run.plan.CopyToMirrorCount, 1u);
        QCOMPARE(run.plan.TotalBytes, 10);
        QCOMPARE(run.plan.DeleteMirrorCount, 1u);
    }

    void hideEqualKeepsDeselectedRows()
    {
        PreviewRun run;
        run.host("/eq/x.txt", 1, opNone);
        run.mirror("/eq/x.txt", 1, opNone);
        run.host("/eq/y.txt", 1, opNone);
        run.host("/mix/same.txt", 1, opNone);
        run.mirror("/mix/same.txt", 1, opNone);
        run.host("/mix/off.txt", 1, opHostToMirrorOff);
        run.host("/mix/on.txt", 1, opDelete);
        HideEqual = true;
        Grid grid(run, "/eq");
        QVERIFY(grid.view.RowList.Empty());
        // Heading plus one blank row that cannot be selected.
        QCOMPARE(grid.view.model()->rowCount(), 1);
        QCOMPARE(grid.view.selectionMode(), QAbstractItemView::NoSelection);

        grid.view.FillFor(&run.lists, "/mix");
        QCOMPARE(grid.view.RowList.Count(), 2);
        QVERIFY(grid.rowOf("off.txt") >= 0);
        QVERIFY(grid.rowOf("on.txt") >= 0);

        HideEqual = false;
        grid.view.FillFor(&run.lists, "/mix");
        QCOMPARE(grid.view.RowList.Count(), 3);
    }

    void drawsHeadingsAndColouredText()
    {
        PreviewRun run;
        run.host("/copy.txt", 1536, opHostToMirror);
        run.mirror("/copy.txt", 1048576, opNone);
        run.count();
        Grid grid(run);
        const QAbstractItemModel* model = grid.view.model();
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Filename"));
        QCOMPARE(model->headerData(5, Qt::Horizontal).toString(), QStringLiteral("Size(Mirror)"));
        QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("1.5K"));
        QCOMPARE(model->index(0, 5).data().toString(), QStringLiteral("1.0M"));
        QCOMPARE(grid.view.columnWidth(0), 177);
        QCOMPARE(grid.view.rowHeight(0), 16);

        // Unselected, a host-to-mirror row is written in blue with the check glyph at its left.
        grid.view.clearSelection();
        const QImage image = grid.view.viewport()->grab().toImage();
        const QRect nameCell = grid.view.visualRect(model->index(0, 0));
        bool blue = false;
        for (int x = nameCell.left() + 18; x < nameCell.right(); ++x)
            for (int y = nameCell.top(); y <= nameCell.bottom(); ++y)
                blue = blue || image.pixelColor(x, y) == QColor(0, 0, 255);
        QVERIFY(blue);
        const QImage check = GlyphPixmap(Glyph::CHECK4).toImage();
        QCOMPARE(image.pixelColor(nameCell.left() + 1 + 7, nameCell.top() + 7).rgb(), check.pixelColor(7, 7).rgb());
    }
};

QTEST_MAIN(PreviewGridTest)
#include "PreviewGrid_test.moc"
