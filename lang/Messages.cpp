#include "lang/Messages.h"

#include <cstdlib>
#include <string_view>

namespace pelmora {
namespace {

const MessageTable* g_current = &kEnglishMessages;
const char* g_fontName = "MS Sans Serif";
std::uint16_t g_userLangId = kLangEnglishUS;

// First non-empty of LC_ALL, LC_MESSAGES, LANG, as the C library resolves message locales.
std::string_view LocaleName()
{
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return {};
}

} // namespace

std::uint16_t UserDefaultLangId()
{
    const std::string_view name = LocaleName();
    // "zh_TW", "zh_TW.UTF-8", "zh_TW@euro": the territory is the two letters after "zh_".
    if (name.size() >= 5 && name.substr(0, 3) == "zh_") {
        const std::string_view territory = name.substr(3, 2);
        if (territory == "TW")
            return kLangChineseTaiwan;
        if (territory == "HK")
            return kLangChineseHongKong;
        if (territory == "SG")
            return kLangChineseSingapore;
        if (territory == "CN")
            return kLangChinesePRC;
    }
    return kLangEnglishUS;
}

void SelectLanguage() { SelectLanguage(UserDefaultLangId()); }

void SelectLanguage(std::uint16_t langId)
{
    g_userLangId = langId;
    const bool chinese =
        langId == kLangChineseTaiwan || langId == kLangChineseHongKong || langId == kLangChineseSingapore;
    g_current = chinese ? &kChineseMessages : &kEnglishMessages;
    g_fontName = chinese ? "細明體" : "MS Sans Serif";
}

const MessageTable& CurrentMessages() { return *g_current; }
const char* UiFontName() { return g_fontName; }
std::uint16_t UserLangId() { return g_userLangId; }

} // namespace pelmora
