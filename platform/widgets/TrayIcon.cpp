#include "platform/widgets/TrayIcon.h"

#include "core/Utf8.h"

#include <QCursor>
#include <QMenu>
#include <QTimer>

namespace pelmora {
namespace {

QString CutToBytes(const QString& text, std::size_t maxBytes)
{
    const QByteArray utf8 = text.toUtf8();
    const std::string_view cut =
        CutUtf8(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())), maxBytes);
    return QString::fromUtf8(cut.data(), static_cast<qsizetype>(cut.size()));
}

} // namespace

TTrayIcon::TTrayIcon(QObject* parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setInterval(m_animateInterval);
    connect(m_timer, &QTimer::timeout, this, &TTrayIcon::AnimateStep);
    m_showMenu = [](QMenu* menu, const QPoint& pos) { menu->exec(pos); };
}

TTrayIcon::~TTrayIcon()
{
    RemoveNative();
}

void TTrayIcon::RemoveNative()
{
    if (!m_native)
        return;
    m_native->hide();
    // Deactivating is what a click handler typically does, while the icon is still
    // emitting its activated() signal: it must not be deleted under its own feet.
    m_native->deleteLater();
    m_native = nullptr;
}

bool TTrayIcon::NotificationAreaAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::SetActive(bool value)
{
    if (value == m_active)
        return;
    m_active = value;
    if (!value) {
        RemoveNative();
        return;
    }
    m_native = new QSystemTrayIcon(this);
    connect(m_native, &QSystemTrayIcon::activated, this, &TTrayIcon::Activated);
    SendIconData();
    // Sends the data once more after the desktop has taken the icon, which some panels
    // need to pick up the tooltip.
    if (m_toolTip.isEmpty())
        QTimer::singleShot(0, this, [this] { SetToolTip(m_toolTip); });
}

void TTrayIcon::SendIconData()
{
    if (!m_native)
        return;
    m_native->setIcon(m_icon);
    m_native->setToolTip(m_hint);
    // Qt refuses to show an icon without a picture; it is shown once one is set.
    m_native->setVisible(!m_icon.isNull());
}

void TTrayIcon::SetIcon(const QIcon& icon)
{
    if (icon.cacheKey() == m_icon.cacheKey())
        return;
    ChangeIcon(icon);
}

void TTrayIcon::ChangeIcon(const QIcon& icon)
{
    m_icon = icon;
    SendIconData();
    emit iconChanged();
}

void TTrayIcon::SetHint(const QString& text)
{
    if (text == m_hint)
        return;
    m_hint = CutToBytes(text, kMaxHintBytes);
    SendIconData();
}

void TTrayIcon::SetToolTip(const QString& text)
{
    m_toolTip = CutToBytes(text, kMaxToolTipBytes);
    SendIconData();
}

void TTrayIcon::SetAnimate(bool value)
{
    if (value == m_animate)
        return; // switching off twice must not put back a stale saved icon
    if (value) {
        if (m_images.isEmpty() || !m_active)
            return;
        m_savedIcon = m_icon;
        m_frame = 0;
        m_animate = true;
        m_timer->start();
        return;
    }
    m_timer->stop();
    m_animate = false;
    ChangeIcon(m_savedIcon);
}

void TTrayIcon::SetAnimateInterval(int ms)
{
    if (ms <= 0)
        return;
    m_animateInterval = ms;
    m_timer->setInterval(ms);
}

void TTrayIcon::SetImages(const QList<QIcon>& images)
{
    m_images = images;
    if (m_images.isEmpty())
        SetAnimate(false);
}

bool TTrayIcon::ShowMessage(const QString& title, const QString& text, bool warning)
{
    if (!m_native || !m_native->isVisible())
        return false;
    m_native->showMessage(title, text, warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
    return true;
}

void TTrayIcon::SetMenuShower(MenuShower shower)
{
    m_showMenu = std::move(shower);
}

void TTrayIcon::AnimateStep()
{
    if (m_images.isEmpty())
        return;
    // Frames run 1, 2, ..., last, 0, 1, ...; a list shortened meanwhile restarts at 0.
    m_frame = m_frame + 1 >= m_images.size() ? 0 : m_frame + 1;
    ChangeIcon(m_images.at(m_frame));
}

void TTrayIcon::Activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (OnClick)
            OnClick(*this);
        break;
    case QSystemTrayIcon::DoubleClick:
        if (OnDblClick)
            OnDblClick(*this);
        break;
    case QSystemTrayIcon::Context:
        RightClick();
        break;
    default:
        break;
    }
}

void TTrayIcon::RightClick()
{
    const QPoint pos = QCursor::pos();
    // Not given to QSystemTrayIcon::setContextMenu: the desktop would then show it on its
    // own, and OnRightClick could not be ordered after it.
    if (m_popupMenu && m_showMenu)
        m_showMenu(m_popupMenu, pos);
    if (OnRightClick)
        OnRightClick(*this, Qt::RightButton, Qt::NoModifier, pos.x(), pos.y());
}

} // namespace pelmora
