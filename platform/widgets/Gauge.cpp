#include "platform/widgets/Gauge.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace pelmora {

namespace {

QString RangeError(long long low, long long high)
{
    return QStringLiteral("Value must be between %1 and %2").arg(low).arg(high);
}

} // namespace

TPmGauge::TPmGauge(QWidget* parent) : QWidget(parent)
{
    // Every pixel is painted by paintEvent, so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 100);
}

void TPmGauge::SetMinValue(std::int32_t value)
{
    if (value == m_min)
        return;
    if (value > m_max)
        throw EInvalidOperation(RangeError(-2147483647LL, static_cast<long long>(m_max) - 1).toStdString());
    m_min = value;
    if (m_progress < m_min)
        m_progress = m_min;
    update();
}

void TPmGauge::SetMaxValue(std::int32_t value)
{
    if (value == m_max)
        return;
    if (value < m_min)
        throw EInvalidOperation(RangeError(static_cast<long long>(m_min) + 1, 2147483647LL).toStdString());
    m_max = value;
    if (m_progress > m_max)
        m_progress = m_max;
    update();
}

void TPmGauge::SetProgress(std::int32_t value)
{
    value = std::clamp(value, m_min, m_max);
    if (value == m_progress)
        return;
    const int before = PercentDone();
    m_progress = value;
    if (PercentDone() != before)
        update();
}

void TPmGauge::SetShowText(bool value)
{
    if (value == m_showText)
        return;
    m_showText = value;
    update();
}

void TPmGauge::SetBorderStyle(TBorderStyle value)
{
    if (value == m_border)
        return;
    m_border = value;
    update();
}

void TPmGauge::SetForeColor(const QColor& value)
{
    if (value == m_foreColor)
        return;
    m_foreColor = value;
    update();
}

void TPmGauge::SetBackColor(const QColor& value)
{
    if (value == m_backColor)
        return;
    m_backColor = value;
    update();
}

int TPmGauge::PercentDone() const
{
    if (m_max == m_min)
        return 0;
    // 64-bit: the span of two 32-bit values times 100 overflows 32 bits.
    const long long done = static_cast<long long>(m_progress) - m_min;
    const long long span = static_cast<long long>(m_max) - m_min;
    return static_cast<int>(done * 100 / span);
}

QString TPmGauge::PercentText() const
{
    return QStringLiteral("%1%").arg(PercentDone());
}

int TPmGauge::WidthForPercent(int width, int percent)
{
    return static_cast<int>(width * percent * 0.01);
}

QImage TPmGauge::RenderImage() const
{
    const int width = std::max(1, this->width());
    const int height = std::max(1, this->height());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);

    // Right and bottom are exclusive edges, as in the bar arithmetic below.
    int left = 0, top = 0, right = width, bottom = height;
    if (m_border == TBorderStyle::bsSingle) {
        ++left;
        ++top;
        --right;
        --bottom;
    }
    const QRect paintRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    const int percent = PercentDone();

    QImage bar(width, height, QImage::Format_RGB32);
    bar.fill(Qt::black);
    {
        QPainter p(&bar);
        p.fillRect(paintRect, m_backColor);
        const int w = right - left + 1;
        const int h = bottom - top + 1;
        const int f = std::min(WidthForPercent(w, percent), w);
        // (left, top) and (f, h) are the corners, not a size.
        if (f > 0 && f > left && h > top)
            p.fillRect(QRect(QPoint(left, top), QPoint(f - 1, h - 1)), m_foreColor);
    }
    {
        QPainter p(&image);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.drawImage(0, 0, bar);
    }

    if (m_showText) {
        QImage text(width, height, QImage::Format_RGB32);
        text.fill(Qt::black);
        const QString label = PercentText();
        const QFontMetrics metrics(font());
        const int textWidth = metrics.horizontalAdvance(label);
        const int f = WidthForPercent(right - left + 1, percent);
        if (f >= textWidth) {
            QPainter p(&text);
            // Anti-aliased edges would turn into stray colours under exclusive-or.
            QFont plain = font();
            plain.setStyleStrategy(QFont::NoAntialias);
            p.setFont(plain);
            p.setPen(Qt::white);
            p.setClipRect(paintRect);
            const int x = (f + 1 - left - textWidth) / 2;
            const int y = (bottom - top + 1 - metrics.height()) / 2;
            p.drawText(QRect(x, y, textWidth, metrics.height()), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                       label);
        }
        QPainter p(&image);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.drawImage(0, 0, text);
    }
    return image;
}

void TPmGauge::paintEvent(QPaintEvent*)
{
    ++m_paintCount;
    QPainter p(this);
    p.drawImage(0, 0, RenderImage());
}

} // namespace pelmora
