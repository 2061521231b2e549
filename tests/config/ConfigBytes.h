#pragma once
// Building configuration files byte by byte for the configuration tests.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <cstdint>
#include <string>

namespace pelmora::test {

inline void AppendInt32(std::string& out, std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

} // namespace pelmora::test
