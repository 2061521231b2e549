#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "core/SyncTask.h"
#include "lang/Messages.h"
#include "platform/widgets/Gauge.h"
#include "platform/widgets/SMemo.h"
#include "sync/SizeText.h"
#include "sync/SyncLog.h"
#include "ui/DialogService.h"
#include "ui/ResForm.h"
#include "ui/SyncForm.h"
#include "ui/TreeVForm.h"

using namespace pelmora;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A window whose input pump can act at a chosen moment of the run, the way a user's click
// arrives between two files.
class ScriptedSyncForm : public TSyncForm
{
public:
    std::function<void(ScriptedSyncForm&)> onInput;
    void ProcessPendingInput() override
    {
        if (onInput)
            onInput(*this);
        TSyncForm::ProcessPendingInput();
    }
};

struct Fixture
{
    QTemporaryDir dir;
    QString host = dir.path() + "/host";
    QString mirror = dir.path() + "/mirror";
    std::unique_ptr<TSyncTask> task = NewSyncTask();
    SyncLog log;
    QueuedDialogService dialogs;
    TTreeVForm preview;
    TresForm results;
    QStringList status;
    bool resultShown = false;

    Fixture()
    {
        QDir().mkpath(host);
        QDir().mkpath(mirror);
        task->InMain = acHostToMirror;
        task->IntoSub = kFlagTrue;
        preview.ApplyTexts();
        results.ApplyTexts();
        results.SetLineSource([this]() -> const std::vector<std::string>& { return log.Lines(); });
        SetDialogService(&dialogs);
    }
    ~Fixture() { SetDialogService(nullptr); }

    RunRequest request()
    {
        RunRequest r;
        r.Task = task.get();
        r.TaskName = "Backup";
        r.HostDir = host.toStdString();
        r.MirrorDir = mirror.toStdString();
        r.ResultShown = &resultShown;
        return r;
    }
    void attach(TSyncForm& form)
    {
        form.AttachWindows(&preview, &results, [this](const QString& line) { status << line; });
    }
    QString logText() const { return QString::fromStdString(log.Text()); }
};

} // namespace

class SyncFormTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { SelectLanguage(kLangEnglishUS); }

    void windowLayout()
    {
        TSyncForm form;
        form.ApplyTexts();
        QCOMPARE(form.windowTitle(), QStringLiteral("Synchronizing"));
        QCOMPARE(form.btnCancel->text(), QStringLiteral("&Cancel"));
        QVERIFY(!form.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!form.windowFlags().testFlag(Qt::WindowSystemMenuHint));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QStringList order;
        for (QObject* child : form.children())
            if (child->isWidgetType())
                order << child->objectName();
        QCOMPARE(order, QStringList({"SyncAnim", "btnCancel", "Label1", "Label2", "Label3", "Label4", "syncMeter",
                                     "totMeter", "Label5"}));
        QCOMPARE(form.syncMeter->size(), QSize(340, 16));
        QCOMPARE(form.totMeter->BackColor(), QColor(128, 128, 0));
    }

    void attendedRunThroughPreviewAndResults()
    {
        Fixture f;
        WriteFile(f.host + "/a.txt", "alpha");
        WriteFile(f.host + "/sub/b.txt", QByteArray(3000, 'b'));
        ScriptedSyncForm form;
        f.attach(form);
        bool animated = false;
        QPoint home;
        bool previewDone = false;
        bool shownAfterPreview = false;
        form.onInput = [&](ScriptedSyncForm& w) {
            animated = animated || w.SyncAnim->Playing();
            if (w.Driver()->State() == rsListHost)
                home = w.pos();
            if (previewDone)
                shownAfterPreview = shownAfterPreview || w.isVisible();
        };

        int previewFiles = -1;
        bool shownDuringPreview = true;
        f.dialogs.pushDialog([&](QDialog& d) {
            auto& preview = static_cast<TTreeVForm&>(d);
            QCoreApplication::processEvents();
            previewFiles = preview.ListV->RowList.Count();
            shownDuringPreview = form.isVisible();
            QTest::mouseClick(preview.btnSync, Qt::LeftButton);
            previewDone = true;
            return 1;
        });
        QString shownResults;
        f.dialogs.pushDialog([&](QDialog& d) {
            shownResults = static_cast<TresForm&>(d).resMemo->toPlainText();
            return 0;
        });
        QVERIFY(form.RunModal(f.request(), f.log));

        QCOMPARE(ReadFile(f.mirror + "/a.txt"), QByteArray("alpha"));
        QCOMPARE(ReadFile(f.mirror + "/sub/b.txt"), QByteArray(3000, 'b'));
        QCOMPARE(previewFiles, 1); // the root folder holds a.txt only
        // The run window is out of sight while the preview is up, not pushed off the screen,
        // and back at its place for the copy.
        QVERIFY(!shownDuringPreview);
        QVERIFY(shownAfterPreview);
        QCOMPARE(form.pos(), home);
        QVERIFY(animated);
        QVERIFY(!form.SyncAnim->Playing());
        QVERIFY(!form.isVisible());
        QCOMPARE(f.dialogs.dialogsRun(), 2);
        QCOMPARE(f.dialogs.unanswered(), 0);
        QVERIFY(f.resultShown);
        QCOMPARE(f.status, QStringList({"Task finish!"}));
        QVERIFY(shownResults.contains(QStringLiteral("Start task: Backup")));
        QVERIFY(shownResults.contains(QStringLiteral("Task finish!")));
        QCOMPARE(form.totMeter->Progress(), 100);
        QCOMPARE(form.Label1->text(), QStringLiteral("Synchronizing..."));
    }

    void nothingToDoAsksNothingButThePrompt()
    {
        Fixture f;
        WriteFile(f.host + "/same.txt", "x");
        WriteFile(f.mirror + "/same.txt", "x");
        {
            QFile copy(f.mirror + "/same.txt");
            QVERIFY(copy.open(QIODevice::ReadWrite));
            QVERIFY(
                copy.setFileTime(QFileInfo(f.host + "/same.txt").lastModified(), QFileDevice::FileModificationTime));
        }
        TSyncForm form;
        f.attach(form);
        form.RunModal(f.request(), f.log);
        QCOMPARE(f.dialogs.dialogsRun(), 0);
        QCOMPARE(f.dialogs.asked().size(), std::size_t(1));
        QCOMPARE(f.dialogs.asked()[0].caption, QStringLiteral("Prompt"));
        QCOMPARE(f.dialogs.asked()[0].text, QStringLiteral("No file need to be synchronized!"));
        QVERIFY(f.logText().endsWith(QStringLiteral("No file need to be synchronized!\r\n") +
                                     QString::fromLatin1(kLogSeparator.data(), kLogSeparator.size()) + "\r\n"));
    }

    void theMassDeletionQuestionDefaultsToNo()
    {
        Fixture f;
        f.task->InMirror = acDelete;
        for (int i = 0; i < 12; ++i)
            WriteFile(f.mirror + QStringLiteral("/m%1.txt").arg(i), "mirror");
        TSyncForm form;
        f.attach(form);
        f.dialogs.pushDialog([](QDialog& d) { // the preview: go on
            QTest::mouseClick(static_cast<TTreeVForm&>(d).btnSync, Qt::LeftButton);
            return 1;
        });
        // The question gets no answer: Escape, which is No, as Enter would be.
        form.RunModal(f.request(), f.log);

        QCOMPARE(f.dialogs.asked().size(), std::size_t(1));
        const DialogRequest& asked = f.dialogs.asked()[0];
        QCOMPARE(asked.text, QStringLiteral("This run would delete 12 of 12 files in the mirror folder. Continue?"));
        QCOMPARE(asked.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(asked.defaultButton, QMessageBox::No);
        QCOMPARE(QDir(f.mirror).entryList(QDir::Files).size(), 12);
        QVERIFY(f.logText().contains(
            QStringLiteral("Task Backup not run: it would delete 12 of 12 files in the mirror folder.")));
        QVERIFY(!f.resultShown);
    }

    void cancelDuringTheHostScanShowsNoResults()
    {
        Fixture f;
        for (int i = 0; i < 20; ++i)
            WriteFile(f.host + QStringLiteral("/d%1/f.txt").arg(i), "data");
        ScriptedSyncForm form;
        f.attach(form);
        f.dialogs.pushAnswer(QMessageBox::Yes);
        bool clicked = false;
        form.onInput = [&](ScriptedSyncForm& w) {
            if (!clicked && w.Driver()->State() == rsListHost) {
                clicked = true;
                QTest::mouseClick(w.btnCancel, Qt::LeftButton);
            }
        };
        form.RunModal(f.request(), f.log);
        QVERIFY(clicked);
        QCOMPARE(f.dialogs.asked().size(), std::size_t(1));
        QCOMPARE(f.dialogs.asked()[0].caption, QStringLiteral("Warning"));
        QCOMPARE(f.dialogs.asked()[0].text, QStringLiteral("Task is running, stop it or not?"));
        QCOMPARE(f.dialogs.dialogsRun(), 0); // neither preview nor results
        QCOMPARE(f.status, QStringList({"User break the task!"}));
        QVERIFY(QDir(f.mirror).isEmpty());
        QVERIFY(!f.resultShown);
    }

    void closingIsRefusedWhileCopyingAndCancelShowsResults()
    {
        Fixture f;
        for (int i = 0; i < 10; ++i)
            WriteFile(f.host + QStringLiteral("/f%1.txt").arg(i), "data");
        ScriptedSyncForm form;
        f.attach(form);
        f.dialogs.pushDialog([](QDialog& d) {
            QCoreApplication::processEvents();
            QTest::mouseClick(static_cast<TTreeVForm&>(d).btnSync, Qt::LeftButton);
            return 1;
        });
        f.dialogs.pushAnswer(QMessageBox::No);  // first question: go on
        f.dialogs.pushAnswer(QMessageBox::Yes); // second: stop
        f.dialogs.pushDialog([](QDialog&) { return 0; });
        int copyingSteps = 0;
        bool stillVisibleAfterClose = false;
        form.onInput = [&](ScriptedSyncForm& w) {
            if (w.Driver()->State() != rsExecHost)
                return;
            ++copyingSteps;
            if (copyingSteps == 1) {
                w.close();
                stillVisibleAfterClose = w.isVisible();
                QTest::mouseClick(w.btnCancel, Qt::LeftButton);
            } else if (copyingSteps == 3) {
                // Escape asks the same question instead of dropping the window.
                QTest::keyClick(&w, Qt::Key_Escape);
            }
        };
        form.RunModal(f.request(), f.log);
        QVERIFY(stillVisibleAfterClose);
        QCOMPARE(f.dialogs.asked().size(), std::size_t(2));
        QCOMPARE(f.status, QStringList({"User break the task!"}));
        QCOMPARE(f.dialogs.dialogsRun(), 2); // preview and results
        QVERIFY(f.resultShown);
        const int copied = static_cast<int>(QDir(f.mirror).entryList(QDir::Files).size());
        QVERIFY(copied >= 1 && copied < 10);
        QCOMPARE(static_cast<int>(form.Driver()->Result().CopiedToMirrorCount), copied);
    }

    // A run through copy lanes in the real window: the Cancel button's question, answered Yes
    // while the lanes copy, stops them all; what is counted as copied is really there, whole.
    void cancelDuringALaneRunStopsEveryLane()
    {
        Fixture f;
        f.task->Speed = 0; // a speed limit keeps a run on one thread
        const QByteArray block(64 * 1024, 'p');
        for (int i = 0; i < 300; ++i)
            WriteFile(f.host + QStringLiteral("/d%1/f%2.bin").arg(i % 7).arg(i), block + QByteArray::number(i));
        ScriptedSyncForm form;
        form.SetCopyLanes(3, PELMORA_LANE_PROGRAM);
        f.attach(form);
        f.dialogs.pushDialog([](QDialog& d) {
            QCoreApplication::processEvents();
            QTest::mouseClick(static_cast<TTreeVForm&>(d).btnSync, Qt::LeftButton);
            return 1;
        });
        f.dialogs.pushAnswer(QMessageBox::Yes);
        f.dialogs.pushDialog([](QDialog&) { return 0; });
        int copyingSteps = 0;
        form.onInput = [&](ScriptedSyncForm& w) {
            if (w.Driver()->State() == rsExecHost && ++copyingSteps == 40)
                QTest::mouseClick(w.btnCancel, Qt::LeftButton);
        };
        form.RunModal(f.request(), f.log);
        QCOMPARE(form.Driver()->LanesUsed(), 3);
        QCOMPARE(f.status, QStringList({"User break the task!"}));
        QVERIFY(f.resultShown);
        int copied = 0;
        for (int i = 0; i < 300; ++i) {
            const QString target = f.mirror + QStringLiteral("/d%1/f%2.bin").arg(i % 7).arg(i);
            if (QFile::exists(target)) {
                ++copied;
                QCOMPARE(ReadFile(target), block + QByteArray::number(i));
            }
        }
        QVERIFY(copied >= 1 && copied < 300);
        QCOMPARE(static_cast<int>(form.Driver()->Result().CopiedToMirrorCount), copied);
        for (int d = 0; d < 7; ++d) {
            const QStringList left = QDir(f.mirror + QStringLiteral("/d%1").arg(d))
                                         .entryList({".pelmora-partial-*"}, QDir::Files | QDir::Hidden);
            QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));
        }
    }

    // The run window comes up in the middle of the screen, not over its parent, which may be
    // far off (or hidden in the notification area).
    void runWindowIsCentredWhileTheMainWindowIsAway()
    {
        Fixture f;
        WriteFile(f.host + "/a.txt", "a");
        QWidget main;
        main.resize(700, 500);
        main.show();
        main.move(-10000, 100);
        ScriptedSyncForm form;
        form.setParent(&main, form.windowFlags());
        f.attach(form);
        QRect shown;
        form.onInput = [&shown](ScriptedSyncForm& w) {
            if (w.isVisible())
                shown = w.geometry();
        };
        RunRequest request = f.request();
        request.AutoRun = true;
        QVERIFY(form.RunModal(request, f.log));
        QCOMPARE(ReadFile(f.mirror + "/a.txt"), QByteArray("a"));
        const QRect screen = form.screen()->availableGeometry();
        QVERIFY(!shown.isEmpty());
        QVERIFY2(screen.contains(shown), qPrintable(QStringLiteral("shown at %1,%2").arg(shown.x()).arg(shown.y())));
        QVERIFY(qAbs(shown.center().x() - screen.center().x()) <= 1);
    }

    void invalidMaskRefusesTheRun()
    {
        Fixture f;
        WriteFile(f.host + "/a.txt", "a");
        TSyncForm form;
        f.attach(form);
        RunRequest request = f.request();
        request.IgnoreMasks = {"[abc"};
        QVERIFY(!form.RunModal(request, f.log));
        QVERIFY(!form.isVisible());
        QCOMPARE(f.dialogs.asked().size(), std::size_t(1));
        QCOMPARE(f.dialogs.asked()[0].caption, QStringLiteral("Error"));
        QCOMPARE(f.dialogs.asked()[0].icon, QMessageBox::Critical);
        QVERIFY(f.dialogs.asked()[0].text.contains(QStringLiteral("is an invalid mask at")));
        QVERIFY(!QFile::exists(f.mirror + "/a.txt"));
    }

    // Names on disk may hold line breaks and terminal escapes: every window of the run shows
    // them escaped, one name on one line, while the copy keeps the real name.
    void craftedNamesAreShownEscapedAndCopiedUnderTheirRealNames()
    {
        Fixture f;
        const QString folder = QStringLiteral("in") + QChar(0x1b) + QStringLiteral("[31m");
        const QString name = QStringLiteral("x\r\nTask finish!") + QChar(0x85) + QStringLiteral("\\");
        const QString shownFolder = QStringLiteral("in\\x1b[31m");
        const QString shownName = QStringLiteral("x\\r\\nTask finish!\\u0085\\\\");
        WriteFile(f.host + "/" + folder + "/" + name, "crafted");
        TSyncForm form;
        f.attach(form);
        QString treeText, gridText;
        f.dialogs.pushDialog([&](QDialog& d) {
            auto& preview = static_cast<TTreeVForm&>(d);
            QCoreApplication::processEvents();
            const TNodeRec* node = preview.FindPath("/" + folder.toStdString());
            if (node != nullptr) {
                treeText = node->Node->text(0);
                preview.TreeV->setCurrentItem(node->Node);
                if (QTest::qWaitFor([&] { return preview.ListV->RowList.Count() == 1; }))
                    gridText = preview.ListV->model()->index(0, 0).data().toString();
            }
            QTest::mouseClick(preview.btnSync, Qt::LeftButton);
            return 1;
        });
        f.dialogs.pushDialog([](QDialog&) { return 0; });

        QVERIFY(form.RunModal(f.request(), f.log));

        QCOMPARE(ReadFile(f.mirror + "/" + folder + "/" + name), QByteArray("crafted"));
        QCOMPARE(treeText, shownFolder);
        QCOMPARE(gridText, shownName);
        // The last file worked on stays in the file line when the run ends.
        QCOMPARE(form.Label2->toolTip(), f.host + "/" + shownFolder + "/" + shownName);
        QCOMPARE(f.status, QStringList({"Task finish!"}));
    }

    // Hundreds of files in a fraction of a second: the window shows what the run reports
    // without painting for every file, and still ends with the run's last values exactly.
    void theLastValuesAreShownAndPaintingIsCoalesced()
    {
        Fixture f;
        constexpr int kFiles = 300;
        std::int64_t bytes = 0;
        for (int i = 0; i < kFiles; ++i) {
            WriteFile(f.host + QStringLiteral("/d%1/f%2.txt").arg(i % 5).arg(i), QByteArray(i * 37, 'x'));
            bytes += i * 37;
        }
        ScriptedSyncForm form;
        f.attach(form);
        // What the file line and the file gauge show, looked at every time the run reports.
        int lineChanges = 0;
        int gaugeChanges = 0;
        QString line;
        int gauge = -1;
        form.onInput = [&](ScriptedSyncForm& w) {
            lineChanges += w.Label2->text() != line;
            line = w.Label2->text();
            gaugeChanges += w.syncMeter->Progress() != gauge;
            gauge = w.syncMeter->Progress();
        };
        RunRequest request = f.request();
        request.AutoRun = true;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(form.RunModal(request, f.log));
        const qint64 elapsed = clock.elapsed();

        QCOMPARE(static_cast<int>(form.Driver()->Result().CopiedToMirrorCount), kFiles);
        QCOMPARE(form.Label1->text(), QStringLiteral("Synchronizing..."));
        QCOMPARE(form.Label3->text(), QStringLiteral("Performing: Host -> Mirror"));
        QCOMPARE(form.Label4->text(),
                 QStringLiteral("Total: %1 bytes finish, 0 bytes remain").arg(QString::fromStdString(SizeText(bytes))));
        const QString progress = form.Label5->text();
        QVERIFY2(progress == QStringLiteral("File 300 of 300") || progress.endsWith(", 0 s left, file 300 of 300"),
                 qPrintable(progress));
        // Every line shows the last text the run set on it, the file line a file of the host.
        const QLabel* lines[] = {form.Label1, form.Label2, form.Label3, form.Label4, form.Label5};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(lines[i]->toolTip(), QString::fromStdString(form.LabelValue(static_cast<RunLabel>(i))));
        QVERIFY(form.Label2->toolTip().startsWith(f.host + "/d"));
        QCOMPARE(form.syncMeter->Progress(), 100);
        QCOMPARE(form.totMeter->Progress(), 100);
        // The run set the file line and took the file gauge from 0 to 100 for every file;
        // shown at once, both would have changed hundreds of times. A slower machine only
        // allows more changes.
        const qint64 allowed = elapsed / 50 + 3;
        QVERIFY2(lineChanges <= allowed && gaugeChanges <= allowed,
                 qPrintable(QStringLiteral("%1 line and %2 gauge changes in %3 ms")
                                .arg(lineChanges)
                                .arg(gaugeChanges)
                                .arg(elapsed)));
    }

    // The window handles its input far less often than the run reports, yet a click that
    // arrives through the event queue (as a user's does) is taken within moments.
    void aQueuedCancelIsTakenWithinMoments()
    {
        Fixture f;
        for (int i = 0; i < 2000; ++i)
            WriteFile(f.host + QStringLiteral("/d%1/f%2.txt").arg(i % 20).arg(i), QByteArray(100, 'c'));
        ScriptedSyncForm form;
        f.attach(form);
        f.dialogs.pushAnswer(QMessageBox::Yes);
        RunRequest request = f.request();
        request.AutoRun = true;
        int copyingSteps = 0;
        QElapsedTimer sinceClick;
        qint64 takenAfter = -1;
        form.onInput = [&](ScriptedSyncForm& w) {
            if (w.Driver()->State() == rsExecHost && ++copyingSteps == 100) {
                QMetaObject::invokeMethod(w.btnCancel, &QPushButton::click, Qt::QueuedConnection);
                sinceClick.start();
            }
        };
        // Connected after the window's own handler, so it runs once the cancel is taken.
        connect(form.btnCancel, &QPushButton::clicked, this, [&] {
            if (form.Driver()->State() == rsCancelled && takenAfter < 0)
                takenAfter = sinceClick.elapsed();
        });
        form.RunModal(request, f.log);
        QCOMPARE(f.status, QStringList({"User break the task!"}));
        QVERIFY(takenAfter >= 0);
        QVERIFY2(takenAfter < 1000, qPrintable(QStringLiteral("the cancel took %1 ms").arg(takenAfter)));
        const int copied = static_cast<int>(form.Driver()->Result().CopiedToMirrorCount);
        QVERIFY(copied >= 1 && copied < 2000);
    }

    void anInvalidMaskIsQuotedEscaped()
    {
        Fixture f;
        WriteFile(f.host + "/a.txt", "a");
        TSyncForm form;
        f.attach(form);
        RunRequest request = f.request();
        request.IgnoreMasks = {"\x1b[0;title\a"}; // an unclosed set
        QVERIFY(!form.RunModal(request, f.log));
        QCOMPARE(f.dialogs.asked().size(), std::size_t(1));
        const QString text = f.dialogs.asked()[0].text;
        QVERIFY2(text.startsWith(QStringLiteral("'\\x1b[0;title\\x07' is an invalid mask at")), qPrintable(text));
        QVERIFY(f.logText().contains(QStringLiteral("'\\x1b[0;title\\x07' is an invalid mask at")));
    }
};

QTEST_MAIN(SyncFormTest)
#include "SyncForm_test.moc"
