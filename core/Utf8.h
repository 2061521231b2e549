#pragma once
// Cutting UTF-8 texts to the byte limits of the stored fields without splitting a character.
// Pure functions, safe on any thread.

#include <cstddef>
#include <string_view>

namespace pelmora {

// The longest prefix of `text` of at most maxBytes bytes that does not end inside a UTF-8
// character. Bytes that are not valid UTF-8 are treated as single characters, so a cut is
// never more than three bytes shorter than the limit.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

} // namespace pelmora
