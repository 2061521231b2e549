#pragma once
// TTrayIcon: one icon in the desktop's notification area with its tooltip, an optional
// animation through a list of images, and the icon's clicks turned into events.
// A Qt object: create and use it on the UI thread only.

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>

class QTimer;

namespace pelmora {

class TTrayIcon : public QObject
{
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TTrayIcon& sender)>;
    using TMouseEvent =
        std::function<void(TTrayIcon& sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)>;
    // Pops `menu` up at the screen position `pos` and returns when the menu has closed.
    using MenuShower = std::function<void(QMenu* menu, const QPoint& pos)>;

    static constexpr int kMaxHintBytes = 60;
    static constexpr int kMaxToolTipBytes = 62;
    static constexpr int kDefaultAnimateInterval = 500;

    explicit TTrayIcon(QObject* parent = nullptr);
    // Removes the icon from the notification area when it is shown.
    ~TTrayIcon() override;

    // Whether the icon is meant to be in the notification area. On a desktop without one
    // the state, texts and events are kept all the same and the icon appears as soon as
    // the desktop offers a notification area. Setting the current value does nothing.
    bool Active() const { return m_active; }
    void SetActive(bool value);

    QIcon Icon() const { return m_icon; }
    void SetIcon(const QIcon& icon);

    // The tooltip shown on the icon, cut to its first 60 bytes at a character boundary.
    QString Hint() const { return m_hint; }
    void SetHint(const QString& text);

    // A stored text, cut to 62 bytes; setting it only sends the icon's data again.
    QString ToolTip() const { return m_toolTip; }
    void SetToolTip(const QString& text);

    // Switching on is refused, leaving Animate false, unless Images holds at least one
    // image and the icon is Active. Switching off puts back the icon saved when the
    // animation started.
    bool Animate() const { return m_animate; }
    void SetAnimate(bool value);

    // Milliseconds per animation frame; values of 0 or less are ignored.
    int AnimateInterval() const { return m_animateInterval; }
    void SetAnimateInterval(int ms);

    // The animation frames. Clearing the list while animating switches the animation off.
    QList<QIcon> Images() const { return m_images; }
    void SetImages(const QList<QIcon>& images);

    // Shown on a right click; not owned. A destroyed menu reads as none.
    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* menu) { m_popupMenu = menu; }

    // Replaces how the popup menu is shown (by default QMenu::exec at the cursor). Lets a
    // caller observe the menu without a real popup.
    void SetMenuShower(MenuShower shower);

    // Left click, left double click, right click (after the popup menu has closed).
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnRightClick;

    // Shows a desktop notification coming from the icon (through the freedesktop.org
    // notification service where the desktop has one). Returns false, showing nothing, when
    // the icon is not in the notification area.
    bool ShowMessage(const QString& title, const QString& text, bool warning);

    // The desktop's icon while Active, else nullptr.
    QSystemTrayIcon* NativeIcon() const { return m_native; }

    // Whether the desktop currently offers a notification area at all.
    static bool NotificationAreaAvailable();

signals:
    // Icon changed, by SetIcon or by an animation step.
    void iconChanged();

private:
    void Activated(QSystemTrayIcon::ActivationReason reason);
    void RightClick();
    void AnimateStep();
    void SendIconData();
    void ChangeIcon(const QIcon& icon);
    void RemoveNative();

    bool m_active = false;
    bool m_animate = false;
    QIcon m_icon;
    QIcon m_savedIcon;
    QString m_hint;
    QString m_toolTip;
    int m_animateInterval = kDefaultAnimateInterval;
    int m_frame = 0;
    QList<QIcon> m_images;
    QPointer<QMenu> m_popupMenu;
    MenuShower m_showMenu;
    QTimer* m_timer;
    // Made on activation and removed on deactivation, so the desktop gets one icon per
    // activation and none afterwards.
    QPointer<QSystemTrayIcon> m_native;
};

} // namespace pelmora
