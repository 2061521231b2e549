#pragma once
// The built-in message table in two languages and the language chosen at start-up.
// SelectLanguage() runs once on the UI thread before any window exists; afterwards the
// table is read-only and may be read from any thread.

#include "lang/MessageIds.h"

#include <array>
#include <cstdint>

namespace pelmora {

inline constexpr int kMessageCount = 200;

using MessageTable = std::array<const char*, kMessageCount>;

// The two tables, UTF-8 encoded. Index N is "message N" in both.
extern const MessageTable kEnglishMessages;
extern const MessageTable kChineseMessages;

// Language ids as the desktop reports them.
inline constexpr std::uint16_t kLangEnglishUS = 0x0409;
inline constexpr std::uint16_t kLangChineseTaiwan = 0x0404;
inline constexpr std::uint16_t kLangChineseHongKong = 0x0C04;
inline constexpr std::uint16_t kLangChineseSingapore = 0x1004;
inline constexpr std::uint16_t kLangChinesePRC = 0x0804;

// The user's default language id from the first non-empty of LC_ALL, LC_MESSAGES, LANG.
// Returns kLangEnglishUS when none is set or the locale is not one of the Chinese ones.
std::uint16_t UserDefaultLangId();

// Chooses the table and font from UserDefaultLangId(). The overload takes the id directly;
// only the Traditional Chinese ids (Taiwan, Hong Kong, Singapore) select Chinese.
void SelectLanguage();
void SelectLanguage(std::uint16_t langId);

// True when langId selects the Chinese table.
bool IsChineseLangId(std::uint16_t langId);

const MessageTable& CurrentMessages();
const char* UiFontName();
std::uint16_t UserLangId();

// Message n of the current table. Returns "" for an n outside the table rather than reading
// past the table.
inline const char* Msg(int n)
{
    if (n < 0 || n >= kMessageCount)
        return "";
    return CurrentMessages()[static_cast<std::size_t>(n)];
}

inline constexpr int kActionNameCount = 4;

// The name of action code 0..3 (ignore, delete, host to mirror, mirror to host) in the
// current language, as the task editor and the run log show it. Returns "" for any other code.
inline const char* ActionName(int code)
{
    if (code < 0 || code >= kActionNameCount)
        return "";
    return Msg(kMsgFirstAction + code);
}

// All four action names at once, element k naming action code k.
inline std::array<const char*, kActionNameCount> ActionNames()
{
    return {ActionName(0), ActionName(1), ActionName(2), ActionName(3)};
}

} // namespace pelmora
