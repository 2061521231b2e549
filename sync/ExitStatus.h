#pragma once
// Exit statuses of a command-line start (/A, -A<name>, -C<name>); with several tasks the
// highest wins. Interactive and hidden starts exit with kExitDone. Constants and one pure
// function; any thread.

namespace pelmora {

inline constexpr int kExitDone = 0;       // every run that started finished without a failed operation
inline constexpr int kExitRunFailed = 1;  // failed operations, the error limit, or a cancel (also by a signal)
inline constexpr int kExitBadCommand = 2; // an unknown switch or task name; nothing ran
inline constexpr int kExitRefused = 3;    // a task was refused and did not run

class RunDriver;
// The exit status of a run that started: kExitRefused when the mass-deletion guard held it,
// kExitRunFailed when it had failed operations, stopped at the error limit or was cancelled
// (its host folder missing included), else kExitDone.
int RunExitStatus(const RunDriver& run);

} // namespace pelmora
