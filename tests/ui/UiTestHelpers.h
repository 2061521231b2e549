#pragma once
// Shared by the window tests: a program start on a temporary folder with the queued dialog
// service installed, and mouse gestures sent straight to a widget. UI thread only.

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>

#include "config/ConfigFile.h"
#include "core/SyncTask.h"
#include "ui/DialogService.h"
#include "ui/MainWindow.h"
#include "ui/TrayHost.h"

namespace pelmora::test {

// The executable path the program is told it runs from; Pelmora.cfg and pelmora.log sit
// beside it in the temporary folder.
inline std::string ExePathIn(const QTemporaryDir& dir)
{
    return (dir.path() + QStringLiteral("/pelmora")).toStdString();
}

inline QString ConfigPathIn(const QTemporaryDir& dir)
{
    return dir.path() + QStringLiteral("/Pelmora.cfg");
}

// Writes a configuration file holding `names` with default records, letting `edit` change
// each record (index, record) before it is written.
template <typename Edit> void WriteConfig(const QTemporaryDir& dir, const std::vector<std::string>& names, Edit edit)
{
    TaskRecords tasks;
    for (std::size_t i = 0; i < names.size(); ++i) {
        tasks.push_back(NewSyncTask());
        edit(i, *tasks.back());
    }
    WriteConfigFile(ConfigPathIn(dir).toStdString(), SerializeConfig(names, tasks, {}));
}

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// One program start: windows created in order, texts applied, main window shown; or, with
// AsMain, shown as main() shows it ("/H" leaves it in the notification area).
struct Program
{
    enum Shown {
        Always,
        AsMain,
    };
    QueuedDialogService dialogs;
    std::unique_ptr<TForms> forms;

    Program(const QTemporaryDir& dir, const QStringList& arguments = {}, Shown shown = Always)
    {
        qApp->setQuitOnLastWindowClosed(false);
        SetDialogService(&dialogs);
        forms = TForms::Create(arguments, ExePathIn(dir));
        forms->ApplyAllTexts();
        if (shown == AsMain)
            ShowMainWindowAtStart(*forms->cltForm, arguments);
        else
            forms->cltForm->show();
        QCoreApplication::processEvents();
    }

    ~Program()
    {
        forms.reset();
        SetDialogService(nullptr);
    }

    TcltForm& main() { return *forms->cltForm; }
    TAppState& state() { return forms->cltForm->State(); }

    template <typename T> T* find(const char* name)
    {
        T* widget = forms->cltForm->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no widget named %s", name);
        return widget;
    }
};

inline void SendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Presses on the entry `from` of a list, drags over a few points to `to` and releases.
inline void DragInList(QListWidget* list, QPoint from, QPoint to)
{
    QWidget* viewport = list->viewport();
    SendMouse(viewport, QEvent::MouseButtonPress, from, Qt::LeftButton);
    const QPoint step = (to - from) / 4;
    for (int i = 1; i <= 4; ++i)
        SendMouse(viewport, QEvent::MouseMove, i == 4 ? to : from + step * i, Qt::LeftButton);
    SendMouse(viewport, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

inline QPoint CentreOf(QListWidget* list, int row)
{
    return list->visualItemRect(list->item(row)).center();
}

// A point on the text of an entry, well clear of its check box.
inline QPoint TextOf(QListWidget* list, int row)
{
    const QRect rect = list->visualItemRect(list->item(row));
    return QPoint(rect.left() + rect.width() * 2 / 3, rect.center().y());
}

} // namespace pelmora::test
