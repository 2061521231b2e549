// The About window: its texts, a click closes it, the addresses open in the desktop's
// mail program and browser.
#include <QDesktopServices>
#include <QLabel>
#include <QToolButton>
#include <QUrl>
#include <QtTest>

#include "tests/ui/UiTestHelpers.h"
#include "ui/AboutForm.h"

using namespace pelmora;
using namespace pelmora::test;

// Receives the addresses the window asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

class AboutFormTest : public QObject
{
    Q_OBJECT

private slots:
    void showsTextsAndOpensAddresses();
};

void AboutFormTest::showsTextsAndOpensAddresses()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");

    QTemporaryDir dir;
    Program program(dir);
    bool closedByLabelClick = true;
    bool closedByClick = false;
    QString title, name, version;
    program.dialogs.pushDialog([&](QDialog& about) {
        title = about.windowTitle();
        name = about.findChild<QLabel*>(QStringLiteral("Label1"))->text();
        version = about.findChild<QLabel*>(QStringLiteral("Label2"))->text();
        QTest::mouseClick(about.findChild<QLabel*>(QStringLiteral("Label4")), Qt::LeftButton);
        QTest::mouseClick(about.findChild<QLabel*>(QStringLiteral("Label6")), Qt::LeftButton);
        closedByLabelClick = !about.isVisible();
        QTest::mouseClick(&about, Qt::LeftButton, {}, QPoint(5, 5));
        closedByClick = !about.isVisible();
        return about.result();
    });
    QTest::mouseClick(program.find<QToolButton>("AboutBtn"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

    QCOMPARE(program.dialogs.dialogsRun(), 1);
    QCOMPARE(title, QStringLiteral("About"));
    QCOMPARE(name, QStringLiteral("Pelmora"));
    QVERIFY(version.contains(QString::fromLatin1(kPelmoraVersion)));
    QCOMPARE(catcher.opened,
             QList<QUrl>({QUrl(QStringLiteral("mailto:pelmora@example.com")), QUrl(QString::fromLatin1(kWebAddress))}));
    QVERIFY(!closedByLabelClick);
    QVERIFY(closedByClick);
}

QTEST_MAIN(AboutFormTest)
#include "AboutForm_test.moc"
