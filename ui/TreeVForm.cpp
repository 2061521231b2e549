#include "ui/TreeVForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "sync/RunDriver.h"
#include "sync/SizeText.h"
#include "sync/SyncLog.h"
#include "ui/DialogService.h"
#include "ui/DisplayText.h"
#include "ui/MainWindow.h"

// Resources of a static library must be registered by hand, outside any namespace.
static void InitPreviewResources()
{
    Q_INIT_RESOURCE(preview);
}

namespace pelmora {

namespace {

constexpr int kNodeRole = Qt::UserRole + 1;
constexpr int kRowHeight = 18;

// Tree items sort by their text without regard to ASCII case, as the folder names compare.
class TNodeItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override
    {
        const QByteArray a = text(0).toUtf8();
        const QByteArray b = other.text(0).toUtf8();
        return CompareNames({a.constData(), static_cast<std::size_t>(a.size())},
                            {b.constData(), static_cast<std::size_t>(b.size())}) < 0;
    }
};

int DepthOf(const QTreeWidgetItem* item)
{
    int depth = 0;
    for (const QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        ++depth;
    return depth;
}

bool HasNextSibling(const QTreeWidgetItem* item)
{
    const QTreeWidgetItem* parent = item->parent();
    if (parent)
        return parent->indexOfChild(const_cast<QTreeWidgetItem*>(item)) < parent->childCount() - 1;
    const QTreeWidget* tree = item->treeWidget();
    return tree && tree->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) < tree->topLevelItemCount() - 1;
}

// Row size for the tree: the drawing of drawRow needs the label after the 39-pixel image place.
class TTreeDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QFontMetrics metrics(option.font);
        return {39 + 6 + metrics.horizontalAdvance(index.data().toString()),
                std::max(kRowHeight, metrics.height() + 4)};
    }
};

QPixmap ToggleGlyph(bool asterisk)
{
    // 11 x 12 black asterisk, or 10 x 10 red not-equal sign.
    QPixmap pixmap(asterisk ? QSize(11, 12) : QSize(10, 10));
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    if (asterisk) {
        p.setPen(QPen(Qt::black, 2));
        p.drawLine(5, 1, 5, 11);
        p.drawLine(1, 3, 10, 9);
        p.drawLine(1, 9, 10, 3);
    } else {
        p.setPen(QPen(QColor(255, 0, 0), 2));
        p.drawLine(1, 3, 9, 3);
        p.drawLine(1, 7, 9, 7);
        p.drawLine(7, 0, 3, 10);
    }
    return pixmap;
}

} // namespace

Glyph HostSideIcon(std::uint8_t flags, bool selected)
{
    if (flags & nfMirrorOnly)
        return Glyph::TFOLDERNO;
    if (flags & nfHostEmpty)
        return Glyph::TFOLDERE;
    if (selected)
        return Glyph::TFOLDERO;
    if (flags & nfToMirror)
        return Glyph::TFOLDER2RIGHT;
    return Glyph::TFOLDER;
}

Glyph MirrorSideIcon(std::uint8_t flags, bool selected)
{
    if (flags & nfHostOnly)
        return Glyph::TFOLDERNO;
    if (flags & nfMirrorEmpty)
        return Glyph::TFOLDERE;
    if (selected)
        return Glyph::TFOLDERO;
    if (flags & nfToHost)
        return Glyph::TFOLDER2LEFT;
    return Glyph::TFOLDER;
}

Glyph TreeButtonGlyph(bool hasChildren, bool expanded)
{
    if (!hasChildren)
        return Glyph::CLEAR4;
    return expanded ? Glyph::LBTNB4 : Glyph::LBTNA4;
}

bool IsNoteworthy(std::uint8_t flags, TAction emptyDir)
{
    if (flags & (nfToMirror | nfToHost | nfDelete))
        return true;
    return emptyDir != acIgnore && (flags & (nfMirrorEmpty | nfHostEmpty)) &&
           (emptyDir == acDelete || (flags & (nfHostOnly | nfMirrorOnly)));
}

TPreviewTree::TPreviewTree(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("TreeV"));
    setColumnCount(1);
    setHeaderHidden(true);
    setIndentation(kIndent);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new TTreeDelegate(this));
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
}

TNodeRec* TPreviewTree::RecOf(const QTreeWidgetItem* item)
{
    return item ? reinterpret_cast<TNodeRec*>(item->data(0, kNodeRole).value<quintptr>()) : nullptr;
}

void TPreviewTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QTreeWidgetItem* item = itemFromIndex(index);
    const QRect r = option.rect;
    painter->fillRect(QRect(0, r.top(), viewport()->width(), r.height()), palette().base());
    if (!item)
        return;
    const TNodeRec* rec = RecOf(item);
    const std::uint8_t flags = rec ? rec->Flags : 0;
    const int depth = DepthOf(item);
    const int left = LabelLeft(depth) - horizontalOffset();
    const int y1 = r.top();
    const int y2 = r.bottom();
    const int middle = (y1 + y2) / 2;
    const bool selected = item->isSelected();

    painter->save();
    painter->setPen(QColor(160, 160, 160));
    if (item->parent()) {
        painter->drawLine(left - 65, y1 - 1, left - 65, middle);
        if (HasNextSibling(item))
            painter->drawLine(left - 65, middle, left - 65, y2);
    }
    painter->drawLine(left - 65, middle, left - 42, middle);
    int x = left;
    for (const QTreeWidgetItem* ancestor = item->parent(); ancestor; ancestor = ancestor->parent()) {
        x -= kIndent;
        if (HasNextSibling(ancestor))
            painter->drawLine(x - 65, y1, x - 65, y2);
    }
    painter->restore();

    painter->drawPixmap(left - 69, middle - 4,
                        GlyphPixmap(TreeButtonGlyph(item->childCount() > 0, item->isExpanded())));
    painter->drawPixmap(left - 42, y1, GlyphPixmap(HostSideIcon(flags, selected)));
    painter->drawPixmap(left - 19, y1, GlyphPixmap(MirrorSideIcon(flags, selected)));
    if (flags & nfDelete)
        painter->drawPixmap(left - 26, y1, GlyphPixmap(Glyph::TDELETE));

    const QString text = item->text(0);
    const QFontMetrics metrics(option.font);
    const QRect label(left, y1, metrics.horizontalAdvance(text) + 4, r.height());
    if (selected)
        painter->fillRect(label, palette().highlight());
    painter->setFont(option.font);
    painter->setPen(selected ? palette().highlightedText().color() : palette().text().color());
    painter->drawText(QRect(left + 2, y1 + 2, label.width(), metrics.height()), Qt::AlignLeft | Qt::AlignTop, text);
    if (hasFocus() && currentItem() == item) {
        QStyleOptionFocusRect focus;
        focus.rect = label;
        focus.palette = palette();
        focus.backgroundColor = selected ? palette().highlight().color() : palette().base().color();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, this);
    }
}

void TPreviewTree::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem* item = itemAt(QPoint(viewport()->width() / 2, pos.y()));
    if (item && event->button() == Qt::LeftButton && item->childCount() > 0) {
        const int left = LabelLeft(DepthOf(item)) - horizontalOffset();
        if (pos.x() >= left - 69 && pos.x() < left - 60) {
            item->setExpanded(!item->isExpanded());
            return;
        }
    }
    // Presses anywhere on the row select it, not only on the label.
    if (item && pos.x() < visualItemRect(item).left()) {
        setCurrentItem(item);
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

TTreeVForm::TTreeVForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint)
{
    InitPreviewResources();
    setObjectName(QStringLiteral("TreeVForm"));
    setMinimumSize(230, 120);
    resize(800, 550);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    auto* treePanel = new QWidget(Splitter1);
    auto* treeLayout = new QVBoxLayout(treePanel);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeLayout->setSpacing(0);
    Label1 = new QLabel(treePanel);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    TreeV = new TPreviewTree(treePanel);
    treeLayout->addWidget(Label1);
    treeLayout->addWidget(TreeV, 1);
    ListV = new TPreviewGrid(Splitter1);
    Splitter1->addWidget(treePanel);
    Splitter1->addWidget(ListV);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({800 - 592 - 3, 592});
    outer->addWidget(Splitter1, 1);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(58);
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 4, 8, 4);
    btnSync = new QPushButton(Panel1);
    btnSync->setObjectName(QStringLiteral("btnSync"));
    btnSync->setAutoDefault(false);
    btnCancel = new QPushButton(Panel1);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnShowAll = new QToolButton(Panel1);
    btnShowAll->setObjectName(QStringLiteral("btnShowAll"));
    btnHideEqu = new QToolButton(Panel1);
    btnHideEqu->setObjectName(QStringLiteral("btnHideEqu"));
    for (QToolButton* toggle : {btnShowAll, btnHideEqu}) {
        toggle->setCheckable(true);
        toggle->setFixedSize(32, 22);
        toggle->setAutoRaise(false);
    }
    btnShowAll->setIcon(ToggleGlyph(true));
    btnShowAll->setIconSize(QSize(11, 12));
    btnHideEqu->setIcon(ToggleGlyph(false));
    btnHideEqu->setIconSize(QSize(10, 10));
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    group->addButton(btnShowAll);
    group->addButton(btnHideEqu);
    (HideEqual ? btnHideEqu : btnShowAll)->setChecked(true);
    buttons->addStretch(1);
    buttons->addWidget(btnSync);
    buttons->addSpacing(16);
    buttons->addWidget(btnCancel);
    buttons->addStretch(1);
    buttons->addWidget(btnShowAll);
    buttons->addWidget(btnHideEqu);
    panelLayout->addLayout(buttons, 1);
    StatusBar1 = new QStatusBar(Panel1);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(20);
    StatusBar1->setSizeGripEnabled(true);
    for (int width : {240, 160, 180, 400}) {
        auto* panel = new QLabel(StatusBar1);
        panel->setFixedWidth(width);
        StatusBar1->addWidget(panel);
        m_panels.push_back(panel);
    }
    panelLayout->addWidget(StatusBar1);
    outer->addWidget(Panel1);

    connect(btnSync, &QPushButton::clicked, this, &TTreeVForm::btnSyncClick);
    connect(btnCancel, &QPushButton::clicked, this, &TTreeVForm::btnCancelClick);
    connect(btnShowAll, &QToolButton::clicked, this, &TTreeVForm::btnShowAllClick);
    connect(btnHideEqu, &QToolButton::clicked, this, &TTreeVForm::btnHideEquClick);
    connect(ListV, &TPreviewGrid::PlanChanged, this, &TTreeVForm::UpdateStatus);

    // The grid follows the tree 50 ms after the selection settles, so that walking the
    // tree with the arrow keys does not refill the grid for every folder passed.
    m_changeTimer = new QTimer(this);
    m_changeTimer->setSingleShot(true);
    m_changeTimer->setInterval(50);
    connect(m_changeTimer, &QTimer::timeout, this, &TTreeVForm::TreeVChange);
    connect(TreeV, &QTreeWidget::currentItemChanged, m_changeTimer, qOverload<>(&QTimer::start));
}

TTreeVForm::~TTreeVForm() = default;

void TTreeVForm::ApplyTexts()
{
    ApplyUiFont(this);
    setWindowTitle(QString::fromUtf8(Msg(kMsgPreviewCaption)));
    Label1->setText(QString::fromUtf8(Msg(kMsgFoldersLabel)));
    btnSync->setText(QString::fromUtf8(Msg(kMsgSyncNow)));
    btnCancel->setText(QString::fromUtf8(Msg(kMsgCancel)));
    ListV->ApplyTexts();
}

int TTreeVForm::ShowModalFor(RunDriver& run)
{
    TPreviewInput input;
    input.Lists = &run.Lists();
    input.Plan = &run.Plan();
    input.HostDir = run.Request().HostDir;
    input.MirrorDir = run.Request().MirrorDir;
    input.EmptyDir = run.Request().Task ? run.Request().Task->EmptyDir : acIgnore;
    return ShowModalFor(input);
}

int TTreeVForm::ShowModalFor(const TPreviewInput& input)
{
    Prepare(input);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    Dialogs().execDialog(*this);
    // Released only after the modal loop has ended: a close during the build must not
    // pull the records from under it.
    FormClose();
    // The run's lists go away after the run; a build still queued from this showing must
    // find nothing to work on.
    m_input = TPreviewInput{};
    ListV->Bind(nullptr);
    return m_tag;
}

void TTreeVForm::Prepare(const TPreviewInput& input)
{
    FormClose();
    m_input = input;
    m_tag = 0;
    ListV->Bind(m_input.Plan);
}

void TTreeVForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    for (int panel = 0; panel < 4; ++panel)
        SetPanel(panel, QString());
    // Built from the event loop, once the window is on screen.
    QMetaObject::invokeMethod(this, &TTreeVForm::OnAddTreeNodes, Qt::QueuedConnection);
}

void TTreeVForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    ListV->viewport()->update();
}

void TTreeVForm::SetPanel(int panel, const QString& text)
{
    m_panels[static_cast<std::size_t>(panel)]->setText(text);
}

QString TTreeVForm::StatusText(int panel) const
{
    return m_panels[static_cast<std::size_t>(panel)]->text();
}

int TTreeVForm::FindIndex(std::string_view path) const
{
    int low = 0;
    int high = static_cast<int>(m_nodes.size()) - 1;
    while (low <= high) {
        const int mid = low + (high - low) / 2;
        const int c = CompareNames(m_nodes[static_cast<std::size_t>(mid)]->Path, path);
        if (c < 0)
            low = mid + 1;
        else if (c > 0)
            high = mid - 1;
        else
            return mid;
    }
    return ~low;
}

TNodeRec* TTreeVForm::FindPath(std::string_view path) const
{
    const int index = FindIndex(path);
    return index >= 0 ? m_nodes[static_cast<std::size_t>(index)].get() : nullptr;
}

TNodeRec* TTreeVForm::FindNodeRec(const QTreeWidgetItem* node) const
{
    if (node == nullptr)
        return nullptr;
    for (const auto& rec : m_nodes)
        if (rec->Node == node)
            return rec.get();
    return nullptr;
}

void TTreeVForm::AddMirrorFolder(std::string_view path, std::uint32_t content)
{
    AddFolder(path, content, true);
}

void TTreeVForm::AddHostFolder(std::string_view path, std::uint32_t content)
{
    AddFolder(path, content, false);
}

void TTreeVForm::AddFolder(std::string_view path, std::uint32_t content, bool mirrorSide)
{
    const int index = FindIndex(path);
    if (index >= 0) {
        TNodeRec& rec = *m_nodes[static_cast<std::size_t>(index)];
        if (mirrorSide) {
            rec.Flags &= static_cast<std::uint8_t>(~nfHostOnly);
            if (content == 0)
                rec.Flags |= nfMirrorEmpty;
        } else {
            rec.Flags &= static_cast<std::uint8_t>(~nfMirrorOnly);
            if (content == 0)
                rec.Flags |= nfHostEmpty;
        }
        return;
    }
    QTreeWidgetItem* node = nullptr;
    if (path.size() < 2) {
        node = new TNodeItem(TreeV);
        node->setText(0, mirrorSide ? DisplayText(m_input.HostDir + " <=> " + m_input.MirrorDir) : DisplayText(path));
    } else {
        const auto slash = path.rfind('/');
        const std::string_view parentPath =
            (slash == 0 || slash == std::string_view::npos) ? "/" : path.substr(0, slash);
        const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
        TNodeRec* parent = FindPath(parentPath);
        // The scanner reports every folder it enters, so a parent is always present; a
        // missing one is tolerated by hanging the folder under the roots.
        if (parent == nullptr)
            parent = m_nodes.empty() ? nullptr : m_nodes.front().get();
        node = parent ? new TNodeItem(parent->Node) : new TNodeItem(TreeV);
        node->setText(0, DisplayText(name));
    }
    auto rec = std::make_unique<TNodeRec>();
    rec->Path = std::string(path);
    rec->Node = node;
    rec->Flags = mirrorSide ? nfMirrorOnly : nfHostOnly;
    if (content == 0)
        rec->Flags |= mirrorSide ? nfMirrorEmpty : nfHostEmpty;
    node->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(rec.get())));
    m_nodes.insert(m_nodes.begin() + ~index, std::move(rec));
}

bool TTreeVForm::Progress(int done, int total)
{
    const int percent = total > 0 ? static_cast<int>(static_cast<long long>(done) * 100 / total) : 100;
    SetPanel(0, QString::fromUtf8(Msg(kMsgCreatingFolderTree)) + QString::number(percent) + QLatin1Char('%'));
    QCoreApplication::processEvents();
    return m_tag == 0;
}

void TTreeVForm::OnAddTreeNodes()
{
    if (m_input.Lists == nullptr || m_building || !m_nodes.empty())
        return;
    m_building = true;
    m_panels[0]->setFixedWidth(200);
    const TRunLists& lists = *m_input.Lists;
    // Adding thousands of items to a visible tree repaints it each time.
    TreeV->setUpdatesEnabled(false);
    AddMirrorFolder("/", 1);
    AddHostFolder("/", 1);
    const int mirrorCount = lists.MirrorFolders.Count();
    const int hostCount = lists.HostFolders.Count();
    const int total = mirrorCount + hostCount;
    bool going = true;
    for (int i = mirrorCount - 1; i >= 0 && going; --i) {
        AddMirrorFolder(lists.MirrorFolders.Strings(i), lists.MirrorFolders.Values(i));
        if (i % 64 == 0)
            going = Progress(mirrorCount - i, total);
    }
    for (int i = hostCount - 1; i >= 0 && going; --i) {
        AddHostFolder(lists.HostFolders.Strings(i), lists.HostFolders.Values(i));
        if (i % 64 == 0)
            going = Progress(hostCount - i + mirrorCount, total);
    }
    if (going) {
        MarkFolders();
        ExpandNoteworthy();
        TreeV->sortItems(0, Qt::AscendingOrder);
        UpdateStatus();
    }
    TreeV->setUpdatesEnabled(true);
    m_building = false;
    if (!going)
        return;
    TreeV->setCurrentItem(m_nodes.front()->Node);
    TreeV->setFocus();
    // The grid follows at once here; the delayed refill is for the user's own moves.
    m_changeTimer->stop();
    TreeVChange();
}

void TTreeVForm::MarkFolders()
{
    std::string_view lastFolder;
    TNodeRec* rec = nullptr;
    bool haveLast = false;
    auto mark = [&](const TMFileInfoRec* e) {
        if (e->Op == opNone)
            return;
        const std::string_view folder = FolderOf(e->RelPath());
        if (!haveLast || !SameName(folder, lastFolder)) {
            rec = FindPath(folder);
            lastFolder = folder;
            haveLast = true;
        }
        if (rec == nullptr)
            return;
        if (e->Op == opDelete)
            rec->Flags |= nfDelete;
        else if (e->Op == opHostToMirror)
            rec->Flags |= nfToMirror;
        else if (e->Op == opMirrorToHost)
            rec->Flags |= nfToHost;
    };
    for (const TMFileInfoRec* e : m_input.Lists->HostFiles)
        mark(e);
    for (const TMFileInfoRec* e : m_input.Lists->MirrorFiles)
        mark(e);
}

void TTreeVForm::ExpandNoteworthy()
{
    for (auto it = m_nodes.rbegin(); it != m_nodes.rend(); ++it) {
        if (!IsNoteworthy((*it)->Flags, m_input.EmptyDir))
            continue;
        for (QTreeWidgetItem* p = (*it)->Node->parent(); p; p = p->parent())
            p->setExpanded(true);
    }
}

void TTreeVForm::UpdateStatus()
{
    const TPlanSummary empty;
    const TPlanSummary& plan = m_input.Plan ? *m_input.Plan : empty;
    const std::string copies = std::to_string(plan.CopyToMirrorCount + plan.CopyToHostCount);
    const std::string texts[4] = {
        ReplaceFirst(ReplaceFirst(Msg(kMsgStatusTransmit), "%1", copies), "%2", SizeText(plan.TotalBytes)),
        ReplaceFirst(Msg(kMsgStatusDeleteHost), "%1", std::to_string(plan.DeleteHostCount)),
        ReplaceFirst(Msg(kMsgStatusDeleteMirror), "%1", std::to_string(plan.DeleteMirrorCount)),
        ReplaceFirst(Msg(kMsgStatusEmptyFolder), "%1", std::to_string(plan.EmptyFolderCount)),
    };
    const QFontMetrics metrics(StatusBar1->font());
    for (int panel = 0; panel < 4; ++panel) {
        const QString text = DisplayText(texts[panel]);
        SetPanel(panel, text);
        m_panels[static_cast<std::size_t>(panel)]->setFixedWidth(metrics.horizontalAdvance(text) + 32);
    }
}

void TTreeVForm::TreeVChange()
{
    const TNodeRec* rec = FindNodeRec(TreeV->currentItem());
    if (rec == nullptr || m_input.Lists == nullptr)
        ListV->ClearRows();
    else
        ListV->FillFor(m_input.Lists, rec->Path);
}

void TTreeVForm::FormClose()
{
    m_changeTimer->stop();
    ListV->ClearRows();
    TreeV->clear();
    m_nodes.clear();
}

void TTreeVForm::btnSyncClick()
{
    m_tag = 1;
    done(QDialog::Accepted);
}

void TTreeVForm::btnCancelClick()
{
    m_tag = -1;
    done(QDialog::Rejected);
}

void TTreeVForm::btnShowAllClick()
{
    HideEqual = false;
    TreeVChange();
}

void TTreeVForm::btnHideEquClick()
{
    HideEqual = true;
    TreeVChange();
}

} // namespace pelmora
