#pragma once
// TadvForm: the advanced options of the selected task (network credentials, the three mask
// lists with their switches, auto mode, speed and error limits, the time tolerances, where
// deleted and replaced files go and the mass-deletion guard). It
// fills itself from CurrentTask on every showing and writes back only on OK. UI thread only.

#include <QDialog>

#include "ui/AppState.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace pelmora {

// A mask list's text as the task stores it: every line followed by CR LF.
std::string MaskListText(const QString& editorText);
// The editor text of a stored list: CR LF (or a lone CR or LF) becomes a line break, and a
// final line end gives no extra empty line.
QString MaskListEditorText(const std::string& stored);

class TadvForm : public QDialog
{
    Q_OBJECT
public:
    TadvForm(TAppState& state, QWidget* parent = nullptr);

    void ApplyTexts();

    void FormShow();
    // Checks the lengths of the switched-on lists, stores every field into CurrentTask,
    // sets Modified and closes. A list that is too long shows "Too many files!", gets the
    // focus, and nothing is stored.
    void btnOkClick();
    void btnDefClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyEnabling();

    TAppState& m_state;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lbShift = nullptr;
    QLineEdit* edNetName = nullptr;
    QLineEdit* edNetPass = nullptr;
    QCheckBox* chkOnlyType = nullptr;
    QCheckBox* chkIgnore = nullptr;
    QCheckBox* chkDel = nullptr;
    QPlainTextEdit* liOnlyType = nullptr;
    QPlainTextEdit* liIgnore = nullptr;
    QPlainTextEdit* liDel = nullptr;
    QCheckBox* chkAuto = nullptr;
    QSpinBox* edSpeed = nullptr;
    QSpinBox* edErr = nullptr;
    QCheckBox* chk1Hour = nullptr;
    QSpinBox* edShift = nullptr;
    QLabel* lbDeletions = nullptr;
    QComboBox* cbDeletions = nullptr; // 0: move to the trash, 1: delete permanently
    QCheckBox* chkGuard = nullptr;
    QPushButton* btnDef = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
};

} // namespace pelmora
