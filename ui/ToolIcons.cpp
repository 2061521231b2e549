#include "ui/ToolIcons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <iterator>
#include <map>

// Resources of a static library must be registered by hand, outside any namespace.
static void InitProgramIconResources()
{
    Q_INIT_RESOURCE(programicon);
}

namespace pelmora {

namespace {

constexpr int kProgramIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The program's icon, read from the drawing of the nearest size the first time that size is
// asked for. QIcon::addFile decodes every file at once, which took a tenth of a short
// unattended run that never shows the icon.
class ProgramIconEngine final : public QIconEngine
{
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int wanted = std::max(size.width(), size.height());
        int drawn = kProgramIconSizes[std::size(kProgramIconSizes) - 1];
        for (int available : kProgramIconSizes) {
            if (available >= wanted) {
                drawn = available;
                break;
            }
        }
        QPixmap& pixmap = m_read[drawn];
        if (pixmap.isNull())
            pixmap.load(QStringLiteral(":/icons/%1/pelmora.png").arg(drawn));
        if (pixmap.isNull() || pixmap.size() == size)
            return pixmap;
        return pixmap.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min({size.width(), size.height(), kProgramIconSizes[std::size(kProgramIconSizes) - 1]});
        return QSize(side, side);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (int available : kProgramIconSizes)
            sizes << QSize(available, available);
        return sizes;
    }

    QIconEngine* clone() const override { return new ProgramIconEngine(*this); }
    QString key() const override { return QStringLiteral("PelmoraProgramIcon"); }

private:
    std::map<int, QPixmap> m_read;
};

} // namespace

QIcon ProgramIcon()
{
    InitProgramIconResources();
    return QIcon(new ProgramIconEngine);
}

QIcon drawIcon(ToolGlyph glyph)
{
    constexpr int kSize = 24;
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor outline(50, 60, 80);
    const QPen pen(outline, 1.4);
    p.setPen(pen);
    auto page = [&](QRectF r, QColor fill) {
        QPainterPath path;
        path.moveTo(r.left(), r.top());
        path.lineTo(r.right() - 5, r.top());
        path.lineTo(r.right(), r.top() + 5);
        path.lineTo(r.right(), r.bottom());
        path.lineTo(r.left(), r.bottom());
        path.closeSubpath();
        p.setBrush(fill);
        p.drawPath(path);
    };
    switch (glyph) {
    case ToolGlyph::Save:
        p.setBrush(QColor(70, 110, 190));
        p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.5, 3.5, 9, 6));
        p.setBrush(QColor(220, 225, 235));
        p.drawRect(QRectF(6.5, 13.5, 11, 7));
        break;
    case ToolGlyph::New:
        page(QRectF(5.5, 2.5, 13, 19), Qt::white);
        p.setPen(QPen(QColor(40, 150, 60), 2.4));
        p.drawLine(QPointF(16, 14), QPointF(16, 22));
        p.drawLine(QPointF(12, 18), QPointF(20, 18));
        break;
    case ToolGlyph::Copy:
        page(QRectF(3.5, 2.5, 11, 15), QColor(230, 235, 245));
        page(QRectF(9.5, 7.5, 11, 15), Qt::white);
        break;
    case ToolGlyph::Delete:
        p.setPen(QPen(QColor(200, 40, 40), 3.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(6, 6), QPointF(18, 18));
        p.drawLine(QPointF(18, 6), QPointF(6, 18));
        break;
    case ToolGlyph::Go: {
        p.setPen(QPen(QColor(30, 130, 60), 2.6, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 150 * 16);
        p.drawArc(QRectF(4, 4, 16, 16), 210 * 16, 150 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 130, 60));
        QPolygonF head1({QPointF(19.5, 4), QPointF(20.5, 11), QPointF(14, 9)});
        QPolygonF head2({QPointF(4.5, 20), QPointF(3.5, 13), QPointF(10, 15)});
        p.drawPolygon(head1);
        p.drawPolygon(head2);
        break;
    }
    case ToolGlyph::Schedule:
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(3.5, 3.5, 17, 17));
        p.setPen(QPen(outline, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12, 12), QPointF(12, 6.5));
        p.drawLine(QPointF(12, 12), QPointF(16, 14));
        break;
    case ToolGlyph::About:
        p.setBrush(QColor(60, 120, 200));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(3, 3, 18, 18));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(10.6, 6, 2.8, 2.8));
        p.drawRoundedRect(QRectF(10.7, 10.5, 2.6, 7.5), 1, 1);
        break;
    case ToolGlyph::Exit:
        p.setBrush(QColor(180, 140, 90));
        p.drawRect(QRectF(4.5, 3.5, 10, 17));
        p.setPen(QPen(QColor(200, 40, 40), 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(11, 12), QPointF(21, 12));
        p.drawLine(QPointF(21, 12), QPointF(17.5, 8.5));
        p.drawLine(QPointF(21, 12), QPointF(17.5, 15.5));
        break;
    }
    return QIcon(pixmap);
}

} // namespace pelmora
