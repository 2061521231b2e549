#pragma once
// The copy lane's side of the lane messages: a loop that reads jobs from `in`, carries each
// out with the same FileOps as a run on one thread, and answers on `out` with the result and
// the result-log lines. It ends when `in` reaches its end (the run closed the connection) or
// `out` breaks. `in` and `out` are sockets (the lane program's standard input and output).

namespace pelmora {

// Returns the process exit code: 0 after the run closed the connection, 1 when a message was
// malformed or the answer could not be sent.
int RunLaneWorker(int in, int out);

} // namespace pelmora
