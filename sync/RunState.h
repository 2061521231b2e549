#pragma once
// The state of one synchronisation run, one byte. The run driver owns the value; the
// scanner's enquiry handler reads it to stop a listing once the user has cancelled.
// Used on the UI thread only.

#include <cstdint>

namespace pelmora {

enum RunState : std::uint8_t {
    rsIdle = 0,          // no run
    rsListHost = 1,      // listing the host folder
    rsListMirror = 2,    // listing the mirror folder
    rsExecHost = 3,      // carrying out host list operations
    rsExecMirror = 4,    // carrying out mirror list operations and empty folders
    rsCancelled = 5,     // cancel requested (or host folder missing)
    rsTooManyErrors = 6, // the error limit was reached
};

} // namespace pelmora
