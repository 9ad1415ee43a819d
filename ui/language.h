// Interface language, fixed when the program is built (HMX700_LANGUAGE):
// 0 Polish (the shipped texts of the window layout), 1 English.
#pragma once

#include "report/language.h"

#include <QString>

#ifndef HMX700_LANGUAGE
#define HMX700_LANGUAGE 0
#endif

namespace hmx {

inline constexpr int InterfaceLanguage = HMX700_LANGUAGE;
static_assert(InterfaceLanguage == 0 || InterfaceLanguage == 1, "HMX700_LANGUAGE must be 0 or 1");
// The same, as the code below the window is given it.
inline constexpr Language WindowLanguage = InterfaceLanguage == 0 ? Language::Polish : Language::English;

// The text for the built language: ByLanguage(u"Połącz"_s, u"Connect"_s).
inline QString ByLanguage(const QString& polish, const QString& english)
{
    return InterfaceLanguage == 0 ? polish : english;
}

} // namespace hmx

using hmx::ByLanguage;
using hmx::InterfaceLanguage;
