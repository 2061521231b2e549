// A failure that escapes an event handler reaches the user as a box through the dialog
// service instead of ending the program.
#include <QtTest>

#include <stdexcept>

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
};

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
