#pragma once
// RunView: everything the run driver needs from the window that shows a run (TSyncForm in the
// program, a recorder in tests and benchmarks): labels, gauges, message boxes, the preview and
// results windows, the beep, the status line, input processing and posting the next phase.
// Called by the run driver on the UI thread only; the mirror listing's worker thread never calls
// it (its progress reaches the view through the driver, see ListingMailbox).

#include <string_view>

namespace pelmora {

class RunDriver;

// The five phases of a run, in the order a whole run posts them. Each is handled by the
// run driver's handler of the same name.
enum class RunPhase {
    ListMain,   // OnListMain: list the host side
    ListMirror, // OnListMirror: list the mirror side, plan, preview
    SyncMain,   // OnSyncMain: carry out HostFiles
    SyncMirror, // OnSyncMirror: carry out MirrorFiles
    SyncFolder, // OnSyncFolder: empty folders, result, close
};

// The text lines of the run window, top to bottom (its controls Label1 to Label5).
enum class RunLabel {
    Phase,     // what the run is doing: "Analyzing host folder...", "Synchronizing..."
    Item,      // the folder being listed or the file being worked on
    Operation, // the current operation: "Performing: ..."
    Total,     // the total line of a copy
    Progress,  // the rate, the time left and "file n of N" while files are worked on
};

// Buttons of a message box, and the button the user pressed.
enum class BoxButtons {
    Ok,
    YesNo,
    YesNoDefaultNo, // Yes and No with No as the default button (Enter answers No)
};
enum class BoxAnswer {
    Ok,
    Yes,
    No,
};

class RunView
{
public:
    virtual ~RunView() = default;

    // Sets one text line. The driver may repeat a text; the view need not repaint then. Called
    // for every file: a view keeps the value at once but may show it a little later, as long as
    // the last value set is what it ends up showing.
    virtual void SetLabel(RunLabel label, std::string_view text) = 0;
    // The file gauge (syncMeter) and the total gauge (totMeter), whole percent 0..100; shown
    // like the labels.
    virtual void SetFileGauge(int percent) = 0;
    virtual void SetTotalGauge(int percent) = 0;
    // Starts or stops the copying animation (SyncAnim).
    virtual void SetAnimation(bool playing) = 0;

    // A modal message box; returns the pressed button. A box closed without a button counts
    // as No (YesNo) or Ok.
    virtual BoxAnswer Ask(std::string_view text, std::string_view caption, BoxButtons buttons) = 0;

    // Shows the preview of the planned operations modally (the window moved off screen while
    // it is up is the view's business). The preview reads and changes run.Lists() and
    // run.Plan() in place. Returns 1 when the user confirmed, -1 for its Cancel button, 0 when
    // it was closed otherwise; anything below 1 cancels the run.
    virtual int ShowPreview(RunDriver& run) = 0;
    // Shows the results window (the result log) modally; returns when it is closed.
    virtual void ShowResults() = 0;
    // The system's default beep.
    virtual void Beep() = 0;
    // Puts the run's end line into the main window's status bar.
    virtual void SetStatusLine(std::string_view text) = 0;

    // Lets the window system handle pending input (Cancel button, painting, timers). Called
    // between blocks of a copy, for every file, during speed-limit waits and while scanning:
    // it must be cheap, and a view may skip calls that come sooner than a few milliseconds
    // after the last one it served.
    virtual void ProcessPendingInput() = 0;
    // Arranges for run.Dispatch(phase) to be called from the event loop once the current
    // handler has returned. Never calls it directly.
    virtual void Post(RunPhase phase) = 0;
    // The run has ended (RunState is rsIdle again): the window closes itself.
    virtual void CloseRunWindow() = 0;
};

} // namespace pelmora
