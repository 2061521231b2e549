#include "ui/DirForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "core/SyncTask.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/widgets/DirDialog.h"
#include "ui/MainWindow.h"

namespace pelmora {

TdirForm::TdirForm(TSDirDlg& dirDialog, const TAppState& state, QWidget* parent)
    : QDialog(parent), m_dirDialog(dirDialog), m_state(state)
{
    setObjectName(QStringLiteral("dirForm"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    edDir = new QLineEdit(this);
    edDir->setObjectName(QStringLiteral("edDir"));
    edDir->setMaxLength(512);
    edDir->setMinimumWidth(307);
    BrMirror = new QToolButton(this);
    BrMirror->setObjectName(QStringLiteral("BrMirror"));
    BrMirror->setAutoRaise(true);
    BrMirror->setMinimumWidth(52);
    btnOk = new QPushButton(this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnOk->setMinimumWidth(73);
    btnCancel = new QPushButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnCancel->setMinimumWidth(73);
    setTabOrder(edDir, BrMirror);
    setTabOrder(BrMirror, btnOk);
    setTabOrder(btnOk, btnCancel);

    connect(BrMirror, &QToolButton::clicked, this, &TdirForm::BrMirrorClick);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(edDir, 1);
    pathRow->addWidget(BrMirror);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(btnOk);
    buttonRow->addSpacing(36);
    buttonRow->addWidget(btnCancel);
    buttonRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 12, 10);
    layout->setSpacing(12);
    layout->addLayout(pathRow);
    layout->addLayout(buttonRow);
}

void TdirForm::ApplyTexts()
{
    ApplyUiFont(this);
    setWindowTitle(QString::fromUtf8(Msg(kMsgAddSubFolderCaption)));
    BrMirror->setText(QString::fromUtf8(Msg(kMsgBrowse)));
    btnOk->setText(QString::fromUtf8(Msg(kMsgOk)));
    btnCancel->setText(QString::fromUtf8(Msg(kMsgCancelButton)));
    layout()->activate();
    setFixedSize(sizeHint().expandedTo(QSize(391, 86)));
}

QString TdirForm::Directory() const
{
    return edDir->text();
}

void TdirForm::BrMirrorClick()
{
    m_dirDialog.setCaption(QString::fromUtf8(Msg(kMsgSelectFolder)));
    const TSyncTask* task = m_state.CurrentTask();
    m_dirDialog.setDirectory(task ? QString::fromStdString(ReadTextField(task->MainDir)) : QString());
    if (m_dirDialog.Execute())
        edDir->setText(m_dirDialog.Directory());
}

} // namespace pelmora
