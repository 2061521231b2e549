#include "ui/DialogService.h"

#include <QDialog>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QTranslator>

#include "lang/MessageIds.h"
#include "lang/Messages.h"

namespace pelmora {

namespace {

QtDialogService& qtService()
{
    static QtDialogService service;
    return service;
}

DialogService* g_service = nullptr;

} // namespace

DialogService& Dialogs()
{
    return g_service ? *g_service : qtService();
}

void SetDialogService(DialogService* service)
{
    g_service = service;
}

QMessageBox::StandardButton EscapeButton(QMessageBox::StandardButtons buttons)
{
    if (buttons.testFlag(QMessageBox::Cancel))
        return QMessageBox::Cancel;
    if (buttons.testFlag(QMessageBox::No))
        return QMessageBox::No;
    if (buttons.testFlag(QMessageBox::Ok))
        return QMessageBox::Ok;
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
        if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit)))
            return static_cast<QMessageBox::StandardButton>(bit);
    }
    return QMessageBox::NoButton;
}

void DialogService::error(QWidget* parent, const QString& text)
{
    ask(parent, QString::fromUtf8(Msg(kMsgErrorCaption)), text, QMessageBox::Ok, QMessageBox::Critical);
}

bool DialogService::askYesNo(QWidget* parent, const QString& caption, const QString& text, QMessageBox::Icon icon)
{
    return ask(parent, caption, text, QMessageBox::Yes | QMessageBox::No, icon) == QMessageBox::Yes;
}

void DialogService::information(QWidget* parent, const QString& caption, const QString& text)
{
    ask(parent, caption, text, QMessageBox::Ok, QMessageBox::Information);
}

void DialogService::showException(QWidget* parent, const QString& what)
{
    ask(parent, QString::fromUtf8(Msg(kMsgAppTitle)), what, QMessageBox::Ok, QMessageBox::Critical);
}

QMessageBox::StandardButton QtDialogService::ask(QWidget* parent, const QString& caption, const QString& text,
                                                 QMessageBox::StandardButtons buttons, QMessageBox::Icon icon,
                                                 QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setEscapeButton(EscapeButton(buttons));
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    const int result = box.exec();
    const auto pressed = static_cast<QMessageBox::StandardButton>(result);
    return buttons.testFlag(pressed) ? pressed : EscapeButton(buttons);
}

int QtDialogService::execDialog(QDialog& dialog)
{
    return dialog.exec();
}

QString QtDialogService::getOpenFileName(QWidget* parent, const QString& caption, const QString& folder)
{
    QFileDialog dialog(parent, caption, folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void QueuedDialogService::clear()
{
    m_answers.clear();
    m_dialogs.clear();
    m_files.clear();
    m_asked.clear();
    m_fileFolders.clear();
    m_dialogsRun = 0;
    m_unanswered = 0;
}

QMessageBox::StandardButton QueuedDialogService::ask(QWidget*, const QString& caption, const QString& text,
                                                     QMessageBox::StandardButtons buttons, QMessageBox::Icon icon,
                                                     QMessageBox::StandardButton defaultButton)
{
    m_asked.push_back({caption, text, buttons, icon, defaultButton});
    if (m_answers.empty()) {
        ++m_unanswered;
        return EscapeButton(buttons);
    }
    const QMessageBox::StandardButton answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

int QueuedDialogService::execDialog(QDialog& dialog)
{
    ++m_dialogsRun;
    if (m_dialogs.empty()) {
        ++m_unanswered;
        return QDialog::Rejected;
    }
    DialogScript script = std::move(m_dialogs.front());
    m_dialogs.pop_front();
    // A modal dialog runs its show handler before the user can touch it; do the same so
    // a script sees the filled controls.
    dialog.show();
    const int result = script(dialog);
    dialog.hide();
    return result;
}

QString QueuedDialogService::getOpenFileName(QWidget*, const QString&, const QString& folder)
{
    m_fileFolders.push_back(folder);
    if (m_files.empty()) {
        ++m_unanswered;
        return {};
    }
    QString path = m_files.front();
    m_files.pop_front();
    return path;
}

bool InstallToolkitTranslation(QCoreApplication& app)
{
    if (&CurrentMessages() != &kChineseMessages)
        return false;
    // The message table is Traditional Chinese for every Chinese locale it selects.
    static QTranslator translator;
    if (!translator.load(QStringLiteral("qtbase_zh_TW"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return app.installTranslator(&translator);
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& failure) {
        Dialogs().showException(activeWindow(), QString::fromUtf8(failure.what()));
    } catch (...) {
        Dialogs().showException(activeWindow(), QStringLiteral("Unknown error"));
    }
    return false;
}

} // namespace pelmora
