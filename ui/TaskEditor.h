#pragma once
// TTaskEditor: the main window's editor of the selected task: name, sync type, description,
// the two folders with their Browse buttons, the folder (or file) list, the six choice boxes
// and the advanced options button. Every change goes straight into CurrentTask and sets
// Modified; nothing happens while Loading is set. UI thread only.

#include <QString>
#include <QWidget>

#include <cstdint>

#include "ui/AppState.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace pelmora {

class TadvForm;
class TdirForm;
class TSDirDlg;

class TTaskEditor : public QWidget
{
    Q_OBJECT
public:
    // `dirDialog` is the folder browser of the Browse buttons; it must outlive the editor.
    TTaskEditor(TAppState& state, TSDirDlg& dirDialog, QWidget* parent = nullptr);

    // The dialogs opened by "Add" (folder tasks) and "Advanced Options"; either may be null.
    void AttachDialogs(TdirForm* dirForm, TadvForm* advForm);
    // Sets the texts, fills ActionNames and the six choice boxes and the two types.
    void ApplyTexts();

    // The description box: part of the editor, shown by the main window under the task list.
    QPlainTextEdit* DescriptionBox() const { return edDesc; }
    // The two folders as the editor shows them (the run start takes its roots from these).
    QString HostFolderText() const;
    QString MirrorFolderText() const;

    // Fills the editor from the record at CurrentIndex, or clears and disables it.
    void ShowTask();
    void ClearEditor();
    void EnableEditor(bool on);
    // Stores the whole editor into CurrentTask and sets Modified.
    void FieldChange();
    // The action code whose name equals `text`; acIgnore when none does.
    TAction TextToAction(const QString& text) const;

    void AddExClick();
    void DelExClick();
    void BrMainClick();
    void BrMirrorClick();
    void btnAdvClick();

signals:
    // The user renamed the task at `row`; TaskNames already holds the new name.
    void NameEdited(int row, const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void edTypeClick(int index);
    void edTypeChange();
    void rdOnlyClick();
    void addFolderEntry();
    void addFileEntry();
    // Keeps a new last entry of the list only when the record can still hold the whole list.
    void keepNewEntry();
    QString exclusionText() const;

    TAppState& m_state;
    TSDirDlg& m_dirDialog;
    TdirForm* m_dirForm = nullptr;
    TadvForm* m_advForm = nullptr;

    QPlainTextEdit* edDesc = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* edName = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* edType = nullptr;
    QCheckBox* chkIntoSub = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* edMainDir = nullptr;
    QPushButton* BrMain = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* edMirrorDir = nullptr;
    QPushButton* BrMirror = nullptr;
    QRadioButton* Label4 = nullptr;
    QRadioButton* rdOnly = nullptr;
    QListWidget* liExclude = nullptr;
    QPushButton* AddEx = nullptr;
    QPushButton* DelEx = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    QComboBox* cbInMain = nullptr;
    QComboBox* cbInMirror = nullptr;
    QComboBox* cbSizeDiffer = nullptr;
    QComboBox* cbNewInMain = nullptr;
    QComboBox* cbNewInMirror = nullptr;
    QComboBox* cbEmptyDir = nullptr;
    QPushButton* btnAdv = nullptr;
};

} // namespace pelmora
