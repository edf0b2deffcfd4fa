#pragma once
// The user's regional number format, from the environment and the C library's locale data,
// the same for both programs: the desktop program's windows and the batch runner's
// in-memory ones take it from here, so the same texts give the same run on one machine.

#include <string>

#include "core/number_text.h"

namespace gravlag::ui {

// The locale whose number format applies: the environment's LC_ALL, else LC_NUMERIC, else
// LANG, the first that is set and not empty; "C" when none is.
std::string NumberLocaleName();

// The decimal separator of a locale as the C library knows it (newlocale, RADIXCHAR). A
// locale that is not installed, or whose separator is not plain text, gives the point.
RegionalFormat RegionalFormatOfLocale(const std::string& name);

// RegionalFormatOfLocale(NumberLocaleName()).
RegionalFormat UserRegionalFormat();

} // namespace gravlag::ui
