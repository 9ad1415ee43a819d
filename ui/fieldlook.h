// The look of a display field, decided in one place from its states: its own colours,
// amber while a warning limit is crossed, red while an alarm limit is. Further states
// (a value gone stale) join here, so the field never ends up with a mixed look.
#pragma once

#include "limits/limits.h"

#include <QPalette>

class QLineEdit;

namespace hmx {

// Silence of an instrument for longer than this many cycles makes its shown values old.
inline constexpr int SilentCyclesStillLive = 3;

class FieldLook {
public:
    // Takes the field's current palette as its own look.
    explicit FieldLook(QLineEdit* field);

    void setLimitLevel(limits::Level level);
    limits::Level limitLevel() const { return m_level; }
    // An old value (the instrument away) is dimmed, over whatever limit colour it has.
    void setOld(bool old);

    static QColor warningColor() { return {255, 191, 0}; }
    static QColor alarmColor() { return {255, 0, 0}; }
    // Dimmed, but still readable on the fields' teal.
    static QColor oldColor() { return {192, 192, 192}; }

private:
    void apply();

    QLineEdit* m_field;
    QPalette m_own;
    limits::Level m_level = limits::Level::None;
    bool m_old = false;
};

} // namespace hmx
