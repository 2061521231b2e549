#pragma once
// TTreeVForm: the preview window: folder tree and file grid of a planned run.
// Created once by the main window at start-up; used on the UI thread only.

#include <QDialog>

namespace pelmora {

class TTreeVForm : public QDialog
{
    Q_OBJECT
public:
    explicit TTreeVForm(QWidget* parent = nullptr);

    // Sets the caption and control texts from the current message table.
    void ApplyTexts();
};

} // namespace pelmora
