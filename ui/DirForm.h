#pragma once
// TdirForm: the add-folder dialog: one folder path, a Browse button that starts at the
// selected task's stored host folder, OK and Cancel. The path stays between showings.
// UI thread only.

#include <QDialog>

#include "ui/AppState.h"

class QLineEdit;
class QPushButton;
class QToolButton;

namespace pelmora {

class TSDirDlg;

class TdirForm : public QDialog
{
    Q_OBJECT
public:
    TdirForm(TSDirDlg& dirDialog, const TAppState& state, QWidget* parent = nullptr);

    void ApplyTexts();
    QString Directory() const;
    void BrMirrorClick();

private:
    TSDirDlg& m_dirDialog;
    const TAppState& m_state;
    QLineEdit* edDir = nullptr;
    QToolButton* BrMirror = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
};

} // namespace pelmora
