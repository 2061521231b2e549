#include "lang/Messages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace pelmora {
namespace {

// Sets or clears the three locale variables for one test and restores them afterwards.
class LocaleEnv
{
public:
    LocaleEnv()
    {
        for (const char* var : kVars) {
            const char* v = std::getenv(var);
            m_saved.push_back(v ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(var);
        }
    }
    ~LocaleEnv()
    {
        for (std::size_t i = 0; i < std::size(kVars); ++i) {
            if (m_saved[i])
                setenv(kVars[i], m_saved[i]->c_str(), 1);
            else
                unsetenv(kVars[i]);
        }
        SelectLanguage(kLangEnglishUS);
    }
    void set(const char* var, const char* value) { setenv(var, value, 1); }

private:
    static constexpr const char* kVars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::optional<std::string>> m_saved;
};

std::vector<std::string> Placeholders(const std::string& text)
{
    static const std::regex kPlaceholder("%[0-9]");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), kPlaceholder); it != std::sregex_iterator(); ++it)
        found.push_back(it->str());
    return found;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(extra) >= s.size())
            return false;
        for (int k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

TEST(LanguageSelection, OnlyTraditionalChineseIdsSelectChinese)
{
    struct Case
    {
        std::uint16_t id;
        bool chinese;
    };
    for (const Case c : {Case{0x0404, true}, Case{0x0C04, true}, Case{0x1004, true}, Case{0x0804, false},
                         Case{0x0409, false}, Case{0x0407, false}}) {
        SCOPED_TRACE(c.id);
        SelectLanguage(c.id);
        EXPECT_EQ(UserLangId(), c.id);
        EXPECT_EQ(&CurrentMessages(), c.chinese ? &kChineseMessages : &kEnglishMessages);
        EXPECT_STREQ(Msg(kMsgAppTitle), c.chinese ? "Pelmora單機版" : "Pelmora");
        EXPECT_STREQ(UiFontName(), c.chinese ? "細明體" : "MS Sans Serif");
    }
    SelectLanguage(kLangEnglishUS);
}

TEST(LanguageSelection, LocaleVariablesTakePrecedenceInOrder)
{
    LocaleEnv env;
    EXPECT_EQ(UserDefaultLangId(), kLangEnglishUS) << "nothing set";

    env.set("LANG", "zh_HK.UTF-8");
    EXPECT_EQ(UserDefaultLangId(), kLangChineseHongKong);

    env.set("LC_MESSAGES", "zh_SG");
    EXPECT_EQ(UserDefaultLangId(), kLangChineseSingapore) << "LC_MESSAGES beats LANG";

    env.set("LC_ALL", "zh_TW.UTF-8");
    EXPECT_EQ(UserDefaultLangId(), kLangChineseTaiwan) << "LC_ALL beats LC_MESSAGES";

    env.set("LC_ALL", "C");
    EXPECT_EQ(UserDefaultLangId(), kLangEnglishUS) << "a set LC_ALL wins even when it is not Chinese";

    env.set("LC_ALL", "");
    EXPECT_EQ(UserDefaultLangId(), kLangChineseSingapore) << "an empty variable counts as unset";

    SelectLanguage();
    EXPECT_EQ(UserLangId(), kLangChineseSingapore);
    EXPECT_STREQ(Msg(kMsgErrorCaption), "錯誤");
}

TEST(LanguageSelection, LocaleNameForms)
{
    LocaleEnv env;
    struct Case
    {
        const char* locale;
        std::uint16_t id;
    };
    for (const Case c :
         {Case{"zh_TW", kLangChineseTaiwan}, Case{"zh_TW.Big5", kLangChineseTaiwan},
          Case{"zh_HK@stroke", kLangChineseHongKong}, Case{"zh_tw.utf8", kLangChineseTaiwan},
          Case{"zh_CN.UTF-8", kLangChinesePRC}, Case{"zh_TWX", kLangEnglishUS}, Case{"zh", kLangEnglishUS},
          Case{"en_US.UTF-8", kLangEnglishUS}, Case{"de_TW", kLangEnglishUS}}) {
        SCOPED_TRACE(c.locale);
        env.set("LANG", c.locale);
        EXPECT_EQ(UserDefaultLangId(), c.id);
    }

    env.set("LANG", "zh_CN.UTF-8");
    SelectLanguage();
    EXPECT_STREQ(Msg(kMsgAppTitle), "Pelmora") << "simplified Chinese users get English";
    EXPECT_STREQ(UiFontName(), "MS Sans Serif");
}

TEST(MessageTables, BothTablesAreCompleteAndConsistent)
{
    for (int n = 0; n < kMessageCount; ++n) {
        SCOPED_TRACE(n);
        const char* en = kEnglishMessages[static_cast<std::size_t>(n)];
        const char* zh = kChineseMessages[static_cast<std::size_t>(n)];
        ASSERT_NE(en, nullptr);
        ASSERT_NE(zh, nullptr);
        const std::string e = en, c = zh;
        EXPECT_FALSE(e.empty());
        EXPECT_FALSE(c.empty());
        for (unsigned char ch : e)
            EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << "English text is plain ASCII: " << e;
        EXPECT_TRUE(IsValidUtf8(c)) << c;
        EXPECT_EQ(Placeholders(e), Placeholders(c)) << e << " / " << c;
        EXPECT_EQ(e.find('&') != std::string::npos, c.find('&') != std::string::npos) << e << " / " << c;
        // Texts that get a value appended keep their trailing blank in both languages.
        EXPECT_EQ(e.back() == ' ', c.back() == ' ') << e << " / " << c;
    }
}

TEST(MessageTables, EnglishTextsAreExact)
{
    // The last rows guard against a missing or doubled row shifting the table.
    EXPECT_STREQ(kEnglishMessages[kMsgKindEveryWeek], "Every Week");
    EXPECT_STREQ(kEnglishMessages[kMsgKindEveryDay], "Every Day");
    EXPECT_STREQ(kEnglishMessages[kMsgNewTaskName], "New Task ");
    EXPECT_STREQ(kEnglishMessages[kMsgContinueQuestion], "  Do you want to continue?");
    EXPECT_STREQ(kEnglishMessages[kMsgDaySuffixUnused], " Day");
    EXPECT_STREQ(kEnglishMessages[kMsgCreatingFolderTree], "Create folder tree... ");
    EXPECT_STREQ(kEnglishMessages[kMsgTotalProgress], "Total: %1 bytes finish, %2 bytes remain");
    EXPECT_STREQ(kEnglishMessages[kMsgAutoModeHint], "Don't display preview window and result dialog.");
    EXPECT_STREQ(kEnglishMessages[kMsgActionMirrorToHost], "Host <- Mirror");
    EXPECT_STREQ(kEnglishMessages[kMsgSunday], "Sunday");
    EXPECT_STREQ(kEnglishMessages[kMsgFirstWeekday + 6], "Saturday");
    EXPECT_STREQ(kEnglishMessages[kMsgEmailAddress], kChineseMessages[kMsgEmailAddress]);
    EXPECT_STREQ(kEnglishMessages[kMsgWebAddress], kChineseMessages[kMsgWebAddress]);
}

TEST(MessageTables, ChineseTextsThatDifferInMeaning)
{
    EXPECT_STREQ(kChineseMessages[kMsgDeleteFailed], "刪除資料夾失敗，路徑: ");
    EXPECT_STREQ(kChineseMessages[kMsgColMirrorSize], "大小(本地)");
    EXPECT_STREQ(kChineseMessages[kMsgColHostTime], "時間(遠程)");
    EXPECT_STREQ(kChineseMessages[kMsgStatusDeleteHost], "刪除遠程檔案: %1");
    EXPECT_STREQ(kChineseMessages[kMsgRepeatNoLimit], "(-1 代表無限次)");
    EXPECT_STREQ(kChineseMessages[kMsgKindInterval], "每隔");
    EXPECT_STREQ(kChineseMessages[kMsgSyncTypeFolder], kChineseMessages[kMsgFoldersLabel]);
    EXPECT_STREQ(kChineseMessages[kMsgCheckAll], kChineseMessages[kMsgSelectAll]);
    EXPECT_STREQ(kChineseMessages[kMsgClearCheck], kChineseMessages[kMsgClearSelection]);
    EXPECT_STREQ(kChineseMessages[kMsgKindEveryWeek], "每週");
}

TEST(MessageLookup, ActionNamesAndOutOfRangeIndices)
{
    SelectLanguage(kLangEnglishUS);
    const auto names = ActionNames();
    EXPECT_STREQ(names[0], "Ignore");
    EXPECT_STREQ(names[1], "Delete");
    EXPECT_STREQ(names[2], "Host -> Mirror");
    EXPECT_STREQ(names[3], "Host <- Mirror");
    EXPECT_STREQ(ActionName(4), "");
    EXPECT_STREQ(ActionName(-1), "");
    EXPECT_STREQ(Msg(-1), "");
    EXPECT_STREQ(Msg(kMessageCount), "");

    SelectLanguage(kLangChineseTaiwan);
    EXPECT_STREQ(ActionName(0), "忽略");
    EXPECT_STREQ(ActionName(2), "主 -> 鏡像");
    SelectLanguage(kLangEnglishUS);
}

} // namespace
} // namespace pelmora
