#include "ui/MainWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "config/AppStateConfig.h"
#include "core/ProgramFiles.h"
#include "core/SyncTask.h"
#include "core/Utf8.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/widgets/DirDialog.h"
#include "platform/widgets/DragController.h"
#include "ui/AboutForm.h"
#include "ui/AdvForm.h"
#include "ui/DialogService.h"
#include "ui/DirForm.h"
#include "ui/ResForm.h"
#include "ui/SyncForm.h"
#include "ui/TaskForm.h"
#include "ui/TreeVForm.h"

namespace pelmora {

namespace {

// A value that expands to text holding its own name would otherwise grow without end.
constexpr int kMaxExpansions = 256;
constexpr std::size_t kMaxExpandedLength = 64 * 1024;
constexpr std::size_t kMaxExcludeListBytes = 1023;
constexpr int kMaxNewTaskNumber = 10000;

QString msg(int n)
{
    return QString::fromUtf8(Msg(n));
}

template <typename T> T* named(T* object, const char* name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

enum class ToolGlyph { Save, New, Copy, Delete, Go, Schedule, About, Exit };

// The toolbar's pictures, drawn once at start-up in one flat style.
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

std::string ExpandEnvVars(std::string_view text)
{
    std::string s(text);
    std::size_t remembered = std::string::npos;
    for (int expansions = 0; expansions < kMaxExpansions && s.size() <= kMaxExpandedLength; ++expansions) {
        const std::size_t first = s.find('%');
        if (first == std::string::npos || first == remembered)
            break;
        remembered = first;
        const std::size_t second = s.find('%', first + 1);
        if (second == std::string::npos)
            break;
        const std::string name = s.substr(first + 1, second - first - 1);
        s.erase(first, second - first + 1);
        if (name.empty())
            continue;
        const char* value = std::getenv(name.c_str());
        s.insert(first, value ? std::string(value) : "%" + name + "%");
    }
    return s;
}

std::string StripBackslash(std::string_view text)
{
    if (text.size() > 1 && text.back() == '/')
        text.remove_suffix(1);
    return std::string(text);
}

ExclusionEntry FolderExclusionEntry(std::string_view host, std::string_view mirror, std::string_view chosenText)
{
    // A typed trailing separator names the same folder; kept, the entry would match no
    // folder met by the scan.
    const std::string chosenFolder = StripBackslash(chosenText);
    const std::string_view chosen = chosenFolder;
    // The file-system root plays the part of a drive root: its separator stays on the
    // entry, so "/tmp" below "/" gives the entry "/tmp".
    auto prefixOf = [](std::string_view root) { return AsciiUpper(root == "/" ? std::string_view() : root); };
    const std::string hostPrefix = prefixOf(host);
    const std::string mirrorPrefix = prefixOf(mirror);
    const std::string folder = AsciiUpper(chosen);
    auto matches = [&](std::string_view root, const std::string& prefix) {
        return !root.empty() && folder.compare(0, prefix.size(), prefix) == 0;
    };

    std::size_t cut = 0;
    if (matches(host, hostPrefix))
        cut = hostPrefix.size();
    else if (matches(mirror, mirrorPrefix))
        cut = mirrorPrefix.size();
    else
        return {35, {}};
    const std::string_view rest = chosen.substr(cut);
    if (rest.empty())
        return {36, {}};
    if (rest.front() != '/')
        return {35, {}};
    return {0, std::string(rest)};
}

void ApplyUiFont(QWidget* window)
{
    const QString family = QString::fromUtf8(UiFontName());
    if (QFontDatabase::hasFamily(family)) {
        QFont font = window->font();
        font.setFamily(family);
        window->setFont(font);
    }
}

TcltForm::TcltForm(const QStringList& arguments, const std::string& exePath, QWidget* parent)
    : QMainWindow(parent), m_arguments(arguments)
{
    setObjectName(QStringLiteral("cltForm"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(drawIcon(ToolGlyph::Go));
    buildToolBar();
    buildControls();
    FormCreate(exePath);
}

TcltForm::~TcltForm() = default;

void TcltForm::buildToolBar()
{
    ToolBar1 = named(new QToolBar(this), "ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(24, 24));
    ToolBar1->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    auto button = [this](const char* name, ToolGlyph glyph, void (TcltForm::*handler)()) {
        auto* b = named(new QToolButton(ToolBar1), name);
        b->setIcon(drawIcon(glyph));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, handler);
        ToolBar1->addWidget(b);
        return b;
    };
    ToolButton1 = button("ToolButton1", ToolGlyph::Save, &TcltForm::ToolButton1Click);
    ToolBar1->addSeparator();
    NewBtn = button("NewBtn", ToolGlyph::New, &TcltForm::NewBtnClick);
    AddBtn = button("AddBtn", ToolGlyph::Copy, &TcltForm::AddBtnClick);
    DelBtn = button("DelBtn", ToolGlyph::Delete, &TcltForm::DelBtnClick);
    ToolBar1->addSeparator();
    GoSync = button("GoSync", ToolGlyph::Go, &TcltForm::GoSyncClick);
    GoSync->setEnabled(false);
    btTask = button("btTask", ToolGlyph::Schedule, &TcltForm::btTaskClick);
    ToolBar1->addSeparator();
    AboutBtn = button("AboutBtn", ToolGlyph::About, &TcltForm::AboutBtnClick);
    ExitBtn = named(new QToolButton(ToolBar1), "ExitBtn");
    ExitBtn->setIcon(drawIcon(ToolGlyph::Exit));
    ExitBtn->setAutoRaise(true);
    ExitBtn->setFocusPolicy(Qt::NoFocus);
    connect(ExitBtn, &QToolButton::clicked, this, &QWidget::close);
    ToolBar1->addWidget(ExitBtn);
}

void TcltForm::buildControls()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);

    Label1 = named(new QLabel(central), "Label1");
    liTask = named(new QListWidget(central), "liTask");
    liTask->setSelectionMode(QAbstractItemView::SingleSelection);
    liTask->setContextMenuPolicy(Qt::CustomContextMenu);
    liTask->setFixedWidth(190);
    Label1->setBuddy(liTask);
    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    A1 = named(PopupMenu1->addAction(QString()), "A1");
    C1 = named(PopupMenu1->addAction(QString()), "C1");
    connect(A1, &QAction::triggered, this, &TcltForm::A1Click);
    connect(C1, &QAction::triggered, this, &TcltForm::C1Click);
    connect(liTask, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(liTask->viewport()->mapToGlobal(pos)); });
    connect(liTask, &QListWidget::itemSelectionChanged, this, [this] {
        if (!m_listUpdating)
            liTaskClick();
    });
    connect(liTask, &QListWidget::itemChanged, this, [this](QListWidgetItem*) {
        if (!m_listUpdating)
            liTaskClickCheck();
    });

    edDesc = named(new QPlainTextEdit(central), "edDesc");
    edDesc->setFixedWidth(190);
    edDesc->setFixedHeight(90);
    edDesc->setTabChangesFocus(true);

    Label6 = named(new QLabel(central), "Label6");
    edName = named(new QLineEdit(central), "edName");
    edName->setMaxLength(15);
    edName->installEventFilter(this);
    Label6->setBuddy(edName);
    Label5 = named(new QLabel(central), "Label5");
    edType = named(new QComboBox(central), "edType");
    Label5->setBuddy(edType);
    chkIntoSub = named(new QCheckBox(central), "chkIntoSub");

    Label2 = named(new QLabel(central), "Label2");
    edMainDir = named(new QLineEdit(central), "edMainDir");
    edMainDir->setMaxLength(512);
    BrMain = named(new QPushButton(central), "BrMain");
    Label2->setBuddy(edMainDir);
    Label3 = named(new QLabel(central), "Label3");
    edMirrorDir = named(new QLineEdit(central), "edMirrorDir");
    edMirrorDir->setMaxLength(512);
    BrMirror = named(new QPushButton(central), "BrMirror");
    Label3->setBuddy(edMirrorDir);

    Label4 = named(new QRadioButton(central), "Label4");
    rdOnly = named(new QRadioButton(central), "rdOnly");
    Label4->setChecked(true);
    liExclude = named(new QListWidget(central), "liExclude");
    liExclude->setSelectionMode(QAbstractItemView::SingleSelection);
    liExclude->setFixedHeight(84);
    AddEx = named(new QPushButton(central), "AddEx");
    DelEx = named(new QPushButton(central), "DelEx");

    GroupBox1 = named(new QGroupBox(central), "GroupBox1");
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
    btnAdv = named(new QPushButton(central), "btnAdv");

    auto* statusBar1 = named(new QStatusBar(this), "StatusBar1");
    statusBar1->setSizeGripEnabled(false);
    m_statusPanel = named(new QLabel(statusBar1), "StatusPanel");
    statusBar1->addWidget(m_statusPanel, 1);
    setStatusBar(statusBar1);

    SDirDlg = named(new TSDirDlg(this), "SDirDlg");
    rDragController1 = named(new TrDragController(this), "rDragController1");
    rDragController1->SetListBox(liTask);
    connect(rDragController1, &TrDragController::OnItemMove, this, &TcltForm::rDragController1ItemMove);

    // Every editor control stores the whole editor when it changes.
    connect(edName, &QLineEdit::textChanged, this, &TcltForm::FieldChange);
    connect(edDesc, &QPlainTextEdit::textChanged, this, &TcltForm::FieldChange);
    connect(edMainDir, &QLineEdit::textChanged, this, &TcltForm::FieldChange);
    connect(edMirrorDir, &QLineEdit::textChanged, this, &TcltForm::FieldChange);
    connect(chkIntoSub, &QCheckBox::toggled, this, &TcltForm::FieldChange);
    for (QComboBox* box : {cbInMain, cbInMirror, cbSizeDiffer, cbNewInMain, cbNewInMirror, cbEmptyDir})
        connect(box, &QComboBox::currentIndexChanged, this, &TcltForm::FieldChange);
    connect(edType, &QComboBox::activated, this, [this](int index) {
        edTypeClick(index);
        edTypeChange();
    });
    connect(Label4, &QRadioButton::toggled, this, &TcltForm::Label4Click);
    connect(rdOnly, &QRadioButton::toggled, this, &TcltForm::rdOnlyClick);
    connect(BrMain, &QPushButton::clicked, this, &TcltForm::BrMainClick);
    connect(BrMirror, &QPushButton::clicked, this, &TcltForm::BrMirrorClick);
    connect(AddEx, &QPushButton::clicked, this, &TcltForm::AddExClick);
    connect(DelEx, &QPushButton::clicked, this, &TcltForm::DelExClick);
    connect(btnAdv, &QPushButton::clicked, this, &TcltForm::btnAdvClick);

    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    left->addWidget(Label1);
    left->addWidget(liTask, 1);
    left->addWidget(edDesc);

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

    auto* right = new QVBoxLayout;
    right->setSpacing(6);
    right->addLayout(nameRow);
    right->addLayout(folders);
    right->addLayout(radios);
    right->addLayout(listRow);
    right->addWidget(GroupBox1);
    right->addLayout(advRow);
    right->addStretch(1);

    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(8, 6, 8, 6);
    columns->setSpacing(12);
    columns->addLayout(left);
    columns->addLayout(right, 1);
}

void TcltForm::AttachWindows(TSyncForm* syncForm, TAboutForm* aboutForm, TresForm* resForm, TTreeVForm* treeVForm,
                             TadvForm* advForm, TdirForm* dirForm, TfmTask* taskForm)
{
    m_syncForm = syncForm;
    m_aboutForm = aboutForm;
    m_resForm = resForm;
    m_treeVForm = treeVForm;
    m_advForm = advForm;
    m_dirForm = dirForm;
    m_taskForm = taskForm;
    if (m_resForm)
        m_resForm->SetLineSource([this]() -> const std::vector<std::string>& { return m_resultLog.Lines(); });
}

void TcltForm::FormCreate(const std::string& exePath)
{
    m_state.TaskNames.clear();
    m_state.TaskList.clear();
    m_state.ScheduleList.clear();
    m_state.IgnoreMasks.clear();
    m_state.DelMasks.clear();
    m_state.OnlyTypeMasks.clear();
    m_state.ConfigFileName = ConfigFileNameFor(exePath);
    m_state.LogFileName = LogFileNameFor(exePath);

    std::error_code error;
    if (std::filesystem::exists(m_state.ConfigFileName, error)) {
        try {
            LoadConfig(m_state);
        } catch (const std::exception& failure) {
            Dialogs().showException(nullptr, QString::fromUtf8(failure.what()));
        }
    }
    m_listUpdating = true;
    liTask->clear();
    for (const std::string& name : m_state.TaskNames) {
        auto* item = new QListWidgetItem(fromStd(name));
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        liTask->addItem(item);
    }
    m_listUpdating = false;
    m_state.CurrentIndex = -1;
}

void TcltForm::ApplyTexts()
{
    ApplyUiFont(this);
    setWindowTitle(msg(0));
    Label1->setText(msg(1));
    NewBtn->setToolTip(msg(2));
    AddBtn->setToolTip(msg(114));
    DelBtn->setToolTip(msg(3));
    Label6->setText(msg(4));
    Label2->setText(msg(6));
    Label3->setText(msg(7));
    BrMain->setText(msg(8));
    BrMirror->setText(msg(8));
    chkIntoSub->setText(msg(9));
    Label4->setText(msg(10));
    rdOnly->setText(msg(121));
    AddEx->setText(msg(11));
    DelEx->setText(msg(12));
    GroupBox1->setTitle(msg(13));
    const int labelMessages[] = {14, 15, 16, 17, 18, 19};
    QLabel* labels[] = {Label8, Label9, Label10, Label11, Label12, Label13};
    for (int i = 0; i < 6; ++i)
        labels[i]->setText(msg(labelMessages[i]));
    for (int code = 0; code < 4; ++code)
        m_state.ActionNames[static_cast<std::size_t>(code)] = Msg(20 + code);

    const bool wasLoading = m_state.Loading;
    m_state.Loading = true;
    auto refill = [](QComboBox* box, std::initializer_list<int> messages) {
        box->clear();
        for (int n : messages)
            box->addItem(msg(n));
    };
    refill(cbInMain, {20, 22, 21});
    refill(cbInMirror, {20, 23, 21});
    refill(cbSizeDiffer, {20, 22, 23});
    refill(cbNewInMain, {20, 22, 23});
    refill(cbNewInMirror, {20, 22, 23});
    refill(cbEmptyDir, {20, 22, 23, 21});
    Label5->setText(msg(109));
    edType->addItem(msg(110));
    edType->addItem(msg(111));
    edType->setCurrentIndex(0);
    m_state.Loading = wasLoading;

    GoSync->setToolTip(msg(24));
    ExitBtn->setToolTip(msg(25));
    AboutBtn->setToolTip(msg(39));
    btnAdv->setText(msg(103));
    A1->setText(msg(115));
    C1->setText(msg(116));
    btTask->setToolTip(msg(126));

    // Fixed size: whatever the language's texts need, and no less than the design size.
    centralWidget()->layout()->activate();
    setFixedSize(sizeHint().expandedTo(QSize(660, 500)));
}

void TcltForm::SetStatusText(const QString& text)
{
    m_statusPanel->setText(text);
}

QString TcltForm::StatusText() const
{
    return m_statusPanel->text();
}

void TcltForm::selectRow(int row)
{
    m_listUpdating = true;
    if (row < 0) {
        liTask->clearSelection();
        liTask->setCurrentItem(nullptr);
    } else {
        liTask->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
    m_listUpdating = false;
    liTaskClick();
}

void TcltForm::liTaskClick()
{
    const QList<QListWidgetItem*> selected = liTask->selectedItems();
    m_state.CurrentIndex = selected.isEmpty() ? -1 : liTask->row(selected.constFirst());
    ShowTask();
}

void TcltForm::ShowTask()
{
    m_state.Loading = true;
    TSyncTask* task = m_state.CurrentTask();
    if (!task) {
        m_state.CurrentIndex = -1;
        ClearEditor();
        EnableEditor(false);
    } else {
        edName->setText(liTask->item(m_state.CurrentIndex)->text());
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
        auto show = [this](QComboBox* box, std::uint8_t code) {
            const QString name = code < 4 ? fromStd(m_state.ActionNames[code]) : QString();
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

void TcltForm::ClearEditor()
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

void TcltForm::EnableEditor(bool on)
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

std::uint8_t TcltForm::TextToAction(const QString& text) const
{
    for (std::size_t code = 0; code < m_state.ActionNames.size(); ++code) {
        if (fromStd(m_state.ActionNames[code]) == text)
            return static_cast<std::uint8_t>(code);
    }
    return acIgnore;
}

QString TcltForm::exclusionText() const
{
    QString text;
    for (int i = 0; i < liExclude->count(); ++i)
        text += liExclude->item(i)->text() + QLatin1String("\r\n");
    return text;
}

void TcltForm::FieldChange()
{
    TSyncTask* task = m_state.CurrentTask();
    if (m_state.Loading || !task)
        return;
    const int index = m_state.CurrentIndex;
    // A name longer than the box holds (read from a file) is shown cut; it is only replaced
    // once the user edits the name, never by an edit of another field.
    if (edName->isModified()) {
        m_listUpdating = true;
        liTask->item(index)->setText(edName->text());
        m_listUpdating = false;
        m_state.TaskNames[static_cast<std::size_t>(index)] = edName->text().toStdString();
    }
    task->SyncType = static_cast<std::uint8_t>(edType->currentIndex() == 1 ? tyFile : tyFolder);
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

void TcltForm::edTypeClick(int index)
{
    TSyncTask* task = m_state.CurrentTask();
    if (!task || index == task->SyncType)
        return;
    if (Dialogs().askYesNo(this, msg(72), msg(112), QMessageBox::Warning)) {
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

void TcltForm::edTypeChange()
{
    if (edType->currentIndex() == tyFile) {
        Label4->setText(msg(113));
        Label4->setChecked(true);
        rdOnly->setEnabled(false);
        chkIntoSub->setEnabled(false);
        chkIntoSub->setChecked(false);
    } else {
        Label4->setText(msg(10));
        rdOnly->setEnabled(true);
        chkIntoSub->setEnabled(true);
    }
}

void TcltForm::Label4Click()
{
    rdOnlyClick();
}

void TcltForm::rdOnlyClick()
{
    TSyncTask* task = m_state.CurrentTask();
    if (m_state.Loading || !task)
        return;
    if (rdOnly->isChecked() != IsSet(task->OnlyDirs)) {
        task->OnlyDirs = ToFlag(rdOnly->isChecked());
        m_state.Modified = true;
    }
}

QString TcltForm::makeNewTaskName() const
{
    const QString base = msg(26);
    for (int n = 1; n <= kMaxNewTaskNumber; ++n) {
        const QString candidate = base + QString::number(n);
        const std::string wanted = candidate.toStdString();
        bool used = false;
        for (const std::string& name : m_state.TaskNames) {
            if (EqualsAsciiNoCase(name, wanted)) {
                used = true;
                break;
            }
        }
        if (!used)
            return candidate;
    }
    return base + QString::number(kMaxNewTaskNumber);
}

void TcltForm::appendTask(std::unique_ptr<TSyncTask> task, const QString& name)
{
    m_state.TaskList.push_back(std::move(task));
    m_state.TaskNames.push_back(name.toStdString());
    m_listUpdating = true;
    auto* item = new QListWidgetItem(name);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    liTask->addItem(item);
    m_listUpdating = false;
    selectRow(liTask->count() - 1);
    m_state.Modified = true;
}

void TcltForm::NewBtnClick()
{
    const QString name = makeNewTaskName();
    std::unique_ptr<TSyncTask> task = NewSyncTask();
    WriteTextField(task->Desc, Msg(76));
    appendTask(std::move(task), name);
}

void TcltForm::AddBtnClick()
{
    const TSyncTask* current = m_state.CurrentTask();
    if (!current) {
        Dialogs().error(this, msg(123));
        return;
    }
    const QString name = makeNewTaskName();
    auto copy = std::make_unique<TSyncTask>();
    std::memcpy(copy.get(), current, sizeof(TSyncTask));
    appendTask(std::move(copy), name);
}

void TcltForm::DelBtnClick()
{
    const int index = m_state.CurrentIndex;
    if (!m_state.CurrentTask())
        return;
    m_listUpdating = true;
    delete liTask->takeItem(index);
    liTask->clearSelection();
    liTask->setCurrentItem(nullptr);
    m_listUpdating = false;
    m_state.TaskList.erase(m_state.TaskList.begin() + index);
    m_state.TaskNames.erase(m_state.TaskNames.begin() + index);
    selectRow(-1);
    m_state.Modified = true;
}

void TcltForm::rDragController1ItemMove(QListWidget*, int fromIndex, int toIndex)
{
    const auto count = static_cast<int>(m_state.TaskList.size());
    if (fromIndex < 0 || fromIndex >= count || toIndex < 0 || toIndex >= count)
        return;
    auto record = std::move(m_state.TaskList[static_cast<std::size_t>(fromIndex)]);
    m_state.TaskList.erase(m_state.TaskList.begin() + fromIndex);
    m_state.TaskList.insert(m_state.TaskList.begin() + toIndex, std::move(record));
    std::string name = std::move(m_state.TaskNames[static_cast<std::size_t>(fromIndex)]);
    m_state.TaskNames.erase(m_state.TaskNames.begin() + fromIndex);
    m_state.TaskNames.insert(m_state.TaskNames.begin() + toIndex, std::move(name));
    selectRow(toIndex);
    m_state.Modified = true;
}

void TcltForm::liTaskClickCheck()
{
    bool anyChecked = false;
    for (int i = 0; i < liTask->count() && !anyChecked; ++i)
        anyChecked = liTask->item(i)->checkState() == Qt::Checked;
    GoSync->setEnabled(anyChecked);
}

void TcltForm::A1Click()
{
    if (liTask->count() == 0)
        return;
    m_listUpdating = true;
    for (int i = 0; i < liTask->count(); ++i)
        liTask->item(i)->setCheckState(Qt::Checked);
    m_listUpdating = false;
    GoSync->setEnabled(true);
}

void TcltForm::C1Click()
{
    if (liTask->count() == 0)
        return;
    m_listUpdating = true;
    for (int i = 0; i < liTask->count(); ++i)
        liTask->item(i)->setCheckState(Qt::Unchecked);
    m_listUpdating = false;
    GoSync->setEnabled(false);
}

void TcltForm::AddExClick()
{
    const TSyncTask* task = m_state.CurrentTask();
    if (!task)
        return;
    if (task->SyncType == tyFile)
        addFileEntry();
    else
        addFolderEntry();
}

void TcltForm::addFolderEntry()
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
    if (exclusionText().toStdString().size() > kMaxExcludeListBytes) {
        Dialogs().error(this, msg(37));
        delete liExclude->takeItem(liExclude->count() - 1);
        return;
    }
    FieldChange();
}

void TcltForm::addFileEntry()
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
    // The record keeps 1023 bytes of the list; a longer list would lose the end of a name.
    liExclude->addItem(name);
    if (exclusionText().toStdString().size() > kMaxExcludeListBytes) {
        Dialogs().error(this, msg(37));
        delete liExclude->takeItem(liExclude->count() - 1);
        return;
    }
    FieldChange();
}

void TcltForm::DelExClick()
{
    const QList<QListWidgetItem*> selected = liExclude->selectedItems();
    if (selected.isEmpty())
        return;
    delete liExclude->takeItem(liExclude->row(selected.constFirst()));
    FieldChange();
}

void TcltForm::BrMainClick()
{
    SDirDlg->setCaption(msg(30));
    SDirDlg->setDirectory(fromStd(ExpandEnvVars(edMainDir->text().toStdString())));
    if (SDirDlg->Execute())
        edMainDir->setText(SDirDlg->Directory());
}

void TcltForm::BrMirrorClick()
{
    SDirDlg->setCaption(msg(29));
    SDirDlg->setDirectory(fromStd(ExpandEnvVars(edMirrorDir->text().toStdString())));
    if (SDirDlg->Execute())
        edMirrorDir->setText(SDirDlg->Directory());
}

void TcltForm::btnAdvClick()
{
    if (m_advForm && m_state.CurrentTask())
        Dialogs().execDialog(*m_advForm);
}

void TcltForm::btTaskClick()
{
    if (m_taskForm)
        Dialogs().execDialog(*m_taskForm);
}

void TcltForm::AboutBtnClick()
{
    if (m_aboutForm)
        Dialogs().execDialog(*m_aboutForm);
}

bool TcltForm::SaveConfigFile(QString* errorText)
{
    try {
        SaveConfig(m_state);
        return true;
    } catch (const std::exception& failure) {
        if (errorText)
            *errorText = QString::fromUtf8(failure.what());
        return false;
    }
}

void TcltForm::ToolButton1Click()
{
    QString failure;
    if (!SaveConfigFile(&failure))
        Dialogs().showException(this, failure);
}

void TcltForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    FormShow();
}

void TcltForm::FormShow()
{
    EnableScheduleTimer();

    std::vector<std::string> args;
    for (const QString& argument : m_arguments)
        args.push_back(argument.toStdString());
    const CommandLine command = ParseCommandLine(args);
    if (command.mode != StartMode::Interactive) {
        const StartPlan plan = PlanStart(command, m_state.TaskNames, m_state.TaskList);
        m_state.AutoRun = plan.AutoRun;
        m_state.StartHidden = plan.StartHidden;
        m_state.CopyAll = plan.CopyAll;
        m_listUpdating = true;
        for (std::size_t index : plan.checked) {
            if (index < static_cast<std::size_t>(liTask->count()))
                liTask->item(static_cast<int>(index))->setCheckState(Qt::Checked);
        }
        m_listUpdating = false;
        liTaskClickCheck();
        if (plan.exitAtOnce) {
            // "/A" without an auto-mode task has simply nothing to do; a switch or a task name
            // that means nothing is a mistake that a cron line or a service must hear about.
            if (command.mode == StartMode::Unknown)
                reportBadCommandLine(Msg(kMsgUnknownArgument) + args.front());
            else if (command.mode == StartMode::RunNamed || command.mode == StartMode::CopyAllNamed)
                reportBadCommandLine(Msg(kMsgUnknownTaskName) + command.taskName);
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
            return;
        }
    }

    liTaskClick();
    if (m_state.AutoRun)
        QMetaObject::invokeMethod(this, &TcltForm::OnGoSync, Qt::QueuedConnection);
    if (m_state.StartHidden)
        QMetaObject::invokeMethod(this, &TcltForm::OnMiniToTray, Qt::QueuedConnection);
}

void TcltForm::reportBadCommandLine(const std::string& line)
{
    m_exitStatus = kExitBadCommand;
    // The argument is echoed as typed, with control characters escaped like every log line.
    std::fprintf(stderr, "%s\n", EscapeControlChars(line).c_str());
    std::fflush(stderr);
}

void TcltForm::flushResultLog()
{
    const std::size_t lines = m_resultLog.Lines().size();
    if (m_logLinesWritten >= lines)
        return;
    // A log that cannot be written loses these lines, as it loses everything at exit; they are
    // not tried again, which could write part of them twice.
    if (AppendLogLines(m_state.LogFileName, m_resultLog, m_logLinesWritten))
        m_logFileWritten = true;
    m_logLinesWritten = lines;
}

void TcltForm::appendLog()
{
    // Every run has written its lines when it ended; what is left are lines logged outside a
    // run. The NUL closes this program run's text, and only when it wrote any: a program that
    // ran nothing leaves the file as it was. The program ends either way.
    flushResultLog();
    if (m_logFileWritten)
        AppendLogEnd(m_state.LogFileName);
    m_logFileWritten = false;
}

void TcltForm::closeEvent(QCloseEvent* event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    while (m_state.Modified) {
        if (!Dialogs().askYesNo(this, msg(27), msg(28), QMessageBox::Question))
            break;
        // A failed save says why before the question comes again, as the Save button does;
        // a silent repeat would leave the user guessing.
        QString failure;
        if (!SaveConfigFile(&failure))
            Dialogs().showException(this, failure);
    }
    DisableScheduleTimer();
    appendLog();
    m_closing = true;
    event->accept();
    QMainWindow::closeEvent(event);
}

void TcltForm::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    m_left.store(x(), std::memory_order_relaxed);
}

bool TcltForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edName && event->type() == QEvent::FocusOut && m_state.CurrentTask() && edName->text().isEmpty()) {
        // An empty name cannot be left: the focus goes back once the move has finished.
        QTimer::singleShot(0, edName, [this] { edName->setFocus(Qt::OtherFocusReason); });
    }
    return QMainWindow::eventFilter(watched, event);
}

TForms::TForms() = default;
TForms::~TForms()
{
    // Children first: each window below is parented to the main window.
    fmTask.reset();
    dirForm.reset();
    advForm.reset();
    treeVForm.reset();
    resForm.reset();
    aboutForm.reset();
    syncForm.reset();
    cltForm.reset();
}

std::unique_ptr<TForms> TForms::Create(const QStringList& arguments, const std::string& exePath)
{
    auto forms = std::make_unique<TForms>();
    forms->cltForm = std::make_unique<TcltForm>(arguments, exePath);
    TcltForm* main = forms->cltForm.get();
    forms->syncForm = std::make_unique<TSyncForm>(main);
    forms->aboutForm = std::make_unique<TAboutForm>(main);
    forms->resForm = std::make_unique<TresForm>(main);
    forms->treeVForm = std::make_unique<TTreeVForm>(main);
    forms->advForm = std::make_unique<TadvForm>(main->State(), main);
    forms->dirForm = std::make_unique<TdirForm>(*main->DirDialog(), main->State(), main);
    forms->fmTask = std::make_unique<TfmTask>(main);
    main->AttachWindows(forms->syncForm.get(), forms->aboutForm.get(), forms->resForm.get(), forms->treeVForm.get(),
                        forms->advForm.get(), forms->dirForm.get(), forms->fmTask.get());
    return forms;
}

void TForms::ApplyAllTexts()
{
    cltForm->ApplyTexts();
    aboutForm->ApplyTexts();
    resForm->ApplyTexts();
    syncForm->ApplyTexts();
    treeVForm->ApplyTexts();
    advForm->ApplyTexts();
    dirForm->ApplyTexts();
    fmTask->ApplyTexts();
}

} // namespace pelmora
