// The language a front end speaks, which the session's texts are written in.
#pragma once

#include <QString>

namespace hmx {

enum class Language { Polish = 0, English = 1 };

inline QString InLanguage(Language language, const QString& polish, const QString& english)
{
    return language == Language::Polish ? polish : english;
}

} // namespace hmx
