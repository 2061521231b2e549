#pragma once
// HeadlessRunner: one run without a window, driven to its end by pumping the posted phases,
// with a RecordingView that answers message boxes and the preview from a script. Used by tests
// and benchmarks on one thread.

#include "sync/RunDriver.h"
#include "tests/support/run/RecordingView.h"

namespace pelmora {

class SyncLog;

class HeadlessRunner
{
public:
    // `log` receives the run's lines and must outlive the runner. The driver lists the two
    // sides at the same time, or one after the other when the environment variable
    // PELMORA_TEST_LISTING is "sequential".
    explicit HeadlessRunner(SyncLog& log);

    RecordingView& View() { return m_view; }
    RunDriver& Driver() { return m_driver; }

    // Starts the run and dispatches posted phases until none is left. Returns false when the
    // driver refused to start (a run going on, no task) or ended at once (an invalid mask).
    // The view's recorded state is cleared first; its script and hooks are kept.
    bool Run(const RunRequest& request);

private:
    RecordingView m_view;
    RunDriver m_driver;
};

} // namespace pelmora
