// The user's number format from the environment: LC_ALL, else LC_NUMERIC, else LANG, read
// through the C library's locale data, the point where a locale is not installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "ui/user_number_format.h"

using gravlag::ui::NumberLocaleName;
using gravlag::ui::RegionalFormatOfLocale;
using gravlag::ui::UserRegionalFormat;

namespace {

// Sets the three variables for one case (nullopt: unset) and restores them afterwards.
class Environment {
public:
    Environment()
    {
        for (int i = 0; i < 3; ++i)
            if (const char* v = std::getenv(kNames[i]))
                saved_[i] = v;
    }
    ~Environment()
    {
        set(saved_[0], saved_[1], saved_[2]);
    }
    void set(const std::optional<std::string>& all, const std::optional<std::string>& numeric,
             const std::optional<std::string>& lang)
    {
        const std::optional<std::string>* values[] = {&all, &numeric, &lang};
        for (int i = 0; i < 3; ++i) {
            if (*values[i])
                setenv(kNames[i], (*values[i])->c_str(), 1);
            else
                unsetenv(kNames[i]);
        }
    }

private:
    static constexpr const char* kNames[3] = {"LC_ALL", "LC_NUMERIC", "LANG"};
    std::optional<std::string> saved_[3];
};

} // namespace

TEST(UserNumberFormat, FromTheEnvironmentThroughTheCLibrary)
{
    ASSERT_EQ(RegionalFormatOfLocale("de_DE.UTF-8").decimalSeparator, ",")
        << "the locale de_DE.UTF-8 is not installed: scripts/deps generates it (localedef)";
    EXPECT_EQ(RegionalFormatOfLocale("C").decimalSeparator, ".");
    EXPECT_EQ(RegionalFormatOfLocale("C.UTF-8").decimalSeparator, ".");
    EXPECT_EQ(RegionalFormatOfLocale("xx_YY.UTF-8").decimalSeparator, "."); // not installed
    EXPECT_EQ(RegionalFormatOfLocale("").decimalSeparator, "."); // never the caller's own

    const std::string de = "de_DE.UTF-8";
    struct Case {
        std::optional<std::string> all, numeric, lang;
        std::string name, separator;
    };
    const Case cases[] = {
        {de, "C", "C", de, ","},                 // LC_ALL first
        {"C", de, de, "C", "."},                 // LC_ALL=C makes a script independent of the rest
        {"", de, "C", de, ","},                  // an empty variable counts as unset
        {std::nullopt, de, "C", de, ","},        // then LC_NUMERIC
        {std::nullopt, std::nullopt, de, de, ","}, // then LANG
        {std::nullopt, "", "", "C", "."},        // none: the C locale
        {"xx_YY.UTF-8", de, de, "xx_YY.UTF-8", "."}, // a missing locale is not skipped over
    };
    Environment environment;
    for (const Case& c : cases) {
        environment.set(c.all, c.numeric, c.lang);
        EXPECT_EQ(NumberLocaleName(), c.name) << c.all.value_or("(unset)");
        EXPECT_EQ(UserRegionalFormat().decimalSeparator, c.separator) << c.all.value_or("(unset)");
    }
}
