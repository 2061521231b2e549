#pragma once
// TresForm: the results window. It shows the result log of every run since start-up, newest
// run at the bottom, and scrolls to the end each time it is shown.
// Created once by the main window at start-up; used on the UI thread only.

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QPushButton;

namespace pelmora {

class TSMemo;

class TresForm : public QDialog
{
    Q_OBJECT
public:
    // Supplies the result log's lines; the log only grows, so each show appends what is new.
    using LineSource = std::function<const std::vector<std::string>&()>;

    explicit TresForm(QWidget* parent = nullptr);

    // Sets the caption, the button text and the font from the current message table.
    void ApplyTexts();

    void SetLineSource(LineSource source) { m_source = std::move(source); }
    // Appends the lines of the source that the memo does not hold yet.
    void SyncLines();

    TSMemo* resMemo = nullptr;
    QPushButton* btnClose = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void btnCloseClick();

    LineSource m_source;
    std::size_t m_shownLines = 0;
    bool m_sizedOnce = false;
};

} // namespace pelmora
