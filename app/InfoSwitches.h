#pragma once
// `pelmora --help`, `-h` and `--version`: answered on standard output before the application
// object exists, so they need no display and open, create and write no file.

namespace pelmora {

// When the command line is exactly one of those switches, prints its answer and returns true
// (the program then exits with status 0); otherwise prints nothing and returns false.
bool AnswerInfoSwitch(int argc, const char* const* argv);

} // namespace pelmora
