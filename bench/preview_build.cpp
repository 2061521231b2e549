// Times the preview of a large plan against the scan and planning of the same run: lists and
// plans HOST and MIRROR, then builds the preview window's folder tree (offscreen) and fills its
// grid for the folder with the most files. Prints one line per round and, last,
// "preview_vs_scan=X.XX" from the medians.
//
//   preview_build HOST MIRROR [ROUNDS]

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "lang/Messages.h"
#include "sync/Listing.h"
#include "sync/Planner.h"
#include "ui/TreeVForm.h"

using namespace pelmora;

namespace {

class NullObserver final : public ListingObserver
{
public:
    void SearchingFolder(std::string_view) override {}
    void ProcessPendingInput() override {}
};

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s HOST MIRROR [ROUNDS]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SelectLanguage(kLangEnglishUS);
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;

    TSyncTask task;
    std::memset(&task, 0, sizeof task);
    task.InMain = acHostToMirror;
    task.InMirror = acDelete;
    task.SizeDiffer = acHostToMirror;
    task.NewInMain = acHostToMirror;
    task.NewInMirror = acMirrorToHost;
    task.EmptyDir = acHostToMirror;
    task.IntoSub = kFlagTrue;
    task.SyncType = tyFolder;
    task.TimeShift = 2.0 / 86400 + 0.00000001;

    const TRunMasks masks;
    NullObserver observer;
    TTreeVForm form;
    form.ApplyTexts();
    std::vector<double> scanTimes, previewTimes;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        TRunLists lists;
        RunState state = rsListHost;
        SideLister lister(task, state, masks, lists, &observer);
        lister.ListHost(argv[1]);
        state = rsListMirror;
        lister.ListMirror(argv[2]);
        TPlanSummary plan = PlanRun(task, lists);
        const double scan = Seconds(start);

        // The folder holding the most files directly, found outside the timing.
        std::map<std::string, int, std::less<>> perFolder;
        for (const TMFileInfoRec* e : lists.HostFiles)
            ++perFolder[std::string(FolderOf(e->RelPath()))];
        std::string largest = "/";
        int largestCount = -1;
        for (const auto& [folder, count] : perFolder)
            if (count > largestCount) {
                largest = folder;
                largestCount = count;
            }

        TPreviewInput input;
        input.Lists = &lists;
        input.Plan = &plan;
        input.HostDir = argv[1];
        input.MirrorDir = argv[2];
        input.EmptyDir = task.EmptyDir;
        form.Prepare(input);
        form.show();
        QCoreApplication::processEvents();

        start = std::chrono::steady_clock::now();
        form.OnAddTreeNodes();
        QCoreApplication::processEvents();
        const TNodeRec* rec = form.FindPath(largest);
        if (rec) {
            form.TreeV->setCurrentItem(rec->Node);
            form.ListV->FillFor(&lists, rec->Path);
        }
        QCoreApplication::processEvents();
        const double preview = Seconds(start);
        const int rows = form.ListV->RowList.Count();
        form.hide();
        form.FormClose();

        scanTimes.push_back(scan);
        previewTimes.push_back(preview);
        std::printf("round=%d scan_plan_seconds=%.4f preview_seconds=%.4f folders=%d+%d largest=%s rows=%d\n", r, scan,
                    preview, lists.HostFolders.Count(), lists.MirrorFolders.Count(), largest.c_str(), rows);
    }
    std::printf("preview_vs_scan=%.2f\n", Median(previewTimes) / Median(scanTimes));
    return 0;
}
