#pragma once
// TresForm: the results window that shows the result log after a run.
// Created once by the main window at start-up; used on the UI thread only.

#include <QDialog>

namespace pelmora {

class TresForm : public QDialog
{
    Q_OBJECT
public:
    explicit TresForm(QWidget* parent = nullptr);

    // Sets the caption and control texts from the current message table.
    void ApplyTexts();
};

} // namespace pelmora
