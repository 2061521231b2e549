#include "ui/TrayHost.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cstdio>

#include "core/ProgramFiles.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/widgets/SingleInstance.h"
#include "platform/widgets/TrayIcon.h"
#include "sync/ExitStatus.h"
#include "ui/MainWindow.h"

namespace pelmora {

namespace {

NotificationAreaProbe& probe()
{
    static NotificationAreaProbe instance;
    return instance;
}

} // namespace

void SetNotificationAreaProbe(NotificationAreaProbe replacement)
{
    probe() = std::move(replacement);
}

bool HasNotificationArea()
{
    if (probe())
        return probe()();
    return TTrayIcon::NotificationAreaAvailable();
}

QIcon ProgramTrayIcon()
{
    // Two arrows chasing each other round a disc: the same picture as the Go button, on a
    // background that stands out on light and dark panels alike.
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 24.0, size / 24.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(36, 110, 190));
        p.drawEllipse(QRectF(1, 1, 22, 22));
        p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(6, 6, 12, 12), 30 * 16, 150 * 16);
        p.drawArc(QRectF(6, 6, 12, 12), 210 * 16, 150 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(18.5, 5.5), QPointF(19.5, 11.5), QPointF(14, 9.5)}));
        p.drawPolygon(QPolygonF({QPointF(5.5, 18.5), QPointF(4.5, 12.5), QPointF(10, 14.5)}));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

bool StartsHidden(const QStringList& arguments)
{
    std::vector<std::string> args;
    for (const QString& argument : arguments)
        args.push_back(argument.toStdString());
    return ParseCommandLine(args).mode == StartMode::Hidden;
}

void ShowMainWindowAtStart(TcltForm& form, const QStringList& arguments)
{
    if (StartsHidden(arguments)) {
        // The window is shown as far as Qt is concerned (its first-show handler runs), but
        // it is never mapped; OnMiniToTray takes the attribute off again.
        form.setAttribute(Qt::WA_DontShowOnScreen, true);
    }
    form.show();
}

std::optional<int> TakeProgramPlace(TcltForm& form, const QStringList& arguments,
                                    std::unique_ptr<TSingleInstance>& place)
{
    std::vector<std::string> args;
    for (const QString& argument : arguments)
        args.push_back(argument.toStdString());
    const StartMode mode = ParseCommandLine(args).mode;
    if (mode != StartMode::Interactive && mode != StartMode::Hidden)
        return std::nullopt;
    place = std::make_unique<TSingleInstance>(QString::fromStdString(form.State().ConfigFileName));
    switch (place->TryClaim()) {
    case TSingleInstance::Claim::First:
        QObject::connect(place.get(), &TSingleInstance::ShowRequested, &form, &TcltForm::BringToFront);
        return std::nullopt;
    case TSingleInstance::Claim::Failed:
        // Without a usable runtime folder the program runs as if it were the only one.
        return std::nullopt;
    case TSingleInstance::Claim::Running:
        break;
    }
    if (place->AskToShow())
        return kExitDone;
    std::fprintf(stderr, "%s\n", Msg(kMsgInstanceNoAnswer));
    std::fflush(stderr);
    return kExitRunFailed;
}

} // namespace pelmora
