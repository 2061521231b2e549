// Program entry: the application object, the language, the eight windows in their fixed
// order, their texts, then the event loop. The program ends when the main window closes.
#include <QStringList>

#include "app/InfoSwitches.h"
#include <memory>
#include <optional>

#include "core/ProgramFiles.h"
#include "lang/Messages.h"
#include "platform/widgets/DragController.h"
#include "platform/widgets/SingleInstance.h"
#include "ui/DialogService.h"
#include "ui/MainWindow.h"
#include "ui/QuitSignals.h"
#include "ui/ToolIcons.h"
#include "ui/TrayHost.h"

int main(int argc, char* argv[])
{
    // --help and --version answer before anything else: no display, no file touched.
    if (pelmora::AnswerInfoSwitch(argc, argv))
        return 0;

    // The arguments as given, before Qt takes its own options out of argv.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    // A command-line run (one argument other than the hidden start) needs no screen: without
    // a display, as under cron, it runs on the offscreen platform instead of failing to start.
    if (argc == 2 && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && QString::fromLocal8Bit(argv[1]).left(2).toUpper() != "/H")
        qputenv("QT_QPA_PLATFORM", "offscreen");

    pelmora::TApplication app(argc, argv);
    QApplication::setWindowIcon(pelmora::ProgramIcon());
    // Desktops match the windows to pelmora.desktop, and so to its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("pelmora"));
    pelmora::SelectLanguage();
    pelmora::InstallToolkitTranslation(app);
    pelmora::TrDragController::SetErrorBox([](const QString& caption, const QString& text) {
        pelmora::Dialogs().ask(nullptr, caption, text, QMessageBox::Ok, QMessageBox::Critical);
    });

    std::string exePath = pelmora::ExecutablePath();
    if (exePath.empty())
        exePath = argv[0];

    auto forms = pelmora::TForms::Create(arguments, exePath);
    // One program per configuration file: a second start brings the first to the front.
    std::unique_ptr<pelmora::TSingleInstance> place;
    if (const std::optional<int> status = pelmora::TakeProgramPlace(*forms->cltForm, arguments, place))
        return *status;
    // The program ends when its main window closes, also from the notification area's menu.
    QObject::connect(forms->cltForm.get(), &pelmora::TcltForm::Closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    forms->ApplyAllTexts();
    // SIGTERM and SIGINT end the program in order: the log is appended, the configuration
    // file is left as it is.
    pelmora::TQuitSignals quitSignals([&forms](int) { forms->cltForm->QuitFromOutside(); });
    pelmora::ShowMainWindowAtStart(*forms->cltForm, arguments);
    const int result = app.exec();
    // A command-line run tells cron or a service how it went (see the README's table).
    const int status = result != 0 ? result : forms->cltForm->ExitStatus();
    forms.reset();
    return status;
}
