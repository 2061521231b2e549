#include <QApplication>
#include <QTest>

#include "platform/widgets/Gauge.h"

using namespace pelmora;

namespace {

const QColor kFore(0, 0, 255);
const QColor kBack(255, 255, 255);
// Blue bar under white text, combined by exclusive-or.
const QColor kTextOnBar(255, 255, 0);

QRect BoundsOf(const QImage& image, const QColor& colour)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                bounds = bounds.united(QRect(x, y, 1, 1));
    return bounds;
}

void MakeRunGauge(TPmGauge& gauge)
{
    gauge.resize(340, 16);
    gauge.SetForeColor(kFore);
    gauge.SetBackColor(kBack);
    QFont font = gauge.font();
    font.setPixelSize(12);
    gauge.setFont(font);
}

} // namespace

class GaugeTest : public QObject
{
    Q_OBJECT
private slots:
    void defaultsAndRange()
    {
        TPmGauge gauge;
        QCOMPARE(gauge.size(), QSize(100, 100));
        QCOMPARE(gauge.MinValue(), 0);
        QCOMPARE(gauge.MaxValue(), 100);
        QVERIFY(gauge.ShowText());
        QCOMPARE(gauge.BorderStyle(), TBorderStyle::bsSingle);

        gauge.SetProgress(150);
        QCOMPARE(gauge.Progress(), 100);
        QCOMPARE(gauge.PercentText(), QStringLiteral("100%"));
        gauge.SetProgress(-5);
        QCOMPARE(gauge.Progress(), 0);

        // Raising the minimum drags Progress up, lowering the maximum drags it down.
        gauge.SetProgress(10);
        gauge.SetMinValue(40);
        QCOMPARE(gauge.Progress(), 40);
        gauge.SetProgress(90);
        gauge.SetMaxValue(60);
        QCOMPARE(gauge.Progress(), 60);
        QCOMPARE(gauge.PercentDone(), 100);

        gauge.SetMaxValue(40);
        QCOMPARE(gauge.PercentDone(), 0);

        // The whole 32-bit range does not overflow the percentage.
        TPmGauge wide;
        wide.SetMinValue(-2147483647);
        wide.SetMaxValue(2147483647);
        wide.SetProgress(0);
        QCOMPARE(wide.PercentDone(), 50);
    }

    void rangeErrors()
    {
        TPmGauge gauge;
        gauge.SetMinValue(20);
        try {
            gauge.SetMaxValue(10);
            QFAIL("MaxValue below MinValue was accepted");
        } catch (const EInvalidOperation& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Value must be between 21 and 2147483647"));
        }
        QCOMPARE(gauge.MaxValue(), 100);

        try {
            gauge.SetMinValue(101);
            QFAIL("MinValue above MaxValue was accepted");
        } catch (const EInvalidOperation& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Value must be between -2147483647 and 99"));
        }
        QCOMPARE(gauge.MinValue(), 20);
        // Equal bounds are allowed.
        gauge.SetMaxValue(20);
        QCOMPARE(gauge.MaxValue(), 20);
    }

    void repaintsOnlyWhenPercentChanges()
    {
        TPmGauge gauge;
        MakeRunGauge(gauge);
        gauge.SetMaxValue(100000);
        gauge.show();
        QVERIFY(QTest::qWaitForWindowExposed(&gauge));
        QApplication::processEvents();
        const int before = gauge.PaintCount();

        // 999 steps all inside the first percent.
        for (int i = 1; i < 1000; ++i)
            gauge.SetProgress(i);
        QApplication::processEvents();
        QCOMPARE(gauge.PaintCount(), before);

        gauge.SetProgress(1000);
        QApplication::processEvents();
        QCOMPARE(gauge.PaintCount(), before + 1);
    }

    void paintsBarAndInvertedText()
    {
        TPmGauge gauge;
        MakeRunGauge(gauge);

        // An equal range shows 0% and no bar at all.
        gauge.SetMaxValue(0);
        QImage image = gauge.RenderImage();
        QVERIFY(BoundsOf(image, kFore).isNull());
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::black));
        QCOMPARE(image.pixelColor(170, 8), kBack);

        gauge.SetMaxValue(100);
        gauge.SetProgress(50);
        image = gauge.RenderImage();
        // Frame stays black; with the border w = 339 and f = 169, filled columns 1..168.
        QCOMPARE(image.pixelColor(0, 8), QColor(Qt::black));
        QCOMPARE(image.pixelColor(339, 8), QColor(Qt::black));
        QCOMPARE(image.pixelColor(1, 1), kFore);
        QCOMPARE(image.pixelColor(168, 14), kFore);
        QCOMPARE(image.pixelColor(169, 8), kBack);
        QCOMPARE(image.pixelColor(338, 14), kBack);

        // The text is inverted against the bar and centred in the filled part.
        const QRect text = BoundsOf(image, kTextOnBar);
        QVERIFY(!text.isNull());
        QVERIFY(text.right() < 169);
        QVERIFY(qAbs(text.center().x() - 169 / 2) <= 3);

        gauge.SetShowText(false);
        QVERIFY(BoundsOf(gauge.RenderImage(), kTextOnBar).isNull());
        gauge.SetShowText(true);

        // At 5% the filled part is 16 pixels, narrower than "5%" in a 12-pixel font: no text.
        QVERIFY(QFontMetrics(gauge.font()).horizontalAdvance(QStringLiteral("5%")) > 16);
        gauge.SetProgress(5);
        image = gauge.RenderImage();
        QVERIFY(BoundsOf(image, kTextOnBar).isNull());
        QCOMPARE(BoundsOf(image, kFore), QRect(QPoint(1, 1), QPoint(15, 14)));

        // A full bar shows "100%" and no empty part.
        gauge.SetProgress(150);
        image = gauge.RenderImage();
        QVERIFY(!BoundsOf(image, kTextOnBar).isNull());
        QVERIFY(BoundsOf(image, kBack).isNull());

        // Without a border the bar starts in the first column.
        gauge.SetBorderStyle(TBorderStyle::bsNone);
        QCOMPARE(gauge.RenderImage().pixelColor(0, 0), kFore);
    }
};

QTEST_MAIN(GaugeTest)
#include "Gauge_test.moc"
