// A failure that escapes an event handler reaches the user as a box through the dialog
// service instead of ending the program.
#include <QtTest>

#include <stdexcept>

#include <QAbstractButton>
#include <QMessageBox>

#include "lang/Messages.h"
#include "ui/DialogService.h"

using namespace pelmora;

namespace {

// Throws from its event handler, as a failing slot or handler would.
class Failing : public QObject
{
public:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::User)
            throw std::runtime_error("cannot write /mnt/full/Pelmora.cfg: No space left on device");
        return QObject::event(event);
    }
};

} // namespace

class DialogServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void uncaughtFailureIsShown();
    void chineseBoxesAnswerInChinese();
};

// Under the Chinese table the standard buttons of a box read Chinese too; English keeps
// Qt's own texts.
void DialogServiceTest::chineseBoxesAnswerInChinese()
{
    SelectLanguage(kLangEnglishUS);
    QVERIFY(!InstallToolkitTranslation(*qApp));
    {
        QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Yes"));
    }
    SelectLanguage(kLangChineseTaiwan);
    QVERIFY(InstallToolkitTranslation(*qApp));
    QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
    QVERIFY2(box.button(QMessageBox::Yes)->text().startsWith(QString::fromUtf8("\xe6\x98\xaf")),
             qPrintable(box.button(QMessageBox::Yes)->text()));
    QVERIFY(box.button(QMessageBox::No)->text().startsWith(QString::fromUtf8("\xe5\x90\xa6")));
    SelectLanguage(kLangEnglishUS);
}

void DialogServiceTest::uncaughtFailureIsShown()
{
    QueuedDialogService dialogs;
    SetDialogService(&dialogs);
    Failing failing;
    QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    SetDialogService(nullptr);
    QCOMPARE(dialogs.asked().size(), std::size_t{1});
    QCOMPARE(dialogs.asked()[0].caption, QStringLiteral("Pelmora"));
    QCOMPARE(dialogs.asked()[0].text, QStringLiteral("cannot write /mnt/full/Pelmora.cfg: No space left on device"));
    QCOMPARE(dialogs.asked()[0].icon, QMessageBox::Critical);
}

int main(int argc, char* argv[])
{
    TApplication app(argc, argv);
    DialogServiceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DialogService_test.moc"
