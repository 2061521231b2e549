#include "lang/Messages.h"

#include <cstdlib>
#include <string_view>

namespace pelmora {
namespace {

const MessageTable* g_current = &kEnglishMessages;
const char* g_fontName = "MS Sans Serif";
std::uint16_t g_userLangId = kLangEnglishUS;

// First non-empty of LC_ALL, LC_MESSAGES, LANG, the order in which the C library resolves
// the locale of messages.
std::string_view LocaleName()
{
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return {};
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

std::uint16_t UserDefaultLangId()
{
    std::string_view name = LocaleName();
    // language[_territory][.codeset][@modifier]: "zh_TW", "zh_TW.UTF-8", "zh_HK.Big5-HKSCS".
    // Only the part before the codeset or modifier counts, so "zh_TWX" is not Taiwan.
    name = name.substr(0, name.find_first_of(".@"));
    if (name.size() != 5 || !EqualsAsciiNoCase(name.substr(0, 3), "zh_"))
        return kLangEnglishUS;
    const std::string_view territory = name.substr(3);
    if (EqualsAsciiNoCase(territory, "TW"))
        return kLangChineseTaiwan;
    if (EqualsAsciiNoCase(territory, "HK"))
        return kLangChineseHongKong;
    if (EqualsAsciiNoCase(territory, "SG"))
        return kLangChineseSingapore;
    if (EqualsAsciiNoCase(territory, "CN"))
        return kLangChinesePRC;
    return kLangEnglishUS;
}

bool IsChineseLangId(std::uint16_t langId)
{
    return langId == kLangChineseTaiwan || langId == kLangChineseHongKong || langId == kLangChineseSingapore;
}

void SelectLanguage()
{
    SelectLanguage(UserDefaultLangId());
}

void SelectLanguage(std::uint16_t langId)
{
    g_userLangId = langId;
    const bool chinese = IsChineseLangId(langId);
    g_current = chinese ? &kChineseMessages : &kEnglishMessages;
    g_fontName = chinese ? "細明體" : "MS Sans Serif";
}

const MessageTable& CurrentMessages()
{
    return *g_current;
}
const char* UiFontName()
{
    return g_fontName;
}
std::uint16_t UserLangId()
{
    return g_userLangId;
}

} // namespace pelmora
