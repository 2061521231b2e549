// Takes the README's screenshots of the run windows on a real display (run it under
// xvfb-run): the synchronisation window in the middle of a speed-limited copy, the preview of
// a mixed plan with a few folders open, and the results window after two runs. Each window is
// captured from the screen with ImageMagick's "import -window root", cut to the window.
//
//   xvfb-run -s "-screen 0 1280x1024x24" preview_screenshots OUT_DIR [zh]
//
// With "zh" the windows show the Traditional Chinese texts and the files end in "-zh".

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <utime.h>

#include "lang/Messages.h"
#include "platform/widgets/Gauge.h"
#include "sync/Listing.h"
#include "sync/Planner.h"
#include "sync/SyncLog.h"
#include "ui/DialogService.h"
#include "ui/ResForm.h"
#include "ui/SyncForm.h"
#include "ui/TreeVForm.h"

using namespace pelmora;

namespace {

QString g_out;
QString g_suffix;

void WriteFile(const QString& path, qint64 size, qint64 mtime)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QByteArray(static_cast<int>(size), 'x'));
    file.close();
    const QByteArray name = QFile::encodeName(path);
    utimbuf times{mtime, mtime};
    utime(name.constData(), &times);
}

// Captures `window` from the screen into OUT_DIR/name.
void Capture(QWidget& window, const char* name)
{
    window.raise();
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    const QRect g = window.frameGeometry();
    QString file = g_out + "/" + name;
    file.insert(file.size() - 4, g_suffix);
    const int rc = QProcess::execute(
        "import", {"-window", "root", "-crop",
                   QString("%1x%2+%3+%4").arg(g.width()).arg(g.height()).arg(g.x()).arg(g.y()), "+repage", file});
    std::printf("%s: %s (%dx%d)\n", qPrintable(file), rc == 0 ? "written" : "import failed", g.width(), g.height());
}

class NullObserver final : public ListingObserver
{
public:
    void SearchingFolder(std::string_view) override {}
    void ProcessPendingInput() override {}
};

std::unique_ptr<TSyncTask> CopyTask()
{
    auto task = NewSyncTask();
    task->InMain = acHostToMirror;
    task->InMirror = acDelete;
    task->SizeDiffer = acHostToMirror;
    task->NewInMain = acHostToMirror;
    task->NewInMirror = acMirrorToHost;
    task->IntoSub = kFlagTrue;
    return task;
}

// The run window that takes its picture once both gauges are part-filled, then cancels.
class CapturingSyncForm : public TSyncForm
{
public:
    bool taken = false;
    void ProcessPendingInput() override
    {
        TSyncForm::ProcessPendingInput();
        if (!taken && totMeter->Progress() >= 40 && syncMeter->Progress() >= 30 && syncMeter->Progress() <= 80) {
            taken = true;
            Capture(*this, "sync-window.png");
            QMetaObject::invokeMethod(btnCancel, &QPushButton::click, Qt::QueuedConnection);
        }
    }
};

void SyncWindowShot(const QString& root)
{
    const QString host = root + "/sync/Projects";
    const QString mirror = root + "/sync/Backup";
    QDir().mkpath(mirror);
    for (int i = 0; i < 6; ++i)
        WriteFile(host + QString("/video/clip-%1.mp4").arg(i + 1), 3 * 1024 * 1024, 1760000000);
    auto task = CopyTask();
    task->Speed = 4000;
    SyncLog log;
    QueuedDialogService dialogs;
    dialogs.pushAnswer(QMessageBox::Yes);
    SetDialogService(&dialogs);
    CapturingSyncForm form;
    form.ApplyTexts();
    RunRequest request;
    request.Task = task.get();
    request.TaskName = "Projects";
    request.HostDir = host.toStdString();
    request.MirrorDir = mirror.toStdString();
    request.AutoRun = true;
    form.RunModal(request, log);
    SetDialogService(nullptr);
}

void PreviewShot(const QString& root)
{
    const QString host = root + "/preview/Documents";
    const QString mirror = root + "/preview/Mirror";
    const qint64 t = 1760000000;
    WriteFile(host + "/report-2025.odt", 48213, t);
    WriteFile(mirror + "/report-2025.odt", 48213, t);
    WriteFile(host + "/budget.ods", 1536, t + 600);
    WriteFile(mirror + "/budget.ods", 1490, t);
    WriteFile(host + "/notes.txt", 812, t);
    WriteFile(mirror + "/notes.txt", 900, t + 3600 * 5);
    WriteFile(mirror + "/old-draft.odt", 30999, t);
    WriteFile(host + "/letters/april.odt", 20480, t);
    WriteFile(host + "/letters/may.odt", 21000, t);
    WriteFile(mirror + "/letters/may.odt", 21000, t);
    WriteFile(host + "/photos/2025/beach.jpg", 3 * 1024 * 1024 + 500000, t);
    WriteFile(host + "/photos/2025/hills.jpg", 2 * 1024 * 1024, t);
    WriteFile(mirror + "/photos/2024/snow.jpg", 1800000, t);
    WriteFile(host + "/scans/id.pdf", 300000, t);
    WriteFile(mirror + "/scans/id.pdf", 300000, t);
    QDir().mkpath(host + "/empty");

    auto task = CopyTask();
    task->EmptyDir = acHostToMirror;
    const TRunMasks masks;
    NullObserver observer;
    TRunLists lists;
    RunState state = rsListHost;
    SideLister lister(*task, state, masks, lists, &observer);
    lister.ListHost(host.toStdString());
    state = rsListMirror;
    lister.ListMirror(mirror.toStdString());
    TPlanSummary plan = PlanRun(*task, lists);

    TTreeVForm form;
    form.ApplyTexts();
    TPreviewInput input{&lists, &plan, host.toStdString(), mirror.toStdString(), task->EmptyDir};
    form.Prepare(input);
    form.resize(820, 520);
    form.move(40, 40);
    form.show();
    QCoreApplication::processEvents();
    form.OnAddTreeNodes();
    // The root's files, with one copy deselected to show both check marks.
    for (TRowRec& row : form.ListV->RowList)
        if (row.FileName() == "notes.txt")
            ToggleRow(row, plan);
    form.UpdateStatus();
    form.ListV->selectRow(0);
    Capture(form, "preview-window.png");
    form.FormClose();
}

void ResultsShot(const QString& root)
{
    SyncLog log;
    for (int run = 0; run < 2; ++run) {
        const QString host = root + QString("/results/host%1").arg(run);
        const QString mirror = root + QString("/results/mirror%1").arg(run);
        QDir().mkpath(mirror);
        for (int i = 0; i < 3 + run; ++i)
            WriteFile(host + QString("/file%1.txt").arg(i), 100 + i, 1760000000);
        auto task = CopyTask();
        TSyncForm form;
        form.ApplyTexts();
        RunRequest request;
        request.Task = task.get();
        request.TaskName = run == 0 ? "Documents" : "Photos";
        request.HostDir = host.toStdString();
        request.MirrorDir = mirror.toStdString();
        request.AutoRun = true;
        form.RunModal(request, log);
    }
    TresForm form;
    form.ApplyTexts();
    form.SetLineSource([&log]() -> const std::vector<std::string>& { return log.Lines(); });
    form.show();
    Capture(form, "results-window.png");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    const bool chinese = argc > 2 && std::strcmp(argv[2], "zh") == 0;
    SelectLanguage(chinese ? kLangChineseTaiwan : kLangEnglishUS);
    g_suffix = chinese ? "-zh" : "";
    g_out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(g_out);
    QTemporaryDir work;
    SyncWindowShot(work.path());
    PreviewShot(work.path());
    ResultsShot(work.path());
    return 0;
}
