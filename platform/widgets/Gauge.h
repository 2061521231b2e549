#pragma once
// TPmGauge: a horizontal progress bar with an optional percentage text, painted off-screen
// and combined by exclusive-or so the text shows inverted against the bar.
// A Qt widget: create and use it on the UI thread only.

#include <QColor>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <stdexcept>

namespace pelmora {

// Raised by TPmGauge when MinValue would exceed MaxValue; the text names the allowed range.
class EInvalidOperation : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum class TBorderStyle { bsNone, bsSingle };

class TPmGauge : public QWidget
{
    Q_OBJECT
public:
    explicit TPmGauge(QWidget* parent = nullptr);

    std::int32_t MinValue() const { return m_min; }
    std::int32_t MaxValue() const { return m_max; }
    std::int32_t Progress() const { return m_progress; }
    bool ShowText() const { return m_showText; }
    TBorderStyle BorderStyle() const { return m_border; }
    QColor ForeColor() const { return m_foreColor; }
    QColor BackColor() const { return m_backColor; }

    // Throws EInvalidOperation ("Value must be between %d and %d") when value > MaxValue;
    // nothing is changed then.
    void SetMinValue(std::int32_t value);
    // Throws EInvalidOperation when value < MinValue; nothing is changed then.
    void SetMaxValue(std::int32_t value);
    // Clamps to MinValue..MaxValue; repaints only when the whole percentage changes.
    void SetProgress(std::int32_t value);
    void SetShowText(bool value);
    void SetBorderStyle(TBorderStyle value);
    void SetForeColor(const QColor& value);
    void SetBackColor(const QColor& value);

    // 0 when MaxValue equals MinValue, else the whole percentage of Progress in the range.
    int PercentDone() const;
    // The text drawn in the bar, e.g. "42%".
    QString PercentText() const;
    // The control's picture at its current size, exactly as paintEvent puts it on screen.
    QImage RenderImage() const;
    // How many times the control has been painted; lets callers see that small steps
    // within one percent cost no repaint.
    int PaintCount() const { return m_paintCount; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static int WidthForPercent(int width, int percent);

    std::int32_t m_min = 0;
    std::int32_t m_max = 100;
    std::int32_t m_progress = 0;
    bool m_showText = true;
    TBorderStyle m_border = TBorderStyle::bsSingle;
    QColor m_foreColor = Qt::black;
    QColor m_backColor = Qt::white;
    int m_paintCount = 0;
};

} // namespace pelmora
