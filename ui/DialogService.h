#pragma once
// The one road by which every window shows message boxes, runs its modal dialogs and asks
// for a file to open. The Qt implementation shows real widgets; the queued implementation
// answers from lists that a test fills before its click and records what was asked.
// UI thread only.

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <deque>
#include <exception>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

namespace pelmora {

// One message box as a window asked for it.
struct DialogRequest
{
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

class DialogService
{
public:
    virtual ~DialogService() = default;

    // Shows a message box and returns the button pressed. A box closed without a button
    // (Escape, close box) returns the escape button of the set: Cancel, else No, else Ok.
    // `defaultButton` is the one Enter presses (NoButton: the toolkit's choice).
    virtual QMessageBox::StandardButton ask(QWidget* parent, const QString& caption, const QString& text,
                                            QMessageBox::StandardButtons buttons, QMessageBox::Icon icon,
                                            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) = 0;

    // Runs a dialog modally and returns its result (QDialog::Accepted or Rejected).
    virtual int execDialog(QDialog& dialog) = 0;

    // Asks for one existing file, starting in `folder`. Returns the full path, or an empty
    // text when the user cancelled.
    virtual QString getOpenFileName(QWidget* parent, const QString& caption, const QString& folder) = 0;

    // Message boxes the windows use.
    void error(QWidget* parent, const QString& text); // caption "Error", OK
    bool askYesNo(QWidget* parent, const QString& caption, const QString& text, QMessageBox::Icon icon);
    void information(QWidget* parent, const QString& caption, const QString& text);

    // The box for a failure that no handler caught: the failure's own text under the
    // program's title, with an error icon and OK.
    void showException(QWidget* parent, const QString& what);
};

// Real widgets: QMessageBox, QDialog::exec, QFileDialog.
class QtDialogService final : public DialogService
{
public:
    QMessageBox::StandardButton ask(QWidget* parent, const QString& caption, const QString& text,
                                    QMessageBox::StandardButtons buttons, QMessageBox::Icon icon,
                                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) override;
    int execDialog(QDialog& dialog) override;
    QString getOpenFileName(QWidget* parent, const QString& caption, const QString& folder) override;
};

// Answers from queues and records every request. With an empty queue a message box gets
// its escape button, a dialog is rejected and a file request is cancelled; each such
// unplanned request is counted in unanswered() so a test can notice it.
class QueuedDialogService final : public DialogService
{
public:
    using DialogScript = std::function<int(QDialog&)>;

    void pushAnswer(QMessageBox::StandardButton answer) { m_answers.push_back(answer); }
    // The script receives the dialog after its show handler ran; it may edit the widgets
    // and click buttons, and returns the result the dialog reports.
    void pushDialog(DialogScript script) { m_dialogs.push_back(std::move(script)); }
    void pushFile(const QString& path) { m_files.push_back(path); }

    const std::vector<DialogRequest>& asked() const { return m_asked; }
    const std::vector<QString>& fileRequests() const { return m_fileFolders; }
    int dialogsRun() const { return m_dialogsRun; }
    int unanswered() const { return m_unanswered; }
    bool allAnswersUsed() const { return m_answers.empty() && m_dialogs.empty() && m_files.empty(); }
    void clear();

    QMessageBox::StandardButton ask(QWidget* parent, const QString& caption, const QString& text,
                                    QMessageBox::StandardButtons buttons, QMessageBox::Icon icon,
                                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) override;
    int execDialog(QDialog& dialog) override;
    QString getOpenFileName(QWidget* parent, const QString& caption, const QString& folder) override;

private:
    std::deque<QMessageBox::StandardButton> m_answers;
    std::deque<DialogScript> m_dialogs;
    std::deque<QString> m_files;
    std::vector<DialogRequest> m_asked;
    std::vector<QString> m_fileFolders;
    int m_dialogsRun = 0;
    int m_unanswered = 0;
};

// The process-wide service. Until SetDialogService is called it is a QtDialogService.
DialogService& Dialogs();
// Replaces the service (nullptr restores the Qt one). The caller keeps ownership and must
// keep the object alive while it is installed.
void SetDialogService(DialogService* service);

// The escape button of a button set: Cancel, else No, else Ok, else the lowest button.
QMessageBox::StandardButton EscapeButton(QMessageBox::StandardButtons buttons);

// Loads Qt's own texts (the standard buttons Yes, No, OK and Cancel, the file dialog) in
// the language of the message table, so a Chinese box does not answer in English. Call
// after SelectLanguage. Returns false when the Qt translation is not installed (or the
// table is English, which needs none); the texts then stay English.
bool InstallToolkitTranslation(QCoreApplication& app);

// An application object that shows an exception escaping an event handler through
// Dialogs().showException instead of ending the program.
class TApplication : public QApplication
{
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace pelmora
