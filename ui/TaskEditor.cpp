#include "ui/TaskEditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <initializer_list>
#include <utility>

#include "core/SyncTask.h"
#include "core/Utf8.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/PathText.h"
#include "platform/widgets/DirDialog.h"
#include "ui/AdvForm.h"
#include "ui/DialogService.h"
#include "ui/DirForm.h"

namespace pelmora {

namespace {

// The record keeps this many bytes of the folder list; a longer list would lose the end of
// an entry.
constexpr std::size_t kMaxExcludeListBytes = 1023;

QString msg(int n)
{
    return QString::fromUtf8(Msg(n));
}

template <typename T> T* named(T* object, const char* name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// A multi-line text as the record keeps it: lines ended by CR LF between them.
std::string toStoredLines(const QString& text)
{
    QString stored = text;
    stored.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return stored.toStdString();
}

QString fromStoredLines(const std::string& text)
{
    QString shown = fromStd(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return shown;
}

} // namespace

TTaskEditor::TTaskEditor(TAppState& state, TSDirDlg& dirDialog, QWidget* parent)
    : QWidget(parent), m_state(state), m_dirDialog(dirDialog)
{
    setObjectName(QStringLiteral("TaskEditor"));
    buildControls();
}

void TTaskEditor::AttachDialogs(TdirForm* dirForm, TadvForm* advForm)
{
    m_dirForm = dirForm;
    m_advForm = advForm;
}

void TTaskEditor::buildControls()
{
    edDesc = named(new QPlainTextEdit(this), "edDesc");
    edDesc->setMinimumSize(190, 90);
    edDesc->setTabChangesFocus(true);

    Label6 = named(new QLabel(this), "Label6");
    edName = named(new QLineEdit(this), "edName");
    edName->setMaxLength(15);
    edName->installEventFilter(this);
    Label6->setBuddy(edName);
    Label5 = named(new QLabel(this), "Label5");
    edType = named(new QComboBox(this), "edType");
    Label5->setBuddy(edType);
    chkIntoSub = named(new QCheckBox(this), "chkIntoSub");

    Label2 = named(new QLabel(this), "Label2");
    edMainDir = named(new QLineEdit(this), "edMainDir");
    edMainDir->setMaxLength(512);
    BrMain = named(new QPushButton(this), "BrMain");
    Label2->setBuddy(edMainDir);
    Label3 = named(new QLabel(this), "Label3");
    edMirrorDir = named(new QLineEdit(this), "edMirrorDir");
    edMirrorDir->setMaxLength(512);
    BrMirror = named(new QPushButton(this), "BrMirror");
    Label3->setBuddy(edMirrorDir);

    Label4 = named(new QRadioButton(this), "Label4");
    rdOnly = named(new QRadioButton(this), "rdOnly");
    Label4->setChecked(true);
    liExclude = named(new QListWidget(this), "liExclude");
    liExclude->setSelectionMode(QAbstractItemView::SingleSelection);
    liExclude->setMinimumHeight(84);
    AddEx = named(new QPushButton(this), "AddEx");
    DelEx = named(new QPushButton(this), "DelEx");

    GroupBox1 = named(new QGroupBox(this), "GroupBox1");
    Label8 = named(new QLabel(GroupBox1), "Label8");
    Label9 = named(new QLabel(GroupBox1), "Label9");
    Label10 = named(new QLabel(GroupBox1), "Label10");
    Label11 = named(new QLabel(GroupBox1), "Label11");
    Label12 = named(new QLabel(GroupBox1), "Label12");
    Label13 = named(new QLabel(GroupBox1), "Label13");
    cbInMain = named(new QComboBox(GroupBox1), "cbInMain");
    cbInMirror = named(new QComboBox(GroupBox1), "cbInMirror");
    cbSizeDiffer = named(new QComboBox(GroupBox1), "cbSizeDiffer");
    cbNewInMain = named(new QComboBox(GroupBox1), "cbNewInMain");
    cbNewInMirror = named(new QComboBox(GroupBox1), "cbNewInMirror");
    cbEmptyDir = named(new QComboBox(GroupBox1), "cbEmptyDir");
    btnAdv = named(new QPushButton(this), "btnAdv");

    // Every editor control stores the whole editor when it changes.
    connect(edName, &QLineEdit::textChanged, this, &TTaskEditor::FieldChange);
    connect(edDesc, &QPlainTextEdit::textChanged, this, &TTaskEditor::FieldChange);
    connect(edMainDir, &QLineEdit::textChanged, this, &TTaskEditor::FieldChange);
    connect(edMirrorDir, &QLineEdit::textChanged, this, &TTaskEditor::FieldChange);
    connect(chkIntoSub, &QCheckBox::toggled, this, &TTaskEditor::FieldChange);
    for (QComboBox* box : {cbInMain, cbInMirror, cbSizeDiffer, cbNewInMain, cbNewInMirror, cbEmptyDir})
        connect(box, &QComboBox::currentIndexChanged, this, &TTaskEditor::FieldChange);
    connect(edType, &QComboBox::activated, this, [this](int index) {
        edTypeClick(index);
        edTypeChange();
    });
    // Either radio button's click (Label4Click, rdOnlyClick) stores the choice.
    connect(Label4, &QRadioButton::toggled, this, &TTaskEditor::rdOnlyClick);
    connect(rdOnly, &QRadioButton::toggled, this, &TTaskEditor::rdOnlyClick);
    connect(BrMain, &QPushButton::clicked, this, &TTaskEditor::BrMainClick);
    connect(BrMirror, &QPushButton::clicked, this, &TTaskEditor::BrMirrorClick);
    connect(AddEx, &QPushButton::clicked, this, &TTaskEditor::AddExClick);
    connect(DelEx, &QPushButton::clicked, this, &TTaskEditor::DelExClick);
    connect(btnAdv, &QPushButton::clicked, this, &TTaskEditor::btnAdvClick);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(Label6);
    nameRow->addWidget(edName, 1);
    nameRow->addSpacing(10);
    nameRow->addWidget(Label5);
    nameRow->addWidget(edType);
    nameRow->addSpacing(10);
    nameRow->addWidget(chkIntoSub);
    edName->setMinimumWidth(110);
    edType->setMinimumWidth(80);

    auto* folders = new QGridLayout;
    folders->setHorizontalSpacing(6);
    folders->addWidget(Label2, 0, 0);
    folders->addWidget(edMainDir, 0, 1);
    folders->addWidget(BrMain, 0, 2);
    folders->addWidget(Label3, 1, 0);
    folders->addWidget(edMirrorDir, 1, 1);
    folders->addWidget(BrMirror, 1, 2);
    folders->setColumnStretch(1, 1);

    auto* radios = new QHBoxLayout;
    radios->addWidget(Label4);
    radios->addSpacing(16);
    radios->addWidget(rdOnly);
    radios->addStretch(1);

    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(AddEx);
    listButtons->addWidget(DelEx);
    listButtons->addStretch(1);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(liExclude, 1);
    listRow->addLayout(listButtons);

    auto* options = new QGridLayout(GroupBox1);
    options->setHorizontalSpacing(8);
    options->setVerticalSpacing(4);
    const std::pair<QLabel*, QComboBox*> rows[] = {{Label8, cbInMain},       {Label9, cbInMirror},
                                                   {Label10, cbSizeDiffer},  {Label11, cbNewInMain},
                                                   {Label12, cbNewInMirror}, {Label13, cbEmptyDir}};
    int row = 0;
    for (const auto& [label, box] : rows) {
        label->setBuddy(box);
        box->setMinimumWidth(140);
        options->addWidget(label, row, 0);
        options->addWidget(box, row, 1);
        ++row;
    }
    options->setColumnStretch(0, 1);

    auto* advRow = new QHBoxLayout;
    advRow->addStretch(1);
    advRow->addWidget(btnAdv);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addLayout(nameRow);
    column->addLayout(folders);
    column->addLayout(radios);
    // The folder list takes the height a larger window gives.
    column->addLayout(listRow, 1);
    column->addWidget(GroupBox1);
    column->addLayout(advRow);
}

void TTaskEditor::ApplyTexts()
{
    Label6->setText(msg(kMsgTaskNameLabel));
    Label2->setText(msg(kMsgHostFolderLabel));
    Label3->setText(msg(kMsgMirrorFolderLabel));
    BrMain->setText(msg(kMsgBrowse));
    BrMirror->setText(msg(kMsgBrowse));
    chkIntoSub->setText(msg(kMsgIncludeSubFolders));
    Label4->setText(msg(kMsgExcludeFolders));
    rdOnly->setText(msg(kMsgOnlyIncludeFolders));
    AddEx->setText(msg(kMsgAddFolder));
    DelEx->setText(msg(kMsgDeleteFolder));
    GroupBox1->setTitle(msg(kMsgSyncOptions));
    const std::pair<QLabel*, int> labels[] = {{Label8, kMsgOnlyInHost},     {Label9, kMsgOnlyInMirror},
                                              {Label10, kMsgSizeDiffers},   {Label11, kMsgNewerInHost},
                                              {Label12, kMsgNewerInMirror}, {Label13, kMsgEmptyFolder}};
    for (const auto& [label, message] : labels)
        label->setText(msg(message));
    for (std::size_t code = 0; code < m_state.ActionNames.size(); ++code)
        m_state.ActionNames[code] = ActionName(static_cast<int>(code));

    const bool wasLoading = m_state.Loading;
    m_state.Loading = true;
    // Each box offers the actions that make sense for its kind of difference.
    auto refill = [](QComboBox* box, std::initializer_list<TAction> codes) {
        box->clear();
        for (TAction code : codes)
            box->addItem(QString::fromUtf8(ActionName(code)));
    };
    refill(cbInMain, {acIgnore, acHostToMirror, acDelete});
    refill(cbInMirror, {acIgnore, acMirrorToHost, acDelete});
    refill(cbSizeDiffer, {acIgnore, acHostToMirror, acMirrorToHost});
    refill(cbNewInMain, {acIgnore, acHostToMirror, acMirrorToHost});
    refill(cbNewInMirror, {acIgnore, acHostToMirror, acMirrorToHost});
    refill(cbEmptyDir, {acIgnore, acHostToMirror, acMirrorToHost, acDelete});
    Label5->setText(msg(kMsgSyncTypeLabel));
    edType->addItem(msg(kMsgSyncTypeFolder));
    edType->addItem(msg(kMsgSyncTypeFile));
    edType->setCurrentIndex(0);
    m_state.Loading = wasLoading;

    btnAdv->setText(msg(kMsgAdvancedButton));
}

QString TTaskEditor::HostFolderText() const
{
    return edMainDir->text();
}

QString TTaskEditor::MirrorFolderText() const
{
    return edMirrorDir->text();
}

void TTaskEditor::ShowTask()
{
    m_state.Loading = true;
    TSyncTask* task = m_state.CurrentTask();
    if (!task) {
        m_state.CurrentIndex = -1;
        ClearEditor();
        EnableEditor(false);
    } else {
        edName->setText(fromStd(m_state.TaskNames[static_cast<std::size_t>(m_state.CurrentIndex)]));
        edType->setCurrentIndex(task->SyncType == tyFile ? 1 : 0);
        edTypeChange();
        edDesc->setPlainText(fromStoredLines(ReadTextField(task->Desc)));
        edMainDir->setText(fromStd(ReadTextField(task->MainDir)));
        edMirrorDir->setText(fromStd(ReadTextField(task->MirrorDir)));
        chkIntoSub->setChecked(IsSet(task->IntoSub));
        liExclude->clear();
        const QString lists = fromStd(ReadTextField(task->ExcludeList));
        for (const QString& line : lists.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")), Qt::SkipEmptyParts))
            liExclude->addItem(line);
        auto show = [this](QComboBox* box, TAction code) {
            const QString name = static_cast<std::size_t>(code) < m_state.ActionNames.size()
                                     ? fromStd(m_state.ActionNames[code])
                                     : QString();
            box->setCurrentIndex(box->findText(name, Qt::MatchExactly));
        };
        show(cbInMain, task->InMain);
        show(cbInMirror, task->InMirror);
        show(cbSizeDiffer, task->SizeDiffer);
        show(cbNewInMain, task->NewInMain);
        show(cbNewInMirror, task->NewInMirror);
        show(cbEmptyDir, task->EmptyDir);
        // A file list is never a list of folders to walk, whatever the record says.
        const bool onlyDirs = IsSet(task->OnlyDirs) && task->SyncType != tyFile;
        Label4->setChecked(!onlyDirs);
        rdOnly->setChecked(onlyDirs);
        EnableEditor(true);
    }
    m_state.Loading = false;
}

void TTaskEditor::ClearEditor()
{
    edName->clear();
    edDesc->clear();
    edMainDir->clear();
    edMirrorDir->clear();
    liExclude->clear();
    edType->setCurrentIndex(0);
    edTypeChange();
    chkIntoSub->setChecked(false);
    Label4->setChecked(true);
    for (QComboBox* box : {cbInMain, cbInMirror, cbSizeDiffer, cbNewInMain, cbNewInMirror, cbEmptyDir})
        box->setCurrentIndex(0);
}

void TTaskEditor::EnableEditor(bool on)
{
    for (QWidget* w : std::initializer_list<QWidget*>{
             edName, edType, edDesc, edMainDir, edMirrorDir, liExclude, Label4, rdOnly, cbInMain, cbInMirror,
             cbSizeDiffer, cbNewInMain, cbNewInMirror, cbEmptyDir, BrMain, BrMirror, AddEx, DelEx, btnAdv})
        w->setEnabled(on);
    if (!on)
        chkIntoSub->setEnabled(false);
    else if (edType->currentIndex() == tyFile)
        rdOnly->setEnabled(false);
}

TAction TTaskEditor::TextToAction(const QString& text) const
{
    for (std::size_t code = 0; code < m_state.ActionNames.size(); ++code) {
        if (fromStd(m_state.ActionNames[code]) == text)
            return static_cast<TAction>(code);
    }
    return acIgnore;
}

QString TTaskEditor::exclusionText() const
{
    QString text;
    for (int i = 0; i < liExclude->count(); ++i)
        text += liExclude->item(i)->text() + QLatin1String("\r\n");
    return text;
}

void TTaskEditor::FieldChange()
{
    TSyncTask* task = m_state.CurrentTask();
    if (m_state.Loading || !task)
        return;
    const int index = m_state.CurrentIndex;
    // A name longer than the box holds (read from a file) is shown cut; it is only replaced
    // once the user edits the name, never by an edit of another field.
    if (edName->isModified()) {
        m_state.TaskNames[static_cast<std::size_t>(index)] = edName->text().toStdString();
        emit NameEdited(index, edName->text());
    }
    task->SyncType = edType->currentIndex() == 1 ? tyFile : tyFolder;
    WriteTextField(task->Desc, toStoredLines(edDesc->toPlainText()));
    task->InMain = TextToAction(cbInMain->currentText());
    task->InMirror = TextToAction(cbInMirror->currentText());
    task->SizeDiffer = TextToAction(cbSizeDiffer->currentText());
    task->NewInMain = TextToAction(cbNewInMain->currentText());
    task->NewInMirror = TextToAction(cbNewInMirror->currentText());
    task->EmptyDir = TextToAction(cbEmptyDir->currentText());
    task->IntoSub = ToFlag(chkIntoSub->isChecked());
    WriteTextField(task->MainDir, edMainDir->text().toStdString());
    WriteTextField(task->MirrorDir, edMirrorDir->text().toStdString());
    WriteTextField(task->ExcludeList, exclusionText().toStdString());
    task->OnlyDirs = ToFlag(rdOnly->isChecked());
    m_state.Modified = true;
}

void TTaskEditor::edTypeClick(int index)
{
    TSyncTask* task = m_state.CurrentTask();
    if (!task || index == task->SyncType)
        return;
    if (Dialogs().askYesNo(this, msg(kMsgWarningCaption), msg(kMsgPropertiesMayBeLost), QMessageBox::Warning)) {
        liExclude->clear();
        task->IgnoreOn = 0;
        task->DelOn = 0;
        WriteCountedField(task->OnlyTypeList, "");
        WriteCountedField(task->IgnoreList, "");
        WriteCountedField(task->DelList, "");
        FieldChange();
    } else {
        const QSignalBlocker blocker(edType);
        edType->setCurrentIndex(task->SyncType == tyFile ? 1 : 0);
    }
}

void TTaskEditor::edTypeChange()
{
    if (edType->currentIndex() == tyFile) {
        Label4->setText(msg(kMsgFileListLabel));
        Label4->setChecked(true);
        rdOnly->setEnabled(false);
        chkIntoSub->setEnabled(false);
        chkIntoSub->setChecked(false);
    } else {
        Label4->setText(msg(kMsgExcludeFolders));
        rdOnly->setEnabled(true);
        chkIntoSub->setEnabled(true);
    }
}

void TTaskEditor::rdOnlyClick()
{
    TSyncTask* task = m_state.CurrentTask();
    if (m_state.Loading || !task)
        return;
    if (rdOnly->isChecked() != IsSet(task->OnlyDirs)) {
        task->OnlyDirs = ToFlag(rdOnly->isChecked());
        m_state.Modified = true;
    }
}

void TTaskEditor::AddExClick()
{
    const TSyncTask* task = m_state.CurrentTask();
    if (!task)
        return;
    if (task->SyncType == tyFile)
        addFileEntry();
    else
        addFolderEntry();
}

void TTaskEditor::keepNewEntry()
{
    if (exclusionText().toStdString().size() > kMaxExcludeListBytes) {
        Dialogs().error(this, msg(kMsgTooManyExcludes));
        delete liExclude->takeItem(liExclude->count() - 1);
        return;
    }
    FieldChange();
}

void TTaskEditor::addFolderEntry()
{
    if (!m_dirForm || Dialogs().execDialog(*m_dirForm) != QDialog::Accepted)
        return;
    const ExclusionEntry result = FolderExclusionEntry(
        edMainDir->text().toStdString(), edMirrorDir->text().toStdString(), m_dirForm->Directory().toStdString());
    if (result.message != 0) {
        Dialogs().error(this, msg(result.message));
        return;
    }
    liExclude->addItem(fromStd(result.entry));
    keepNewEntry();
}

void TTaskEditor::addFileEntry()
{
    const TSyncTask* task = m_state.CurrentTask();
    const QString path = Dialogs().getOpenFileName(this, QString(), fromStd(ReadTextField(task->MainDir)));
    if (path.isEmpty())
        return;
    const QString name = QFileInfo(path).fileName();
    const std::string wanted = name.toStdString();
    for (int i = 0; i < liExclude->count(); ++i) {
        if (EqualsAsciiNoCase(liExclude->item(i)->text().toStdString(), wanted))
            return;
    }
    liExclude->addItem(name);
    keepNewEntry();
}

void TTaskEditor::DelExClick()
{
    const QList<QListWidgetItem*> selected = liExclude->selectedItems();
    if (selected.isEmpty())
        return;
    delete liExclude->takeItem(liExclude->row(selected.constFirst()));
    FieldChange();
}

void TTaskEditor::BrMainClick()
{
    m_dirDialog.setCaption(msg(kMsgSelectHostFolder));
    m_dirDialog.setDirectory(fromStd(ExpandEnvVars(edMainDir->text().toStdString())));
    if (m_dirDialog.Execute())
        edMainDir->setText(m_dirDialog.Directory());
}

void TTaskEditor::BrMirrorClick()
{
    m_dirDialog.setCaption(msg(kMsgSelectMirrorFolder));
    m_dirDialog.setDirectory(fromStd(ExpandEnvVars(edMirrorDir->text().toStdString())));
    if (m_dirDialog.Execute())
        edMirrorDir->setText(m_dirDialog.Directory());
}

void TTaskEditor::btnAdvClick()
{
    if (m_advForm && m_state.CurrentTask())
        Dialogs().execDialog(*m_advForm);
}

bool TTaskEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edName && event->type() == QEvent::FocusOut && m_state.CurrentTask() && edName->text().isEmpty()) {
        // An empty name cannot be left: the focus goes back once the move has finished.
        QTimer::singleShot(0, edName, [this] { edName->setFocus(Qt::OtherFocusReason); });
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace pelmora
