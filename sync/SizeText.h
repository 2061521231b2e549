#pragma once
// SizeText: a byte count as a short text ("1023", "1.5K", "5.0M") for the copy progress line
// and the preview's totals. Pure function; any thread.

#include <cstdint>
#include <string>

namespace pelmora {

// Below 1024 (and for negative counts) the plain decimal number; from 1024 on one decimal of
// K, from 1048576 on one decimal of M (a gigabyte stays in M: "2048.0M"). Never fails.
std::string SizeText(std::int64_t bytes);

} // namespace pelmora
