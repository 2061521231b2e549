// Lists a host and a mirror tree and plans the run, as a run does between its start and the
// preview, and prints the time it took: "scan_plan_seconds=S files=H+M plan=...".
//
//   scan_plan HOST MIRROR [ROUNDS]

#include "sync/Listing.h"
#include "sync/Planner.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace pelmora;

namespace {

class NullObserver final : public ListingObserver
{
public:
    void SearchingFolder(std::string_view) override {}
    void ProcessPendingInput() override {}
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s HOST MIRROR [ROUNDS]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 1;

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
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        TRunLists lists;
        RunState state = rsListHost;
        SideLister lister(task, state, masks, lists, &observer);
        lister.ListHost(argv[1]);
        state = rsListMirror;
        lister.ListMirror(argv[2]);
        const auto listed = std::chrono::steady_clock::now();
        const TPlanSummary plan = PlanRun(task, lists);
        const auto end = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(end - start).count();
        const double planSeconds = std::chrono::duration<double>(end - listed).count();
        std::printf(
            "scan_plan_seconds=%.4f plan_seconds=%.4f files=%d+%d folders=%d+%d copy=%u+%u delete=%u+%u empty=%u\n",
            seconds, planSeconds, lists.HostFiles.Count(), lists.MirrorFiles.Count(), lists.HostFolders.Count(),
            lists.MirrorFolders.Count(), plan.CopyToMirrorCount, plan.CopyToHostCount, plan.DeleteHostCount,
            plan.DeleteMirrorCount, plan.EmptyFolderCount);
    }
    return 0;
}
