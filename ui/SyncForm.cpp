#include "ui/SyncForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/widgets/Gauge.h"
#include "sync/SyncLog.h"
#include "ui/DialogService.h"
#include "ui/DisplayText.h"
#include "ui/MainWindow.h"
#include "ui/ResForm.h"
#include "ui/TreeVForm.h"

namespace pelmora {

namespace {

QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void DrawFolder(QPainter& p, const QRectF& r)
{
    QPainterPath path;
    path.moveTo(r.left(), r.top() + 4);
    path.lineTo(r.left() + r.width() * 0.35, r.top() + 4);
    path.lineTo(r.left() + r.width() * 0.45, r.top());
    path.lineTo(r.right(), r.top());
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(QPen(QColor(128, 96, 0), 1));
    p.setBrush(QColor(255, 210, 60));
    p.drawPath(path);
    p.setBrush(QColor(255, 230, 120));
    p.drawRect(QRectF(r.left(), r.top() + 8, r.width(), r.height() - 8));
}

void DrawSheet(QPainter& p, const QPointF& topLeft, qreal angle)
{
    p.save();
    p.translate(topLeft + QPointF(7, 9));
    p.rotate(angle);
    p.setPen(QPen(QColor(64, 64, 64), 1));
    p.setBrush(Qt::white);
    const QRectF sheet(-7, -9, 14, 18);
    p.drawRect(sheet);
    p.setPen(QColor(0, 0, 160));
    for (int line = 0; line < 4; ++line)
        p.drawLine(QPointF(-4, -5 + line * 4), QPointF(4, -5 + line * 4));
    p.restore();
}

std::function<void()>& BeepHandler()
{
    static std::function<void()> handler;
    return handler;
}

} // namespace

void SystemBeep()
{
    if (BeepHandler())
        BeepHandler()();
    else
        QApplication::beep();
}

void SetBeepHandler(std::function<void()> handler)
{
    BeepHandler() = std::move(handler);
}

TCopyAnimation::TCopyAnimation(QWidget* parent) : QWidget(parent)
{
    setFixedSize(272, 60);
    m_timer.setInterval(70);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % kFrameCount;
        update();
    });
}

void TCopyAnimation::Play()
{
    if (!m_timer.isActive())
        m_timer.start();
}

void TCopyAnimation::Stop()
{
    m_timer.stop();
    m_frame = 0;
    update();
}

void TCopyAnimation::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().window());
    const QRectF source(20, 18, 44, 34);
    const QRectF target(width() - 64, 18, 44, 34);
    DrawFolder(p, source);
    DrawFolder(p, target);
    if (!Playing())
        return;
    // A sheet travels on an arc from the left folder to the right one, turning as it goes.
    const qreal t = static_cast<qreal>(m_frame) / (kFrameCount - 1);
    const qreal x = source.center().x() + t * (target.center().x() - source.center().x()) - 7;
    const qreal y = 26 - 24 * 4 * t * (1 - t);
    DrawSheet(p, QPointF(x, y), -30 + 60 * t);
}

TSyncForm::TSyncForm(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("SyncForm"));
    setFixedSize(372, 214);

    SyncAnim = new TCopyAnimation(this);
    SyncAnim->setObjectName(QStringLiteral("SyncAnim"));
    SyncAnim->move(16, 6);

    btnCancel = new QPushButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(292, 24, 72, 25);
    btnCancel->setAutoDefault(false);
    connect(btnCancel, &QPushButton::clicked, this, &TSyncForm::btnCancelClick);

    auto makeLabel = [this](const char* name, int top) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(name));
        label->setGeometry(16, top, 340, 16);
        // Long paths are cut at the window's edge instead of widening it.
        label->setTextFormat(Qt::PlainText);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        return label;
    };
    Label1 = makeLabel("Label1", 70);
    Label2 = makeLabel("Label2", 88);
    Label3 = makeLabel("Label3", 106);
    Label4 = makeLabel("Label4", 148);

    auto makeGauge = [this](const char* name, int top) {
        auto* gauge = new TPmGauge(this);
        gauge->setObjectName(QString::fromLatin1(name));
        gauge->setGeometry(16, top, 340, 16);
        gauge->SetBackColor(QColor(128, 128, 0));
        gauge->SetProgress(0);
        return gauge;
    };
    syncMeter = makeGauge("syncMeter", 126);
    totMeter = makeGauge("totMeter", 168);
    Label5 = makeLabel("Label5", 190);

    m_showTimer.setSingleShot(true);
    connect(&m_showTimer, &QTimer::timeout, this, &TSyncForm::ShowPendingValues);

    ApplyTexts();
}

TSyncForm::~TSyncForm() = default;

void TSyncForm::ApplyTexts()
{
    ApplyUiFont(this);
    setWindowTitle(QString::fromUtf8(Msg(kMsgSyncCaption)));
    btnCancel->setText(QString::fromUtf8(Msg(kMsgCancel)));
}

void TSyncForm::AttachWindows(TTreeVForm* preview, TresForm* results, std::function<void(const QString&)> statusSink)
{
    m_preview = preview;
    m_results = results;
    m_statusSink = std::move(statusSink);
}

bool TSyncForm::RunModal(const RunRequest& request, SyncLog& log)
{
    if (running() || request.Task == nullptr)
        return false;
    m_driver = std::make_unique<RunDriver>(*this, log);
    m_driver->SetCopyLanes(m_laneCount, m_laneProgram);
    m_request = &request;
    m_started = false;
    // The run starts from the event loop once the window is up, so the phases always run
    // inside exec() and closing the window ends exec() cleanly.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_started = m_driver->Start(*m_request);
            // A refused start that did not close the window itself must not leave exec() waiting.
            if (!m_started && isVisible())
                done(QDialog::Rejected);
        },
        Qt::QueuedConnection);
    // The main window is hidden for the run (or sits in the notification area): the run
    // window comes up in the middle of the screen instead of over it.
    if (const QScreen* where = screen()) {
        const QRect area = where->availableGeometry();
        move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    exec();
    m_request = nullptr;
    return m_started;
}

bool TSyncForm::running() const
{
    return m_driver && !m_driver->CanClose();
}

QLabel* TSyncForm::labelFor(RunLabel label) const
{
    switch (label) {
    case RunLabel::Phase:
        return Label1;
    case RunLabel::Item:
        return Label2;
    case RunLabel::Operation:
        return Label3;
    case RunLabel::Total:
        return Label4;
    case RunLabel::Progress:
        return Label5;
    }
    return nullptr;
}

void TSyncForm::SetLabel(RunLabel label, std::string_view text)
{
    std::string& value = m_values[index(label)];
    if (value == text)
        return;
    value.assign(text);
    valuesChanged();
}

void TSyncForm::SetFileGauge(int percent)
{
    if (percent == m_fileGauge)
        return;
    m_fileGauge = percent;
    valuesChanged();
}

void TSyncForm::SetTotalGauge(int percent)
{
    if (percent == m_totalGauge)
        return;
    m_totalGauge = percent;
    valuesChanged();
}

void TSyncForm::valuesChanged()
{
    m_pending = true;
    if (m_showTimer.isActive())
        return;
    // The first change after a quiet spell is shown at once (on the next pass of the event
    // loop); later ones wait for the rest of the interval.
    const qint64 since = m_sinceShown.isValid() ? m_sinceShown.elapsed() : kShowEveryMs;
    m_showTimer.start(static_cast<int>(std::max<qint64>(0, kShowEveryMs - since)));
}

void TSyncForm::ShowPendingValues()
{
    m_showTimer.stop();
    m_sinceShown.start();
    if (!m_pending)
        return;
    m_pending = false;
    for (std::size_t i = 0; i < kLabels; ++i) {
        if (m_values[i] == m_shown[i])
            continue;
        m_shown[i] = m_values[i];
        QLabel* label = labelFor(static_cast<RunLabel>(i));
        const QString value = DisplayText(m_shown[i]);
        // A long path keeps its beginning and its file name; the whole text stays in the tool tip.
        label->setToolTip(value);
        label->setText(label->fontMetrics().elidedText(value, Qt::ElideMiddle, label->width()));
    }
    // The gauges repaint only when their whole percentage changes.
    syncMeter->SetProgress(m_fileGauge);
    totMeter->SetProgress(m_totalGauge);
}

void TSyncForm::SetAnimation(bool playing)
{
    if (playing)
        SyncAnim->Play();
    else
        SyncAnim->Stop();
}

BoxAnswer TSyncForm::Ask(std::string_view text, std::string_view caption, BoxButtons buttons)
{
    // A question stops the run: the window behind it shows where it stands.
    ShowPendingValues();
    if (buttons != BoxButtons::Ok) {
        const auto pressed = Dialogs().ask(
            this, FromUtf8(caption), DisplayText(text), QMessageBox::Yes | QMessageBox::No, QMessageBox::Question,
            buttons == BoxButtons::YesNoDefaultNo ? QMessageBox::No : QMessageBox::NoButton);
        return pressed == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
    }
    // The driver's error boxes (an invalid mask) carry the error caption; they get the
    // error icon that every other "Error" box of the program shows.
    const bool isError = caption == std::string_view(Msg(kMsgErrorCaption));
    // The text may quote a mask as the user typed it.
    Dialogs().ask(this, FromUtf8(caption), DisplayText(text), QMessageBox::Ok,
                  isError ? QMessageBox::Critical : QMessageBox::Information);
    return BoxAnswer::Ok;
}

int TSyncForm::ShowPreview(RunDriver& run)
{
    ShowPendingValues();
    if (m_preview == nullptr)
        return 1;
    // The run window steps aside while the preview is up, then comes back where it was. It is
    // hidden as a plain widget: QDialog's own hide would end the exec() that the run lives in.
    const QPoint home = pos();
    QWidget::setVisible(false);
    const int result = m_preview->ShowModalFor(run);
    move(home);
    QWidget::setVisible(true);
    return result;
}

void TSyncForm::ShowResults()
{
    ShowPendingValues();
    if (m_results != nullptr)
        Dialogs().execDialog(*m_results);
}

void TSyncForm::Beep()
{
    SystemBeep();
}

void TSyncForm::SetStatusLine(std::string_view text)
{
    if (m_statusSink)
        m_statusSink(DisplayText(text));
}

void TSyncForm::ProcessPendingInput()
{
    if (m_sinceInput.isValid() && m_sinceInput.elapsed() < kInputEveryMs)
        return;
    QCoreApplication::processEvents();
    // Counted from the end: a click answered by a question box must not use up the next turn.
    m_sinceInput.start();
}

void TSyncForm::Post(RunPhase phase)
{
    QMetaObject::invokeMethod(
        this,
        [this, phase] {
            if (m_driver)
                m_driver->Dispatch(phase);
        },
        Qt::QueuedConnection);
}

void TSyncForm::CloseRunWindow()
{
    // The run's last values are what the window keeps, however soon after the one before
    // they came.
    ShowPendingValues();
    SyncAnim->Stop();
    if (m_driver)
        m_driver->FormClose();
    done(QDialog::Accepted);
}

void TSyncForm::btnCancelClick()
{
    if (m_driver)
        m_driver->CancelClick();
}

void TSyncForm::closeEvent(QCloseEvent* event)
{
    if (running()) {
        event->ignore();
        return;
    }
    if (m_driver)
        m_driver->FormClose();
    QDialog::closeEvent(event);
}

void TSyncForm::reject()
{
    // Escape asks the cancel question during a run instead of dropping the window.
    if (running()) {
        btnCancelClick();
        return;
    }
    QDialog::reject();
}

} // namespace pelmora
