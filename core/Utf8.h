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

// `text` made safe to show or log as one line of its own. Control characters are written as
// escapes: C0 controls and DEL as \n, \r, \t or \x1b style, C1 controls (U+0080..U+009F) as
// \u0085 style, and likewise the characters that break or reorder a line in text views (the
// line and paragraph separators U+2028, U+2029 and the bidirectional embeddings, overrides and
// isolates U+202A..U+202E, U+2066..U+2069). A byte that is not part of valid UTF-8 becomes
// \xNN, and the backslash itself becomes \\, so every escaped text reads back to exactly one
// original. Everything else, valid UTF-8 text included, is unchanged.
std::string EscapeControlChars(std::string_view text);

// `text` with a-z upper-cased; every other byte as it is.
std::string AsciiUpper(std::string_view text);
// Equal after folding a-z to upper case only (bytes >= 0x80 compare exactly).
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);

} // namespace pelmora
