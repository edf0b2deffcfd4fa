#include "ui/user_number_format.h"

#include <cstdlib>
#include <cstring>

#include <langinfo.h>
#include <locale.h>

namespace gravlag::ui {

std::string NumberLocaleName()
{
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return "C";
}

RegionalFormat RegionalFormatOfLocale(const std::string& name)
{
    // The C library's own locales write numbers with a point; asking it to load them (the
    // UTF-8 one from its files) was a tenth of the batch runner's start-up.
    if (name == "C" || name == "POSIX" || name == "C.UTF-8" || name == "C.utf8")
        return {};
    // The character type too, for the encoding the separator is written in.
    locale_t locale = newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0))
        return {}; // not installed
    const std::string separator = nl_langinfo_l(RADIXCHAR, locale);
    const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, locale), "UTF-8") == 0;
    freelocale(locale);
    bool ascii = true;
    for (const char c : separator)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    // The program's texts are UTF-8: a separator in another encoding cannot be shown.
    if (separator.empty() || (!ascii && !utf8))
        return {};
    return RegionalFormat{separator};
}

RegionalFormat UserRegionalFormat()
{
    return RegionalFormatOfLocale(NumberLocaleName());
}

} // namespace gravlag::ui
