#include "sync/SizeText.h"

namespace pelmora {

std::string SizeText(std::int64_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes);
    const std::int64_t unit = bytes < 1048576 ? 1024 : 1048576;
    std::int64_t whole = bytes / unit;
    // Rounds the remainder to the nearest tenth; 9.95 and up carries into the whole part.
    std::int64_t tenth = (bytes % unit + unit / 20) / (unit / 10);
    if (tenth == 10) {
        ++whole;
        tenth = 0;
    }
    std::string text = std::to_string(whole);
    text += '.';
    text += static_cast<char>('0' + tenth);
    text += unit == 1024 ? 'K' : 'M';
    return text;
}

} // namespace pelmora
