#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "lang/Messages.h"
#include "platform/widgets/SMemo.h"
#include "ui/ResForm.h"

using namespace pelmora;

namespace {

const std::string kSeparator(61, '=');

void AppendRun(std::vector<std::string>& log, const std::string& name, int failures)
{
    log.push_back("2026-12-08 4:01:02");
    log.push_back("Start task: " + name);
    for (int i = 0; i < failures; ++i)
        log.push_back("Copy file failed: /data/" + name + "/file" + std::to_string(i) + ".txt");
    log.push_back("Task finish!");
    log.push_back("\r\nTask result:");
    log.push_back(kSeparator);
}

bool ScrolledToEnd(const TSMemo* memo)
{
    const QScrollBar* bar = memo->verticalScrollBar();
    return bar->maximum() > 0 && memo->FirstVisibleLine() == bar->maximum();
}

} // namespace

class ResFormTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { SelectLanguage(kLangEnglishUS); }

    void showsEveryRunScrolledToTheEnd()
    {
        std::vector<std::string> log;
        TresForm form;
        form.ApplyTexts();
        form.SetLineSource([&log]() -> const std::vector<std::string>& { return log; });
        QCOMPARE(form.windowTitle(), QStringLiteral("Result"));
        QCOMPARE(form.btnClose->text(), QStringLiteral("&Close"));
        QVERIFY(form.resMemo->isReadOnly());

        AppendRun(log, "First", 150);
        AppendRun(log, "Second", 3);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(ScrolledToEnd(form.resMemo));
        QCOMPARE(QApplication::focusWidget(), form.btnClose);

        const QString text = form.resMemo->toPlainText();
        QVERIFY(text.indexOf(QStringLiteral("Start task: First")) < text.indexOf(QStringLiteral("Start task: Second")));
        QVERIFY(text.endsWith(QString::fromStdString(kSeparator)));
        QCOMPARE(text.count(QString::fromStdString(kSeparator)), 2);
        // The result heading keeps its empty line before it, without a stray carriage return.
        QVERIFY(text.contains(QStringLiteral("Task finish!\n\nTask result:")));
        QVERIFY(!text.contains(QLatin1Char('\r')));

        // Closing by the button leaves the text as it was.
        QTest::mouseClick(form.btnClose, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.resMemo->toPlainText(), text);

        // Shown again without new lines, after the user scrolled up: at the end again.
        form.resMemo->ScrollToLine(0);
        QCOMPARE(form.resMemo->FirstVisibleLine(), 0);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(ScrolledToEnd(form.resMemo));
        QCOMPARE(form.resMemo->toPlainText(), text);

        // Lines logged while hidden (an unattended run) appear at the next showing.
        form.close();
        AppendRun(log, "Third", 0);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.resMemo->toPlainText().endsWith(
            QStringLiteral("Start task: Third\nTask finish!\n\nTask result:\n") + QString::fromStdString(kSeparator)));
        QCOMPARE(form.resMemo->toPlainText().count(QStringLiteral("Start task: First")), 1);
        QVERIFY(ScrolledToEnd(form.resMemo));
        form.close();
    }

    void memoScrollsByLinesAndReportsScrollBarUse()
    {
        TSMemo memo;
        memo.resize(200, 100);
        for (int i = 0; i < 100; ++i)
            memo.appendPlainText(QStringLiteral("line %1").arg(i));
        memo.show();
        QVERIFY(QTest::qWaitForWindowExposed(&memo));
        memo.ScrollToLine(0);
        memo.ScrollBy(10);
        QCOMPARE(memo.FirstVisibleLine(), 10);
        memo.ScrollBy(-30);
        QCOMPARE(memo.FirstVisibleLine(), 0);
        memo.ScrollToLine(1000000);
        QCOMPARE(memo.FirstVisibleLine(), memo.verticalScrollBar()->maximum());

        QSignalSpy vscroll(&memo, &TSMemo::OnVScroll);
        memo.ScrollToLine(0);
        QCOMPARE(vscroll.count(), 0); // scrolling from code is not a scroll-bar message
        memo.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QVERIFY(vscroll.wait(1000));
        QCOMPARE(memo.FirstVisibleLine(), 1);
    }
};

QTEST_MAIN(ResFormTest)
#include "ResForm_test.moc"
