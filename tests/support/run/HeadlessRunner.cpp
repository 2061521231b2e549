#include "tests/support/run/HeadlessRunner.h"

#include <cstdlib>
#include <cstring>

namespace pelmora {

HeadlessRunner::HeadlessRunner(SyncLog& log) : m_driver(m_view, log)
{
    // The whole-run tests are registered twice, once with this set, so that both ways of
    // listing the two sides meet every one of them.
    const char* listing = std::getenv("PELMORA_TEST_LISTING");
    if (listing && std::strcmp(listing, "sequential") == 0)
        m_driver.SetListingMode(RunDriver::ListingMode::Sequential);
}

bool HeadlessRunner::Run(const RunRequest& request)
{
    for (auto& history : m_view.labelHistory)
        history.clear();
    m_view.fileGaugeHistory.clear();
    m_view.totalGaugeHistory.clear();
    m_view.boxes.clear();
    m_view.dispatched.clear();
    m_view.labels = {};
    m_view.fileGauge = m_view.totalGauge = 0;
    m_view.animating = false;
    m_view.previewsShown = m_view.resultsShown = m_view.beeps = 0;
    m_view.statusLine.clear();
    m_view.closed = false;
    m_view.pendingInputCalls = 0;

    if (!m_driver.Start(request))
        return false;
    RunPhase phase;
    while (m_view.TakePosted(phase)) {
        if (m_view.record)
            m_view.dispatched.push_back(phase);
        m_driver.Dispatch(phase);
    }
    if (m_view.closed)
        m_driver.FormClose();
    return true;
}

} // namespace pelmora
