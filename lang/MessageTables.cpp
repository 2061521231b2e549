// Placeholder tables until the real texts land: message 0 is the product's name.
#include "lang/Messages.h"

namespace pelmora {
namespace {
constexpr MessageTable Filled(const char* first)
{
    MessageTable t{};
    for (auto& s : t)
        s = "";
    t[0] = first;
    return t;
}
} // namespace
const MessageTable kEnglishMessages = Filled("Pelmora");
const MessageTable kChineseMessages = Filled("Pelmora");
} // namespace pelmora
