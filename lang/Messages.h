#pragma once
// The built-in message table in two languages and the language chosen at start-up.
// SelectLanguage() runs once on the UI thread before any window exists; afterwards the
// table is read-only and may be read from any thread.

#include <array>
#include <cstdint>

namespace pelmora {

inline constexpr int kMessageCount = 149;

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

// The user's default language id from LC_ALL, then LC_MESSAGES, then LANG.
std::uint16_t UserDefaultLangId();

// Chooses the table and font from UserDefaultLangId(). The overload takes the id directly.
void SelectLanguage();
void SelectLanguage(std::uint16_t langId);

const MessageTable& CurrentMessages();
const char* UiFontName();
std::uint16_t UserLangId();

// Message n of the current table; n must be in 0..148.
inline const char* Msg(int n) { return CurrentMessages()[static_cast<std::size_t>(n)]; }

} // namespace pelmora
