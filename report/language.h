// The interface language of what is shown, chosen by whoever shows it: the window's is
// fixed when it is built, hmx700-report takes the one it was built with. Code below the
// window is given it, and never reads a build constant of its own.
#pragma once

#include <QString>

namespace hmx {

enum class Language { Polish, English };

// The texts of one language: const Wording w{language}; w("Połącz", "Connect").
struct Wording {
    Language language = Language::Polish;

    QString operator()(const QString& polish, const QString& english) const
    {
        return language == Language::Polish ? polish : english;
    }
};

} // namespace hmx
