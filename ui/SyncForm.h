#pragma once
// TSyncForm: the synchronisation window that shows one run in progress.
// Created once by the main window at start-up; used on the UI thread only.

#include <QDialog>

namespace pelmora {

class TSyncForm : public QDialog
{
    Q_OBJECT
public:
    explicit TSyncForm(QWidget* parent = nullptr);

    // Sets the caption and control texts from the current message table.
    void ApplyTexts();
};

} // namespace pelmora
