#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "lang/Messages.h"
#include "tests/ui/PreviewFixture.h"
#include "ui/DialogService.h"
#include "ui/TreeVForm.h"

using namespace pelmora;
using namespace pelmora::testing;

namespace {

TPreviewInput InputFor(PreviewRun& run, TAction emptyDir = acIgnore)
{
    TPreviewInput input;
    input.Lists = &run.lists;
    input.Plan = &run.plan;
    input.HostDir = "/data/work";
    input.MirrorDir = "/backup/work";
    input.EmptyDir = emptyDir;
    return input;
}

// Shows the preview as the run does and lets `script` look at it once the tree is built.
int ShowPreview(TTreeVForm& form, const TPreviewInput& input, std::function<void(TTreeVForm&)> script)
{
    QueuedDialogService dialogs;
    SetDialogService(&dialogs);
    dialogs.pushDialog([&](QDialog&) {
        QCoreApplication::processEvents();
        script(form);
        return 0;
    });
    const int result = form.ShowModalFor(input);
    SetDialogService(nullptr);
    return result;
}

QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& text)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

} // namespace

class TreeVTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        SelectLanguage(kLangEnglishUS);
        HideEqual = false;
    }

    void rootsOnlyRunShowsOneNodeWithoutButton()
    {
        PreviewRun run;
        run.host("/a.txt", 10, opHostToMirror);
        run.mirror("/b.txt", 20, opMirrorToHost);
        run.count();
        TTreeVForm form;
        form.ApplyTexts();
        ShowPreview(form, InputFor(run), [](TTreeVForm& f) {
            QCOMPARE(f.TreeV->topLevelItemCount(), 1);
            QTreeWidgetItem* root = f.TreeV->topLevelItem(0);
            QCOMPARE(root->text(0), QStringLiteral("/data/work <=> /backup/work"));
            QCOMPARE(root->childCount(), 0);
            QCOMPARE(TreeButtonGlyph(root->childCount() > 0, root->isExpanded()), Glyph::CLEAR4);
            QCOMPARE(f.NodeList().size(), std::size_t(1));
            // The root record ends with no side flags; it holds copies both ways.
            QCOMPARE(f.NodeList()[0]->Flags, std::uint8_t(nfToMirror | nfToHost));
            QCOMPARE(f.TreeV->currentItem(), root);
            // The grid lists the files of both roots.
            QCOMPARE(f.ListV->RowList.Count(), 2);
        });
        // Closing empties the tree and the grid.
        QCOMPARE(form.TreeV->topLevelItemCount(), 0);
        QVERIFY(form.ListV->RowList.Empty());
    }

    void flagsIconsAndExpansion()
    {
        PreviewRun run;
        // Scanner order: a folder after its sub-folders.
        run.lists.HostFolders.Add("/docs/2026/q1", 100);
        run.lists.HostFolders.Add("/docs/2026", 100);
        run.lists.HostFolders.Add("/docs", 100);
        run.lists.HostFolders.Add("/empty", 0);
        run.lists.HostFolders.Add("/quiet/inner", 10);
        run.lists.HostFolders.Add("/quiet", 10);
        run.lists.MirrorFolders.Add("/docs/2026", 100);
        run.lists.MirrorFolders.Add("/docs", 100);
        run.lists.MirrorFolders.Add("/empty", 5);
        run.lists.MirrorFolders.Add("/Old", 5);
        run.lists.MirrorFolders.Add("/quiet/inner", 10);
        run.lists.MirrorFolders.Add("/quiet", 10);
        run.host("/docs/2026/q1/plan.txt", 2 * 1024 * 1024, opHostToMirror);
        run.host("/docs/2026/q1/budget.txt", 2 * 1024 * 1024, opHostToMirror);
        run.mirror("/Old/notes.txt", 1024 * 1024, opMirrorToHost);
        run.host("/quiet/inner/same.txt", 10, opNone);
        run.mirror("/quiet/inner/same.txt", 10, opNone);
        run.count();

        TTreeVForm form;
        form.ApplyTexts();
        ShowPreview(form, InputFor(run), [](TTreeVForm& f) {
            const TNodeRec* old = f.FindPath("/old"); // found without regard to case
            QVERIFY(old);
            QCOMPARE(old->Flags, std::uint8_t(nfMirrorOnly | nfToHost));
            QCOMPARE(HostSideIcon(old->Flags, false), Glyph::TFOLDERNO);
            QCOMPARE(MirrorSideIcon(old->Flags, false), Glyph::TFOLDER2LEFT);

            const TNodeRec* empty = f.FindPath("/empty");
            QCOMPARE(empty->Flags, nfHostEmpty);
            QCOMPARE(HostSideIcon(empty->Flags, false), Glyph::TFOLDERE);
            QCOMPARE(MirrorSideIcon(empty->Flags, true), Glyph::TFOLDERO);

            const TNodeRec* q1 = f.FindPath("/docs/2026/q1");
            QCOMPARE(q1->Flags, std::uint8_t(nfHostOnly | nfToMirror));
            QCOMPARE(HostSideIcon(q1->Flags, false), Glyph::TFOLDER2RIGHT);
            QCOMPARE(HostSideIcon(q1->Flags, true), Glyph::TFOLDERO);
            QCOMPARE(MirrorSideIcon(q1->Flags, false), Glyph::TFOLDERNO);

            // Ancestors of folders with planned work are open; the rest stay closed.
            QVERIFY(f.FindPath("/")->Node->isExpanded());
            QVERIFY(f.FindPath("/docs")->Node->isExpanded());
            QVERIFY(f.FindPath("/docs/2026")->Node->isExpanded());
            QVERIFY(!f.FindPath("/quiet")->Node->isExpanded());

            // Children sorted by name without regard to case.
            QTreeWidgetItem* root = f.TreeV->topLevelItem(0);
            QStringList names;
            for (int i = 0; i < root->childCount(); ++i)
                names << root->child(i)->text(0);
            QCOMPARE(names, QStringList({"docs", "empty", "Old", "quiet"}));
            QVERIFY(Child(Child(root, "docs"), "2026"));

            QCOMPARE(f.StatusText(0), QStringLiteral("Transmit File: 3(5.0M bytes)"));
            QCOMPARE(f.StatusText(1), QStringLiteral("Del Host File: 0"));
            QCOMPARE(f.StatusText(3), QStringLiteral("Sync Empty Folder: 0"));

            // Selecting a folder fills the grid with its own files after the short delay.
            f.TreeV->setCurrentItem(f.FindPath("/docs/2026/q1")->Node);
            QTRY_COMPARE(f.ListV->RowList.Count(), 2);
            QCOMPARE(f.ListV->RowList[0].FileName(), std::string_view("budget.txt"));
        });
    }

    void emptyFoldersAreNoteworthyByTheTaskRule()
    {
        QVERIFY(!IsNoteworthy(nfHostEmpty, acIgnore));
        QVERIFY(IsNoteworthy(nfHostEmpty, acDelete));
        QVERIFY(!IsNoteworthy(nfHostEmpty, acHostToMirror));
        QVERIFY(IsNoteworthy(nfHostEmpty | nfHostOnly, acHostToMirror));
        QVERIFY(!IsNoteworthy(nfHostOnly, acDelete));
    }

    void drawsTheNodeIcons()
    {
        PreviewRun run;
        run.lists.HostFolders.Add("/send", 10);
        run.host("/send/file.txt", 10, opHostToMirror);
        run.count();
        TTreeVForm form;
        form.ApplyTexts();
        ShowPreview(form, InputFor(run), [](TTreeVForm& f) {
            QTreeWidgetItem* node = f.FindPath("/send")->Node;
            const QImage image = f.TreeV->viewport()->grab().toImage();
            const QRect row = f.TreeV->visualItemRect(node);
            const int left = TPreviewTree::LabelLeft(1);
            // The host side shows the folder with the arrow, the mirror side the dotted outline.
            const QImage arrow = GlyphPixmap(Glyph::TFOLDER2RIGHT).toImage();
            const QImage missing = GlyphPixmap(Glyph::TFOLDERNO).toImage();
            int same = 0;
            int opaque = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    if (arrow.pixelColor(x, y).alpha() == 255) {
                        ++opaque;
                        same += image.pixelColor(left - 42 + x, row.top() + y).rgb() == arrow.pixelColor(x, y).rgb();
                    }
                }
            QVERIFY(opaque > 50);
            QCOMPARE(same, opaque);
            const QPoint dot(left - 19 + 2, row.top() + 2);
            QCOMPARE(image.pixelColor(dot).rgb(), missing.pixelColor(2, 2).rgb());
            // The root's expand button shows a minus: it is open.
            const QRect rootRow = f.TreeV->visualItemRect(f.FindPath("/")->Node);
            const int m = (rootRow.top() + rootRow.bottom()) / 2;
            const QImage minus = GlyphPixmap(Glyph::LBTNB4).toImage();
            QCOMPARE(image.pixelColor(TPreviewTree::LabelLeft(0) - 69 + 4, m - 4 + 4).rgb(),
                     minus.pixelColor(4, 4).rgb());
            QCOMPARE(image.pixelColor(TPreviewTree::LabelLeft(0) - 69 + 4, m - 4 + 2).rgb(),
                     minus.pixelColor(4, 2).rgb());

            // A click on that button folds the roots; a second one opens them again.
            QTreeWidgetItem* root = f.FindPath("/")->Node;
            const QPoint button(TPreviewTree::LabelLeft(0) - 69 + 4, m);
            QTest::mouseClick(f.TreeV->viewport(), Qt::LeftButton, {}, button);
            QVERIFY(!root->isExpanded());
            QTest::mouseClick(f.TreeV->viewport(), Qt::LeftButton, {}, button);
            QVERIFY(root->isExpanded());
        });
    }

    void resultsOfTheButtonsAndTheTitleBar()
    {
        PreviewRun run;
        run.host("/a.txt", 10, opHostToMirror);
        run.count();
        TTreeVForm form;
        form.ApplyTexts();
        QCOMPARE(form.windowTitle(), QStringLiteral("Sync Management"));
        QCOMPARE(form.minimumSize(), QSize(230, 120));
        QCOMPARE(
            ShowPreview(form, InputFor(run), [](TTreeVForm& f) { QTest::mouseClick(f.btnCancel, Qt::LeftButton); }),
            -1);
        QCOMPARE(ShowPreview(form, InputFor(run), [](TTreeVForm& f) { QTest::mouseClick(f.btnSync, Qt::LeftButton); }),
                 1);
        QCOMPARE(ShowPreview(form, InputFor(run), [](TTreeVForm& f) { f.close(); }), 0);

        // Closed before its build ran: the build still queued must not fill the tree later,
        // when the run's lists may be gone.
        QueuedDialogService dialogs;
        SetDialogService(&dialogs);
        dialogs.pushDialog([](QDialog& d) {
            d.close();
            return 0;
        });
        QCOMPARE(form.ShowModalFor(InputFor(run)), 0);
        SetDialogService(nullptr);
        QCoreApplication::processEvents();
        QVERIFY(form.NodeList().empty());
        QCOMPARE(form.TreeV->topLevelItemCount(), 0);
    }

    void aButtonDuringTheBuildStopsIt()
    {
        PreviewRun run;
        for (int i = 0; i < 500; ++i)
            run.lists.MirrorFolders.Add("/m" + std::to_string(i), 1);
        for (int i = 0; i < 500; ++i)
            run.lists.HostFolders.Add("/h" + std::to_string(i), 1);
        run.host("/h1/x", 1, opHostToMirror);
        run.count();
        TTreeVForm form;
        TPreviewInput input = InputFor(run);
        form.Prepare(input);
        // The click waits in the event queue until the build lets input through.
        QMetaObject::invokeMethod(form.btnCancel, &QPushButton::click, Qt::QueuedConnection);
        form.OnAddTreeNodes();
        QCOMPARE(form.Tag(), -1);
        QVERIFY(form.NodeList().size() < 1001);
        QVERIFY(form.StatusText(0).startsWith(QStringLiteral("Create folder tree... ")));

        // Without a press the whole tree is built.
        form.Prepare(input);
        form.OnAddTreeNodes();
        QCOMPARE(form.NodeList().size(), std::size_t(1001));
        QCOMPARE(form.TreeV->topLevelItem(0)->childCount(), 1000);
        form.FormClose();
    }

    // At its opening size the grid shows all six columns, the size of the mirror file
    // included, in either language's font.
    void everyGridColumnIsInViewAtTheStart()
    {
        for (std::uint16_t lang : {kLangEnglishUS, kLangChineseTaiwan}) {
            SelectLanguage(lang);
            PreviewRun run;
            run.host("/a.txt", 10, opHostToMirror);
            run.mirror("/a.txt", 123456789, opNone);
            run.count();
            TTreeVForm form;
            form.ApplyTexts();
            ShowPreview(form, InputFor(run), [lang](TTreeVForm& f) {
                int used = 0;
                for (int c = 0; c < 6; ++c)
                    used += f.ListV->columnWidth(c);
                QVERIFY2(used <= f.ListV->viewport()->width(),
                         qPrintable(QStringLiteral("language %1: columns %2 px, grid %3 px")
                                        .arg(lang, 0, 16)
                                        .arg(used)
                                        .arg(f.ListV->viewport()->width())));
                QCOMPARE(f.ListV->columnWidth(3), 21);
            });
        }
        SelectLanguage(kLangEnglishUS);
    }
};

QTEST_MAIN(TreeVTest)
#include "TreeV_test.moc"
