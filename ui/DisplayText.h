#pragma once
// Engine texts on their way into a window. Names on disk may hold control characters; they are
// shown escaped (EscapeControlChars), so that one name always reads as one plain line and
// cannot pass itself off as other lines of a window. UI thread.

#include <QString>

#include <string>
#include <string_view>

#include "core/Utf8.h"

namespace pelmora {

// `text` (UTF-8) with its control characters escaped, as a QString.
inline QString DisplayText(std::string_view text)
{
    const std::string shown = EscapeControlChars(text);
    return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

} // namespace pelmora
