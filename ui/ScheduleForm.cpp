#include "ui/ScheduleForm.h"

#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>
#include <initializer_list>
#include <memory>

#include "core/DateTime.h"
#include "core/Utf8.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/Clock.h"
#include "ui/AppState.h"
#include "ui/DialogService.h"
#include "ui/MainWindow.h"

namespace pelmora {

namespace {

constexpr int kSecondsPerDay = 24 * 60 * 60;
// The dialog's designed size: its default and its smallest.
constexpr QSize kDesignedSize(444, 337);
constexpr std::size_t kMaxNameBytes = sizeof TShortString::data;

QString msg(int n)
{
    return QString::fromUtf8(Msg(n));
}

template <typename T> T* named(T* object, const char* name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

std::string cutName(const QString& text)
{
    return std::string(CutUtf8(text.toStdString(), kMaxNameBytes));
}

} // namespace

QChar TimeSeparator(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    qsizetype i = 0;
    while (i < format.size() && format[i] != QLatin1Char('h') && format[i] != QLatin1Char('H'))
        ++i;
    while (i < format.size() && (format[i] == QLatin1Char('h') || format[i] == QLatin1Char('H')))
        ++i;
    if (i < format.size() && !format[i].isLetterOrNumber() && !format[i].isSpace() && format[i] != QLatin1Char('\''))
        return format[i];
    return QLatin1Char(':');
}

QString ScheduleTimeText(double days, QChar separator)
{
    if (!std::isfinite(days))
        days = 0;
    long long seconds = std::llround((days - std::floor(days)) * kSecondsPerDay);
    seconds %= kSecondsPerDay;
    const QTime time = QTime(0, 0).addSecs(static_cast<int>(seconds));
    const QString sep(separator);
    return time.toString(QStringLiteral("hh'%1'mm'%1'ss").arg(sep));
}

bool ParseScheduleTime(const QString& text, double& time)
{
    QString cleaned = text;
    cleaned.remove(QLatin1Char('_'));
    cleaned.remove(QLatin1Char(' '));
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2})[^\\d](\\d{1,2})[^\\d](\\d{1,2})$"));
    const QRegularExpressionMatch match = pattern.match(cleaned);
    if (!match.hasMatch())
        return false;
    const int h = match.captured(1).toInt();
    const int m = match.captured(2).toInt();
    const int s = match.captured(3).toInt();
    if (h > 23 || m > 59 || s > 59)
        return false;
    time = (h * 3600 + m * 60 + s) / static_cast<double>(kSecondsPerDay);
    return true;
}

QString ScheduleDateTimeFormat(const QLocale& locale)
{
    // The short date and the long time without its time zone: an entry's time is local and
    // may have seconds. Some locales' data use the day-period letter B, which Qt cannot
    // write; the AM/PM marker stands in for it.
    const QString time = locale.timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (const QChar c : time) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && (c == QLatin1Char('t') || c == QLatin1Char('[') || c == QLatin1Char(']')))
            continue;
        if (!quoted && c == QLatin1Char('B')) {
            kept += QLatin1String("AP");
            continue;
        }
        kept += c;
    }
    return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + kept.trimmed();
}

QString ScheduleDateTimeText(double days)
{
    const LocalDateTime value = DecodeDateTime(days);
    const QDateTime shown(QDate(value.year, value.month, value.day), QTime(value.hour, value.minute, value.second));
    const QLocale locale;
    return locale.toString(shown, ScheduleDateTimeFormat(locale));
}

TfmTask::TfmTask(QWidget* parent) : QDialog(parent), m_main(qobject_cast<TcltForm*>(parent)), m_trigger(SystemClock())
{
    if (m_main) {
        m_state = &m_main->State();
    } else {
        m_ownState = std::make_unique<TAppState>();
        m_state = m_ownState.get();
    }
    init();
}

TfmTask::TfmTask(TAppState& state, QWidget* parent)
    : QDialog(parent), m_state(&state), m_main(qobject_cast<TcltForm*>(parent)), m_trigger(SystemClock())
{
    init();
}

TfmTask::~TfmTask() = default;

void TfmTask::init()
{
    setObjectName(QStringLiteral("fmTask"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setModal(true);
    buildControls();
    ApplyDesignedSize(this, layout(), kDesignedSize, m_sizedOnce);
    if (m_main) {
        m_onFired = [main = m_main] { QMetaObject::invokeMethod(main, &TcltForm::OnDoSchedule, Qt::QueuedConnection); };
    }
}

void TfmTask::buildControls()
{
    ListBox1 = named(new QListWidget(this), "ListBox1");
    ListBox1->setMinimumSize(153, 120);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    Button1 = named(new QPushButton(this), "Button1");
    Button2 = named(new QPushButton(this), "Button2");
    Button3 = named(new QPushButton(this), "Button3");
    for (QPushButton* button : {Button1, Button2, Button3}) {
        button->setAutoDefault(false);
        button->setMinimumSize(74, 25);
    }

    Label1 = named(new QLabel(this), "Label1");
    Edit1 = named(new QLineEdit(this), "Edit1");
    Label1->setBuddy(Edit1);

    Label2 = named(new QLabel(this), "Label2");
    ComboBox1 = named(new QComboBox(this), "ComboBox1");
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    Label2->setBuddy(ComboBox1);

    ComboBox2 = named(new QComboBox(this), "ComboBox2");
    ComboBox2->setFixedWidth(128);
    ComboBox3 = named(new QComboBox(this), "ComboBox3");
    ComboBox3->setFixedWidth(128);
    ComboBox3->setVisible(false);

    Label3 = named(new QLabel(this), "Label3");
    MaskEdit1 = named(new QLineEdit(this), "MaskEdit1");
    MaskEdit1->setFixedWidth(90);
    // Hours take one or two digits, minutes and seconds two each, between them the locale's
    // time separator; blanks show as '_'.
    m_timeSeparator = TimeSeparator(QLocale());
    const QString sep = QStringLiteral("\\") + m_timeSeparator;
    MaskEdit1->setInputMask(QStringLiteral("09") + sep + QStringLiteral("99") + sep + QStringLiteral("99;_"));
    MaskEdit1->setMaxLength(8);
    Label3->setBuddy(MaskEdit1);

    Label4 = named(new QLabel(this), "Label4");
    edRep = named(new QSpinBox(this), "edRep");
    edRep->setFixedWidth(70);
    edRep->setRange(-1, 999);
    Label4->setBuddy(edRep);
    Label5 = named(new QLabel(this), "Label5");

    lbNext = named(new QLabel(this), "lbNext");
    lbNext->setMinimumHeight(44);
    lbNext->setWordWrap(true);
    lbNext->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The fields keep their width; the list of entries takes whatever a larger dialog gives.
    auto row = [](std::initializer_list<QWidget*> widgets, bool stretch) {
        auto* line = new QHBoxLayout;
        line->setSpacing(8);
        for (QWidget* w : widgets)
            line->addWidget(w);
        if (stretch)
            line->addStretch(1);
        return line;
    };
    auto* fields = new QVBoxLayout;
    fields->setContentsMargins(0, 0, 0, 0);
    fields->setSpacing(0);
    fields->addWidget(Label1);
    fields->addWidget(Edit1);
    fields->addSpacing(8);
    fields->addWidget(Label2);
    fields->addWidget(ComboBox1);
    fields->addSpacing(12);
    fields->addLayout(row({ComboBox2, ComboBox3}, true));
    fields->addSpacing(10);
    fields->addWidget(Label3);
    fields->addLayout(row({MaskEdit1}, true));
    fields->addSpacing(10);
    fields->addWidget(Label4);
    fields->addLayout(row({edRep, Label5}, false));
    fields->addSpacing(12);
    fields->addWidget(lbNext);
    fields->addStretch(1);
    auto* right = named(new QWidget(this), "ScheduleFields");
    right->setFixedWidth(264);
    right->setLayout(fields);

    QHBoxLayout* listButtons = row({Button1, Button2}, true);
    listButtons->setSpacing(5);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 7);
    grid->setHorizontalSpacing(11);
    grid->setVerticalSpacing(8);
    grid->addWidget(ListBox1, 0, 0);
    grid->addWidget(right, 0, 1);
    grid->addLayout(listButtons, 1, 0);
    grid->addWidget(Button3, 1, 1, Qt::AlignRight);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(0, 1);

    connect(ListBox1, &QListWidget::itemSelectionChanged, this, &TfmTask::ListBox1Click);
    connect(Button1, &QPushButton::clicked, this, &TfmTask::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfmTask::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TfmTask::Button3Click);
    connect(Edit1, &QLineEdit::textChanged, this, &TfmTask::Edit1Change);
    connect(ComboBox1, &QComboBox::editTextChanged, this, [this] { FieldChange(ComboBox1); });
    connect(ComboBox2, &QComboBox::currentIndexChanged, this, [this] { FieldChange(ComboBox2); });
    connect(ComboBox3, &QComboBox::currentIndexChanged, this, [this] { FieldChange(ComboBox3); });
    connect(MaskEdit1, &QLineEdit::textChanged, this, [this] { FieldChange(MaskEdit1); });
    connect(edRep, &QSpinBox::valueChanged, this, [this] { FieldChange(edRep); });
    Edit1->installEventFilter(this);
    MaskEdit1->installEventFilter(this);
}

void TfmTask::ApplyTexts()
{
    ApplyUiFont(this);
    setWindowTitle(msg(kMsgTaskSchedule));
    Label1->setText(msg(kMsgScheduleTaskName));
    Label2->setText(msg(kMsgPerformSync));
    Label3->setText(msg(kMsgScheduleTime));
    Label4->setText(msg(kMsgRepeatCount));
    Label5->setText(msg(kMsgRepeatNoLimit));
    Button1->setText(msg(kMsgAddSchedule));
    Button2->setText(msg(kMsgDeleteSchedule));
    Button3->setText(msg(kMsgClose));
    const bool wasLoading = state().Loading;
    state().Loading = true;
    for (int n : {kMsgKindInterval, kMsgKindEveryDay, kMsgKindEveryWeek})
        ComboBox2->addItem(msg(n));
    for (int n = kMsgSunday; n <= kMsgSaturday; ++n)
        ComboBox3->addItem(msg(n));
    state().Loading = wasLoading;
    ApplyDesignedSize(this, layout(), kDesignedSize, m_sizedOnce);
}

void TfmTask::SetClock(const Clock& clock)
{
    m_trigger.SetClock(clock);
}

void TfmTask::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfmTask::FormShow()
{
    {
        const QSignalBlocker blocker(ListBox1);
        ListBox1->clear();
        for (const auto& entry : state().ScheduleList)
            ListBox1->addItem(QString::fromStdString(ReadShortString(entry->Name)));
        ListBox1->setCurrentRow(-1);
        ListBox1->clearSelection();
    }
    const bool wasLoading = state().Loading;
    state().Loading = true;
    ComboBox1->clear();
    for (const std::string& name : state().TaskNames)
        ComboBox1->addItem(QString::fromStdString(name));
    state().Loading = wasLoading;
    lbNext->setText(msg(kMsgNextRunLabel));
    ListBox1Click();
}

void TfmTask::showNextRun()
{
    // An entry that is not armed never fires: its stored zero is no time to show.
    if (m_current && m_current->RepeatCount != 0 && IsArmed(*m_current))
        lbNext->setText(msg(kMsgNextRunLabel) + ScheduleDateTimeText(m_current->NextRun));
    else
        lbNext->setText(msg(kMsgNextRunLabel));
}

void TfmTask::ListBox1Click()
{
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    const int row = selected.isEmpty() ? -1 : ListBox1->row(selected.constFirst());
    auto& list = state().ScheduleList;
    m_current =
        row >= 0 && static_cast<std::size_t>(row) < list.size() ? list[static_cast<std::size_t>(row)].get() : nullptr;
    m_nameRefused = false;
    m_timeRefused = false;
    state().Loading = true;
    const bool on = m_current != nullptr;
    for (QWidget* w : std::initializer_list<QWidget*>{Edit1, ComboBox1, ComboBox2, MaskEdit1, edRep, ComboBox3})
        w->setEnabled(on);
    if (on) {
        Edit1->setText(QString::fromStdString(ReadShortString(m_current->Name)));
        ComboBox1->setEditText(QString::fromStdString(ReadShortString(m_current->TaskName)));
        ComboBox2->setCurrentIndex(m_current->Kind <= skWeekly ? m_current->Kind : -1);
        ComboBox2Change();
        MaskEdit1->setText(ScheduleTimeText(m_current->Time, m_timeSeparator));
        edRep->setValue(m_current->RepeatCount);
        showNextRun();
    } else {
        Edit1->clear();
        ComboBox1->setEditText(QString());
        ComboBox2->setCurrentIndex(0);
        ComboBox2Change();
        MaskEdit1->setText(ScheduleTimeText(1.0 / 24, m_timeSeparator));
        edRep->setValue(0);
    }
    state().Loading = false;
}

void TfmTask::ComboBox2Change()
{
    {
        // Showing the entry's weekday is no edit of it.
        const QSignalBlocker blocker(ComboBox3);
        const int weekDay = m_current ? m_current->WeekDay : 1;
        ComboBox3->setCurrentIndex(weekDay >= 1 && weekDay <= 7 ? weekDay - 1 : -1);
    }
    ComboBox3->setVisible(ComboBox2->currentIndex() > 1);
}

void TfmTask::FieldChange(QObject* sender)
{
    if (state().Loading)
        return;
    if (sender == ComboBox2)
        ComboBox2Change();
    if (m_current) {
        WriteShortString(m_current->TaskName, ComboBox1->currentText().toStdString());
        if (ComboBox2->currentIndex() >= 0)
            m_current->Kind = static_cast<std::uint8_t>(ComboBox2->currentIndex());
        if (ComboBox3->currentIndex() >= 0)
            m_current->WeekDay = static_cast<std::uint8_t>(ComboBox3->currentIndex() + 1);
        m_current->RepeatCount = static_cast<std::int16_t>(edRep->value());
        m_current->NextRun = 0;
        if (sender != MaskEdit1) {
            ComputeNextRun(*m_current, m_trigger.clock());
            showNextRun();
        }
    }
    state().Modified = true;
}

void TfmTask::MaskEdit1Exit()
{
    double time = 0;
    if (ParseScheduleTime(MaskEdit1->text(), time)) {
        m_timeRefused = false;
        if (m_current)
            m_current->Time = time;
        FieldChange(nullptr);
        return;
    }
    m_timeRefused = true;
    Dialogs().error(this, msg(kMsgInvalidTime));
    MaskEdit1->setFocus(Qt::OtherFocusReason);
}

void TfmTask::Edit1Enter()
{
    // A refused name stays marked, so that leaving the field again checks it again.
    if (!m_nameRefused)
        Edit1->setModified(false);
}

void TfmTask::Edit1Change()
{
    if (!state().Loading)
        state().Modified = true;
}

void TfmTask::Edit1Exit()
{
    if (!Edit1->isModified() || !m_current)
        return;
    const int selected = ListBox1->currentRow();
    // The name is checked as it would be stored: two texts that differ only after the
    // 15th byte would otherwise both be accepted and end up equal.
    const std::string wanted = cutName(Edit1->text());
    const auto& list = state().ScheduleList;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (static_cast<int>(i) == selected)
            continue;
        if (ReadShortString(list[i]->Name) == wanted) {
            m_nameRefused = true;
            Dialogs().error(this, msg(kMsgScheduleNameExists));
            Edit1->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    m_nameRefused = false;
    WriteShortString(m_current->Name, wanted);
    if (QListWidgetItem* line = ListBox1->item(selected))
        line->setText(QString::fromStdString(wanted));
}

void TfmTask::Button1Click()
{
    auto& list = state().ScheduleList;
    list.push_back(NewScheduleItem(list));
    {
        const QSignalBlocker blocker(ListBox1);
        ListBox1->addItem(QString::fromStdString(ReadShortString(list.back()->Name)));
        ListBox1->setCurrentRow(ListBox1->count() - 1, QItemSelectionModel::ClearAndSelect);
    }
    state().Modified = true;
    ListBox1Click();
}

void TfmTask::Button2Click()
{
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = ListBox1->row(selected.constFirst());
    auto& list = state().ScheduleList;
    {
        const QSignalBlocker blocker(ListBox1);
        delete ListBox1->takeItem(row);
        ListBox1->clearSelection();
        ListBox1->setCurrentRow(-1);
    }
    m_current = nullptr;
    if (row >= 0 && static_cast<std::size_t>(row) < list.size())
        list.erase(list.begin() + row);
    state().Modified = true;
    ListBox1Click();
}

void TfmTask::Button3Click()
{
    close();
}

void TfmTask::done(int result)
{
    if (m_current && !m_inExit) {
        m_inExit = true;
        if (Edit1->hasFocus() && Edit1->isModified() && !m_nameRefused) {
            Edit1Exit();
            if (m_nameRefused) {
                m_inExit = false;
                return;
            }
        } else if (MaskEdit1->hasFocus() && !m_timeRefused) {
            MaskEdit1Exit();
            if (m_timeRefused) {
                m_inExit = false;
                return;
            }
        }
        m_inExit = false;
    }
    QDialog::done(result);
}

void TfmTask::OnCheckSche()
{
    const std::int16_t countBefore = m_current ? m_current->RepeatCount : 0;
    const double nextBefore = m_current ? m_current->NextRun : 0;
    const bool fired = m_trigger.OnCheckSche(state().ScheduleList);
    // The check may move on the entry the dialog shows; the dialog follows, so that its
    // next edit does not write the old repeat count back.
    if (m_current && (m_current->RepeatCount != countBefore || m_current->NextRun != nextBefore)) {
        const bool wasLoading = state().Loading;
        state().Loading = true;
        edRep->setValue(m_current->RepeatCount);
        showNextRun();
        state().Loading = wasLoading;
    }
    if (fired && m_onFired)
        m_onFired();
}

bool TfmTask::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn && watched == Edit1) {
        Edit1Enter();
    } else if (event->type() == QEvent::FocusOut && (watched == Edit1 || watched == MaskEdit1)) {
        // Switching to another program or opening a popup is not leaving the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && !m_inExit) {
            m_inExit = true;
            if (watched == Edit1)
                Edit1Exit();
            else if (m_current)
                MaskEdit1Exit();
            m_inExit = false;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace pelmora
