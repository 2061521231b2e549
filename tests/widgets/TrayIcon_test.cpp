#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>

#include "platform/widgets/TrayIcon.h"

using namespace pelmora;

namespace {

QIcon Solid(const QColor& colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

} // namespace

class TrayIconTest : public QObject
{
    Q_OBJECT
private slots:
    void textsAreCutToTheirLimits();
    void animateIsRefusedWithoutImagesOrWhileInactive();
    void animationShowsFramesInOrderOnePerInterval();
    void clicksBecomeEventsAndTheMenuComesBeforeRightClick();
    void activatingTwiceGivesOneIcon();
};

void TrayIconTest::textsAreCutToTheirLimits()
{
    TTrayIcon tray;
    const QString seventy = QString("0123456789").repeated(7);
    tray.SetHint(seventy);
    QCOMPARE(tray.Hint(), seventy.left(60));
    tray.SetIcon(Solid(Qt::red));
    tray.SetActive(true);
    QVERIFY(tray.NativeIcon() != nullptr);
    QCOMPARE(tray.NativeIcon()->toolTip(), seventy.left(60));

    // Each of these takes three bytes: twenty whole characters fit in sixty bytes.
    const QString chinese = QString::fromUtf8("單機版").repeated(10);
    tray.SetHint(chinese);
    QCOMPARE(tray.Hint(), chinese.left(20));
    QCOMPARE(tray.NativeIcon()->toolTip(), chinese.left(20));
    // 61 bytes: one ASCII byte and twenty characters; the twenty-first would pass the limit.
    tray.SetHint("x" + chinese);
    QCOMPARE(tray.Hint(), "x" + chinese.left(19));

    tray.SetToolTip(seventy);
    QCOMPARE(tray.ToolTip(), seventy.left(62));
    // The tip shown on the icon is the hint, not ToolTip.
    QCOMPARE(tray.NativeIcon()->toolTip(), "x" + chinese.left(19));
}

void TrayIconTest::animateIsRefusedWithoutImagesOrWhileInactive()
{
    TTrayIcon tray;
    const QIcon own = Solid(Qt::red);
    tray.SetIcon(own);
    tray.SetImages({Solid(Qt::green), Solid(Qt::blue)});
    tray.SetAnimate(true);
    QVERIFY(!tray.Animate());

    tray.SetActive(true);
    tray.SetImages({});
    tray.SetAnimate(true);
    QVERIFY(!tray.Animate());

    tray.SetImages({Solid(Qt::green)});
    tray.SetAnimateInterval(10);
    tray.SetAnimate(true);
    QVERIFY(tray.Animate());
    QTRY_VERIFY(tray.Icon().cacheKey() != own.cacheKey());

    tray.SetAnimate(false);
    QCOMPARE(tray.Icon().cacheKey(), own.cacheKey());
    tray.SetAnimate(false);
    QCOMPARE(tray.Icon().cacheKey(), own.cacheKey()); // switching off twice keeps the icon

    tray.SetAnimateInterval(0);
    tray.SetAnimateInterval(-5);
    QCOMPARE(tray.AnimateInterval(), 10);
}

void TrayIconTest::animationShowsFramesInOrderOnePerInterval()
{
    TTrayIcon tray;
    const QIcon own = Solid(Qt::white);
    const QList<QIcon> images{Solid(Qt::red), Solid(Qt::green), Solid(Qt::blue)};
    tray.SetIcon(own);
    tray.SetImages(images);
    tray.SetAnimateInterval(20);
    tray.SetActive(true);

    QList<int> shown;
    connect(&tray, &TTrayIcon::iconChanged, this, [&] {
        for (int i = 0; i < images.size(); ++i)
            if (tray.Icon().cacheKey() == images[i].cacheKey())
                shown.append(i);
    });
    QElapsedTimer clock;
    clock.start();
    tray.SetAnimate(true);
    QTRY_VERIFY(shown.size() >= 5);
    const qint64 elapsed = clock.elapsed();
    tray.SetAnimate(false);

    QCOMPARE(shown.mid(0, 5), QList<int>({1, 2, 0, 1, 2}));
    QVERIFY2(elapsed >= 5 * 20 - 5, qPrintable(QString::number(elapsed)));
    QCOMPARE(tray.Icon().cacheKey(), own.cacheKey());
    QCOMPARE(tray.NativeIcon()->icon().cacheKey(), own.cacheKey());
}

void TrayIconTest::clicksBecomeEventsAndTheMenuComesBeforeRightClick()
{
    TTrayIcon tray;
    tray.SetIcon(Solid(Qt::red));
    QStringList log;
    tray.OnClick = [&](TTrayIcon& sender) { log << (&sender == &tray ? "click" : "click from elsewhere"); };
    tray.OnDblClick = [&](TTrayIcon&) { log << "double"; };
    tray.OnRightClick = [&](TTrayIcon&, Qt::MouseButton button, Qt::KeyboardModifiers shift, int, int) {
        log << QString("right %1 %2").arg(button == Qt::RightButton).arg(shift == Qt::NoModifier);
    };
    QMenu menu;
    tray.SetPopupMenu(&menu);
    tray.SetMenuShower([&](QMenu* shown, const QPoint&) { log << (shown == &menu ? "menu" : "other menu"); });
    tray.SetActive(true);

    QSystemTrayIcon* icon = tray.NativeIcon();
    emit icon->activated(QSystemTrayIcon::Context);
    emit icon->activated(QSystemTrayIcon::Trigger);
    emit icon->activated(QSystemTrayIcon::DoubleClick);
    emit icon->activated(QSystemTrayIcon::MiddleClick);
    QCOMPARE(log, QStringList({"menu", "right 1 1", "click", "double"}));

    log.clear();
    tray.SetPopupMenu(nullptr);
    emit icon->activated(QSystemTrayIcon::Context);
    QCOMPARE(log, QStringList({"right 1 1"}));

    // The main window's click handler takes the icon away while it is being clicked.
    log.clear();
    tray.OnClick = [&](TTrayIcon& sender) {
        sender.SetActive(false);
        log << "restored";
    };
    emit icon->activated(QSystemTrayIcon::Trigger);
    QCOMPARE(log, QStringList({"restored"}));
    QVERIFY(!tray.Active());
    QVERIFY(tray.NativeIcon() == nullptr);
}

void TrayIconTest::activatingTwiceGivesOneIcon()
{
    TTrayIcon tray;
    tray.SetIcon(Solid(Qt::red));
    tray.SetHint("Pelmora");
    tray.SetActive(true);
    tray.SetActive(true);
    QTest::qWait(10);
    QCOMPARE(tray.findChildren<QSystemTrayIcon*>().size(), 1);
    // The offscreen desktop has no notification area: the state holds all the same.
    QVERIFY(tray.Active());
    QVERIFY(tray.NativeIcon()->isVisible());
    QCOMPARE(tray.NativeIcon()->toolTip(), QString("Pelmora"));

    tray.SetActive(false);
    tray.SetActive(false);
    QTRY_COMPARE(tray.findChildren<QSystemTrayIcon*>().size(), 0);
    tray.SetActive(true);
    QTRY_COMPARE(tray.findChildren<QSystemTrayIcon*>().size(), 1);
}

QTEST_MAIN(TrayIconTest)
#include "TrayIcon_test.moc"
