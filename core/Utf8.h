#pragma once
// Text helpers for stored names: cutting UTF-8 texts to the byte limits of the fields without
// splitting a character, and comparing with only ASCII a-z folded. Pure, safe on any thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmora {

// The longest prefix of `text` of at most maxBytes bytes that does not end inside a UTF-8
// character. Bytes that are not valid UTF-8 are treated as single characters, so a cut is
// never more than three bytes shorter than the limit.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

// `text` with a-z upper-cased; every other byte as it is.
std::string AsciiUpper(std::string_view text);
// Equal after folding a-z to upper case only (bytes >= 0x80 compare exactly).
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);

} // namespace pelmora
