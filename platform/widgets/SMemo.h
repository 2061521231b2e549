#pragma once
// TSMemo: a read-only capable multi-line text control that reports scroll-bar use and can
// scroll by whole lines, the way the results window needs it. UI thread only.

#include <QPlainTextEdit>

namespace pelmora {

class TSMemo : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TSMemo(QWidget* parent = nullptr);

    // Zero-based index of the topmost visible line (wrapped lines count one each).
    int FirstVisibleLine() const;
    // Scrolls vertically by `lines` (negative: up). The scroll bar clamps, so a count past
    // either end stops at that end.
    void ScrollBy(int lines);
    // Brings line n to the top as far as the text allows; a line past the end scrolls to the end.
    void ScrollToLine(int n) { ScrollBy(n - FirstVisibleLine()); }

signals:
    // After the user moved the vertical or horizontal scroll bar and the text has followed.
    void OnVScroll();
    void OnHScroll();
};

} // namespace pelmora
