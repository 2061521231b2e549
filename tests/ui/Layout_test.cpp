// The windows in both languages: every caption fits its control, so no text is cut off.
// With PELMORA_SCREENSHOT_DIR set (and a real X display, e.g. under xvfb-run) the test also
// photographs the main window, the advanced options and the add-folder dialog there.
#include <QAbstractButton>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QtTest>

#include "lang/Messages.h"
#include "tests/ui/UiTestHelpers.h"
#include "ui/AboutForm.h"
#include "ui/AdvForm.h"
#include "ui/DirForm.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

void writeSampleTasks(const QTemporaryDir& dir)
{
    WriteConfig(dir, {"Documents", "Photos"}, [](std::size_t i, TSyncTask& task) {
        WriteTextField(task.MainDir, i == 0 ? "/home/anna/Documents" : "/home/anna/Pictures");
        WriteTextField(task.MirrorDir, i == 0 ? "/media/backup/Documents" : "/media/backup/Pictures");
        WriteTextField(task.Desc, i == 0 ? "Documents to the backup disk" : "Photos, both ways");
        WriteTextField(task.ExcludeList, "/Cache\r\n/Projects/Old\r\n");
        task.IntoSub = kFlagTrue;
        task.InMain = acHostToMirror;
        task.InMirror = acDelete;
        task.NewInMain = acHostToMirror;
        task.NewInMirror = i == 0 ? acIgnore : acMirrorToHost;
        task.IgnoreOn = kFlagTrue;
        WriteCountedField(task.IgnoreList, "*.tmp\r\n*.bak\r\n*.~*\r\n");
        WriteCountedField(task.NetName, "anna");
    });
}

// Texts that do not fit their control, as "window/control".
QStringList cutTexts(QWidget* window)
{
    QStringList cut;
    const QString prefix = window->objectName() + QLatin1Char('/');
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->isVisibleTo(window) && !label->text().isEmpty() && label->width() < label->minimumSizeHint().width())
            cut << prefix + label->objectName();
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->isVisibleTo(window) && !button->text().isEmpty() && button->width() < button->sizeHint().width())
            cut << prefix + button->objectName();
    }
    for (QGroupBox* box : window->findChildren<QGroupBox*>()) {
        if (box->width() < box->fontMetrics().horizontalAdvance(box->title()) + 16)
            cut << prefix + box->objectName();
    }
    return cut;
}

// Takes the screen with ImageMagick and keeps the part where `window` is.
void photograph(QWidget* window, const QString& file)
{
    const QString folder = qEnvironmentVariable("PELMORA_SCREENSHOT_DIR");
    if (folder.isEmpty())
        return;
    QTest::qWait(300);
    const QRect area = window->frameGeometry();
    const QString crop = QStringLiteral("%1x%2+%3+%4").arg(area.width()).arg(area.height()).arg(area.x()).arg(area.y());
    const int status =
        QProcess::execute(QStringLiteral("import"), {"-window", "root", "-crop", crop, folder + "/" + file});
    if (status != 0)
        qWarning("import failed for %s", qPrintable(file));
}

} // namespace

class LayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void textsFit_data();
    void textsFit();
};

void LayoutTest::textsFit_data()
{
    QTest::addColumn<int>("langId");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("English") << int(kLangEnglishUS) << "en";
    QTest::newRow("Chinese") << int(kLangChineseTaiwan) << "zh";
}

void LayoutTest::textsFit()
{
    QFETCH(int, langId);
    QFETCH(QString, suffix);
    SelectLanguage(static_cast<std::uint16_t>(langId));

    QTemporaryDir dir;
    writeSampleTasks(dir);
    {
        Program program(dir);
        TcltForm& main = program.main();
        main.move(40, 40);
        auto* liTask = program.find<QListWidget>("liTask");
        liTask->item(1)->setCheckState(Qt::Checked);
        liTask->setCurrentRow(0);
        QCOMPARE(main.windowTitle(), QString::fromUtf8(Msg(0)));
        QVERIFY2(cutTexts(&main).isEmpty(), qPrintable(cutTexts(&main).join(QLatin1Char(' '))));
        photograph(&main, QStringLiteral("main-window-%1.png").arg(suffix));

        TadvForm& adv = *program.forms->advForm;
        adv.move(main.x() + 120, main.y() + 90);
        adv.show();
        QCoreApplication::processEvents();
        QVERIFY(adv.width() >= 409 && adv.height() >= 335);
        QVERIFY2(cutTexts(&adv).isEmpty(), qPrintable(cutTexts(&adv).join(QLatin1Char(' '))));
        photograph(&adv, QStringLiteral("advanced-options-%1.png").arg(suffix));
        adv.hide();

        TdirForm& dirForm = *program.forms->dirForm;
        dirForm.findChild<QLineEdit*>(QStringLiteral("edDir"))->setText(QStringLiteral("/home/anna/Documents/Cache"));
        dirForm.move(main.x() + 140, main.y() + 200);
        dirForm.show();
        QCoreApplication::processEvents();
        QVERIFY2(cutTexts(&dirForm).isEmpty(), qPrintable(cutTexts(&dirForm).join(QLatin1Char(' '))));
        photograph(&dirForm, QStringLiteral("add-folder-%1.png").arg(suffix));
        dirForm.hide();

        TAboutForm& about = *program.forms->aboutForm;
        about.show();
        QCoreApplication::processEvents();
        QVERIFY2(cutTexts(&about).isEmpty(), qPrintable(cutTexts(&about).join(QLatin1Char(' '))));
        about.hide();
        program.state().Modified = false;
    }
    SelectLanguage(kLangEnglishUS);
}

QTEST_MAIN(LayoutTest)
#include "Layout_test.moc"
