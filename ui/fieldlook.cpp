#include "ui/fieldlook.h"

#include <QLineEdit>

namespace hmx {

FieldLook::FieldLook(QLineEdit* field)
    : m_field(field), m_own(field->palette())
{
}

void FieldLook::setLimitLevel(limits::Level level)
{
    if (level == m_level)
        return;
    m_level = level;
    apply();
}

void FieldLook::setOld(bool old)
{
    if (old == m_old)
        return;
    m_old = old;
    apply();
}

void FieldLook::apply()
{
    QPalette palette = m_own;
    switch (m_level) {
    case limits::Level::None:
        break;
    case limits::Level::Warning:
        palette.setColor(QPalette::Base, warningColor());
        palette.setColor(QPalette::Text, Qt::black);
        break;
    case limits::Level::Alarm:
        palette.setColor(QPalette::Base, alarmColor());
        palette.setColor(QPalette::Text, Qt::white);
        break;
    }
    if (m_old)
        palette.setColor(QPalette::Text, oldColor());
    m_field->setPalette(palette);
}

} // namespace hmx
