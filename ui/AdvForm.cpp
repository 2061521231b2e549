#include "ui/AdvForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "core/SyncTask.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "ui/DialogService.h"
#include "ui/MainWindow.h"

namespace pelmora {

namespace {

// A mask list longer than this many bytes (line ends included) cannot be switched on.
constexpr std::size_t kMaxMaskListBytes = 255;

// A number field that accepts any digits while typing; the value is brought into range
// when it is read, so 20000 in a field of 0..10000 reads as 10000.
class TSpinField : public QSpinBox
{
public:
    TSpinField(int maximum, QWidget* parent) : QSpinBox(parent)
    {
        setRange(0, maximum);
        setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    }

    // The typed number brought into the range; text that is not a number reads as 0.
    int clampedValue() const
    {
        bool ok = false;
        const qlonglong typed = lineEdit()->text().trimmed().toLongLong(&ok);
        if (!ok)
            return 0;
        return static_cast<int>(std::clamp<qlonglong>(typed, minimum(), maximum()));
    }

protected:
    QValidator::State validate(QString& input, int&) const override
    {
        for (const QChar c : input) {
            if (!c.isDigit())
                return QValidator::Invalid;
        }
        return QValidator::Acceptable;
    }

    int valueFromText(const QString&) const override { return clampedValue(); }

public:
    void showValue(int value)
    {
        setValue(value);
        lineEdit()->setText(QString::number(this->value()));
    }
    void setMaxChars(int count) { lineEdit()->setMaxLength(count); }
};

TSpinField* spin(QSpinBox* box)
{
    return static_cast<TSpinField*>(box);
}

QPlainTextEdit* makeList(QWidget* parent, const char* name)
{
    auto* list = new QPlainTextEdit(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list->setTabChangesFocus(true);
    list->setFixedSize(129, 161);
    return list;
}

template <typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// An unchecked list may be longer than its field. It is cut after its last whole line that
// fits: a mask cut in the middle ("*.fil", or "*" alone) selects other files than the one
// written, and once the list is switched on a delete list would delete them.
std::string WholeMaskLines(std::string text)
{
    if (text.size() <= kMaxMaskListBytes)
        return text;
    const std::size_t end = text.rfind("\r\n", kMaxMaskListBytes - 2);
    text.resize(end == std::string::npos ? 0 : end + 2);
    return text;
}

} // namespace

std::string MaskListText(const QString& editorText)
{
    QStringList lines = editorText.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    std::string text;
    for (const QString& line : lines) {
        text += line.toStdString();
        text += "\r\n";
    }
    return text;
}

QString MaskListEditorText(const std::string& stored)
{
    QString text = QString::fromStdString(stored);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

TadvForm::TadvForm(TAppState& state, QWidget* parent) : QDialog(parent), m_state(state)
{
    setObjectName(QStringLiteral("advForm"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    Label2 = named(new QLabel(this), "Label2");
    Label1 = named(new QLabel(this), "Label1");
    edNetName = named(new QLineEdit(this), "edNetName");
    edNetPass = named(new QLineEdit(this), "edNetPass");
    for (QLineEdit* edit : {edNetName, edNetPass}) {
        edit->setEchoMode(QLineEdit::Password);
        edit->setMaxLength(15);
        edit->installEventFilter(this);
    }
    Label2->setBuddy(edNetName);
    Label1->setBuddy(edNetPass);

    chkOnlyType = named(new QCheckBox(this), "chkOnlyType");
    chkIgnore = named(new QCheckBox(this), "chkIgnore");
    chkDel = named(new QCheckBox(this), "chkDel");
    liOnlyType = makeList(this, "liOnlyType");
    liIgnore = makeList(this, "liIgnore");
    liDel = makeList(this, "liDel");
    connect(chkOnlyType, &QCheckBox::toggled, liOnlyType, &QWidget::setEnabled);
    connect(chkIgnore, &QCheckBox::toggled, liIgnore, &QWidget::setEnabled);
    connect(chkDel, &QCheckBox::toggled, liDel, &QWidget::setEnabled);

    chkAuto = named(new QCheckBox(this), "chkAuto");
    Label3 = named(new QLabel(this), "Label3");
    edSpeed = named(new TSpinField(10000, this), "edSpeed");
    Label4 = named(new QLabel(this), "Label4");
    edErr = named(new TSpinField(999, this), "edErr");
    Label3->setBuddy(edSpeed);
    Label4->setBuddy(edErr);
    chk1Hour = named(new QCheckBox(this), "chk1Hour");
    lbShift = named(new QLabel(this), "lbShift");
    edShift = named(new TSpinField(99, this), "edShift");
    spin(edShift)->setMaxChars(2);
    lbShift->setBuddy(edShift);

    lbDeletions = named(new QLabel(this), "lbDeletions");
    cbDeletions = named(new QComboBox(this), "cbDeletions");
    cbDeletions->addItems({QString(), QString()});
    lbDeletions->setBuddy(cbDeletions);
    chkGuard = named(new QCheckBox(this), "chkGuard");

    btnDef = named(new QPushButton(this), "btnDef");
    btnOk = named(new QPushButton(this), "btnOk");
    btnCancel = named(new QPushButton(this), "btnCancel");
    btnOk->setDefault(true);
    btnDef->setAutoDefault(false);
    btnCancel->setAutoDefault(false);
    connect(btnOk, &QPushButton::clicked, this, &TadvForm::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnDef, &QPushButton::clicked, this, &TadvForm::btnDefClick);

    auto* credentials = new QHBoxLayout;
    credentials->addWidget(Label2);
    credentials->addWidget(edNetName, 1);
    credentials->addSpacing(12);
    credentials->addWidget(Label1);
    credentials->addWidget(edNetPass, 1);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* lists = new QGridLayout;
    lists->setHorizontalSpacing(8);
    lists->addWidget(chkOnlyType, 0, 0);
    lists->addWidget(chkIgnore, 0, 1);
    lists->addWidget(chkDel, 0, 2);
    lists->addWidget(liOnlyType, 1, 0);
    lists->addWidget(liIgnore, 1, 1);
    lists->addWidget(liDel, 1, 2);

    auto* limits = new QHBoxLayout;
    limits->addWidget(chkAuto);
    limits->addStretch(1);
    limits->addWidget(Label3);
    limits->addWidget(edSpeed);
    limits->addSpacing(8);
    limits->addWidget(Label4);
    limits->addWidget(edErr);
    edSpeed->setMinimumWidth(70);
    edErr->setMinimumWidth(56);

    auto* shift = new QHBoxLayout;
    shift->addWidget(lbShift);
    shift->addWidget(edShift);
    shift->addStretch(1);
    edShift->setMinimumWidth(48);

    auto* deletions = new QHBoxLayout;
    deletions->addWidget(lbDeletions);
    deletions->addWidget(cbDeletions);
    deletions->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnDef);
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    layout->addLayout(credentials);
    layout->addLayout(lists);
    layout->addLayout(limits);
    layout->addWidget(chk1Hour);
    layout->addLayout(shift);
    layout->addLayout(deletions);
    layout->addWidget(chkGuard);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

void TadvForm::ApplyTexts()
{
    ApplyUiFont(this);
    setWindowTitle(QString::fromUtf8(Msg(kMsgAdvancedCaption)));
    chkIgnore->setText(QString::fromUtf8(Msg(kMsgIgnoreFiles)));
    chkDel->setText(QString::fromUtf8(Msg(kMsgDeleteFiles)));
    chkAuto->setText(QString::fromUtf8(Msg(kMsgAutoMode)));
    chkAuto->setToolTip(QString::fromUtf8(Msg(kMsgAutoModeHint)));
    btnDef->setText(QString::fromUtf8(Msg(kMsgDefaults)));
    btnOk->setText(QString::fromUtf8(Msg(kMsgOk)));
    btnCancel->setText(QString::fromUtf8(Msg(kMsgCancelButton)));
    Label2->setText(QString::fromUtf8(Msg(kMsgNetUserName)));
    Label1->setText(QString::fromUtf8(Msg(kMsgNetPassword)));
    Label3->setText(QString::fromUtf8(Msg(kMsgMaxSpeed)));
    chkOnlyType->setText(QString::fromUtf8(Msg(kMsgOnlySyncFiles)));
    Label4->setText(QString::fromUtf8(Msg(kMsgMaxErrors)));
    chk1Hour->setText(QString::fromUtf8(Msg(kMsgIgnoreOneHour)));
    lbShift->setText(QString::fromUtf8(Msg(kMsgTimeShiftLabel)));
    lbDeletions->setText(QString::fromUtf8(Msg(kMsgDeletionsLabel)));
    cbDeletions->setItemText(0, QString::fromUtf8(Msg(kMsgMoveToTrash)));
    cbDeletions->setItemText(1, QString::fromUtf8(Msg(kMsgDeletePermanently)));
    chkGuard->setText(QString::fromUtf8(Msg(kMsgMassDeletionGuard)));
    // The dialog keeps its designed client size unless the texts of the language need more.
    layout()->activate();
    setFixedSize(sizeHint().expandedTo(QSize(409, 335)));
}

void TadvForm::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TadvForm::applyEnabling()
{
    const TSyncTask* task = m_state.CurrentTask();
    const bool fileTask = task && task->SyncType == tyFile;
    chkIgnore->setEnabled(!fileTask);
    chkDel->setEnabled(!fileTask);
    chkOnlyType->setEnabled(true);
    if (fileTask) {
        liOnlyType->setEnabled(false);
        liIgnore->setEnabled(false);
        liDel->setEnabled(false);
    } else {
        liOnlyType->setEnabled(chkOnlyType->isChecked());
        liIgnore->setEnabled(chkIgnore->isChecked());
        liDel->setEnabled(chkDel->isChecked());
    }
}

void TadvForm::FormShow()
{
    const TSyncTask* task = m_state.CurrentTask();
    btnOk->setEnabled(task != nullptr);
    if (!task)
        return;
    chkOnlyType->setChecked(IsSet(task->OnlyTypeOn));
    liOnlyType->setPlainText(MaskListEditorText(ReadCountedField(task->OnlyTypeList)));
    chkIgnore->setChecked(IsSet(task->IgnoreOn));
    liIgnore->setPlainText(MaskListEditorText(ReadCountedField(task->IgnoreList)));
    chkDel->setChecked(IsSet(task->DelOn));
    liDel->setPlainText(MaskListEditorText(ReadCountedField(task->DelList)));
    chkAuto->setChecked(IsSet(task->AutoMode));
    edNetName->setText(QString::fromStdString(ReadCountedField(task->NetName)));
    edNetPass->setText(QString::fromStdString(ReadCountedField(task->NetPass)));
    spin(edSpeed)->showValue(std::clamp<std::int32_t>(task->Speed, 0, 10000));
    spin(edErr)->showValue(std::clamp<int>(task->MaxErr, 0, 999));
    chk1Hour->setChecked(IsSet(task->Ignore1Hour));
    const double seconds = std::isfinite(task->TimeShift) ? std::round(task->TimeShift * 86400.0) : 0.0;
    spin(edShift)->showValue(static_cast<int>(std::clamp(seconds, 0.0, 99.0)));
    cbDeletions->setCurrentIndex(DeletesToTrash(*task) ? 0 : 1);
    chkGuard->setChecked(GuardsMassDeletion(*task));
    applyEnabling();
    edNetName->setFocus();
}

void TadvForm::btnOkClick()
{
    TSyncTask* task = m_state.CurrentTask();
    if (!task) {
        reject();
        return;
    }
    const std::pair<QCheckBox*, QPlainTextEdit*> checked[] = {
        {chkOnlyType, liOnlyType}, {chkIgnore, liIgnore}, {chkDel, liDel}};
    for (const auto& [box, list] : checked) {
        if (box->isChecked() && MaskListText(list->toPlainText()).size() > kMaxMaskListBytes) {
            Dialogs().ask(this, QString::fromUtf8(Msg(kMsgErrorCaption)), QString::fromUtf8(Msg(kMsgTooManyFiles)),
                          QMessageBox::Ok, QMessageBox::Critical);
            list->setFocus();
            return;
        }
    }

    task->IgnoreOn = ToFlag(chkIgnore->isChecked());
    WriteCountedField(task->IgnoreList, WholeMaskLines(MaskListText(liIgnore->toPlainText())));
    task->DelOn = ToFlag(chkDel->isChecked());
    WriteCountedField(task->DelList, WholeMaskLines(MaskListText(liDel->toPlainText())));
    task->OnlyTypeOn = ToFlag(chkOnlyType->isChecked());
    WriteCountedField(task->OnlyTypeList, WholeMaskLines(MaskListText(liOnlyType->toPlainText())));
    task->AutoMode = ToFlag(chkAuto->isChecked());
    WriteCountedField(task->NetName, edNetName->text().toStdString());
    WriteCountedField(task->NetPass, edNetPass->text().toStdString());
    task->Speed = spin(edSpeed)->clampedValue();
    task->MaxErr = static_cast<std::uint16_t>(spin(edErr)->clampedValue());
    task->Ignore1Hour = ToFlag(chk1Hour->isChecked());
    task->TimeShift = spin(edShift)->clampedValue() / 86400.0 + 0.00000001;
    task->Reserved[kReservedDeletions] = cbDeletions->currentIndex() == 1 ? kReservedOff : 0;
    task->Reserved[kReservedGuard] = chkGuard->isChecked() ? 0 : kReservedOff;
    m_state.Modified = true;
    accept();
}

void TadvForm::btnDefClick()
{
    chkOnlyType->setChecked(false);
    chkIgnore->setChecked(true);
    liIgnore->setPlainText(MaskListEditorText("*.tmp\r\n*.bak\r\n*.~*\r\n"));
    chkDel->setChecked(false);
    chkAuto->setChecked(false);
}

bool TadvForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn && (watched == edNetName || watched == edNetPass)) {
        // A mouse click places the cursor after the focus arrives, so select once the
        // click has been handled.
        auto* edit = static_cast<QLineEdit*>(watched);
        QTimer::singleShot(0, edit, &QLineEdit::selectAll);
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace pelmora
