#include "ui/AboutForm.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>
#include <QVBoxLayout>

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "ui/MainWindow.h"

namespace pelmora {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

} // namespace

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Label1 = makeLabel(this, "Label1");
    QFont titleFont = Label1->font();
    titleFont.setPointSize(titleFont.pointSize() + 6);
    titleFont.setBold(true);
    Label1->setFont(titleFont);
    Label1->setAlignment(Qt::AlignCenter);
    Label2 = makeLabel(this, "Label2");
    Label2->setAlignment(Qt::AlignCenter);
    Label3 = makeLabel(this, "Label3");
    Label4 = makeLabel(this, "Label4");
    Label5 = makeLabel(this, "Label5");
    Label6 = makeLabel(this, "Label6");
    Label6->setText(QString::fromLatin1(kWebAddress));
    for (QLabel* link : {Label4, Label6}) {
        link->setCursor(Qt::PointingHandCursor);
        QPalette palette = link->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
        link->setPalette(palette);
        QFont font = link->font();
        font.setUnderline(true);
        link->setFont(font);
    }
    for (QLabel* label : {Label1, Label2, Label3, Label4, Label5, Label6})
        label->installEventFilter(this);

    auto* addresses = new QGridLayout;
    addresses->addWidget(Label3, 0, 0, Qt::AlignRight);
    addresses->addWidget(Label4, 0, 1);
    addresses->addWidget(Label5, 1, 0, Qt::AlignRight);
    addresses->addWidget(Label6, 1, 1);
    addresses->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(10);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addSpacing(8);
    layout->addLayout(addresses);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TAboutForm::ApplyTexts()
{
    ApplyUiFont(this);
    ApplyUiFont(Label4);
    ApplyUiFont(Label6);
    setWindowTitle(QString::fromUtf8(Msg(kMsgAbout)));
    Label1->setText(QString::fromUtf8(Msg(kMsgAppTitle)));
    Label2->setText(QStringLiteral("Version %1").arg(QString::fromLatin1(kPelmoraVersion)));
    Label3->setText(QString::fromUtf8(Msg(kMsgEmailLabel)));
    Label4->setText(QString::fromUtf8(Msg(kMsgEmailAddress)));
    Label5->setText(QString::fromUtf8(Msg(kMsgWebSiteLabel)));
}

void TAboutForm::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        accept();
    else
        QDialog::mousePressEvent(event);
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress)
        return QDialog::eventFilter(watched, event);
    if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return false;
    if (watched == Label4)
        QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + Label4->text()));
    else if (watched == Label6)
        QDesktopServices::openUrl(QUrl(Label6->text()));
    else
        accept();
    return true;
}

} // namespace pelmora
