#include "sync/ExitStatus.h"

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "sync/RunDriver.h"

namespace pelmora {

int RunExitStatus(const RunDriver& run)
{
    if (run.Held())
        return kExitRefused;
    const std::string& end = run.EndLine();
    if (run.Result().FailedCount > 0 || end == Msg(kMsgUserBreak) || end == Msg(kMsgTooManyErrors))
        return kExitRunFailed;
    return kExitDone;
}

} // namespace pelmora
