#pragma once
// TfmTask: the schedule dialog, where schedule entries are added, edited and removed.
// Created once at start-up; shown modally from the main window. UI thread only.

#include <QDialog>

namespace pelmora {

class TfmTask : public QDialog
{
    Q_OBJECT
public:
    explicit TfmTask(QWidget* parent = nullptr);

    void ApplyTexts();
};

} // namespace pelmora
