#include "ui/instrumenttile.h"

#include "ui/language.h"

#include <QContextMenuEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>

namespace hmx {

namespace {

QLabel* NewLabel(QWidget* parent, int pixelSize, bool bold)
{
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    label->setFont(font);
    return label;
}

// The page's own alarm colours, lighter: the readings stay legible on them.
QColor LevelColour(limits::Level level, const QColor& usual)
{
    switch (level) {
    case limits::Level::Alarm: return QColor(255, 170, 170);
    case limits::Level::Warning: return QColor(255, 215, 150);
    case limits::Level::None: break;
    }
    return usual;
}

} // namespace

QString InstrumentStateText(const TileView& view)
{
    switch (view.state) {
    case InstrumentState::NotMeasuring: return ByLanguage("Nie mierzy", "Not measuring");
    case InstrumentState::Connecting: return ByLanguage("Łączę…", "Connecting…");
    case InstrumentState::Measuring: return ByLanguage("Pomiar trwa", "Measuring");
    case InstrumentState::Searching: return ByLanguage("Szukam przyrządu…", "Searching for the instrument…");
    case InstrumentState::OtherUnit: return ByLanguage("Inny przyrząd: %1", "Another unit: %1").arg(view.otherUnit);
    case InstrumentState::LogProblem: return ByLanguage("Problem z zapisem dziennika", "Log problem");
    }
    return {};
}

InstrumentTile::InstrumentTile(QWidget* parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setLineWidth(2);
    setAutoFillBackground(true);
    setCursor(Qt::PointingHandCursor);
    auto* layout = new QGridLayout(this);
    m_name = NewLabel(this, 16, true);
    m_serial = NewLabel(this, 11, false);
    layout->addWidget(m_name, 0, 0, 1, 2);
    layout->addWidget(m_serial, 1, 0, 1, 2);
    const QString units[] = {QStringLiteral("%Rh"), QStringLiteral("°Cdp"), QStringLiteral("°C")};
    for (int i = 0; i < 3; ++i) {
        m_values[i] = NewLabel(this, 32, true);
        m_values[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        layout->addWidget(m_values[i], 2 + i, 0);
        QLabel* unit = NewLabel(this, 13, false);
        unit->setText(units[i]);
        layout->addWidget(unit, 2 + i, 1);
    }
    m_state = NewLabel(this, 13, true);
    m_state->setWordWrap(true);
    layout->addWidget(m_state, 5, 0, 1, 2);
    setView(m_view);
}

void InstrumentTile::setView(const TileView& view)
{
    m_view = view;
    m_name->setText(view.name);
    m_serial->setText(view.serialNumber ? ByLanguage("Numer seryjny: %1", "Serial number: %1").arg(view.serialNumber)
                                        : QString());
    m_values[0]->setText(view.humidity);
    m_values[1]->setText(view.dewPoint);
    m_values[2]->setText(view.ambient);
    m_state->setText(stateText());
    showColours();
}

QString InstrumentTile::stateText() const
{
    return InstrumentStateText(m_view);
}

void InstrumentTile::setChosen(bool chosen)
{
    m_chosen = chosen;
    setFrameShadow(chosen ? QFrame::Sunken : QFrame::Raised);
    setLineWidth(chosen ? 3 : 1);
}

void InstrumentTile::showColours()
{
    QPalette p = palette();
    p.setColor(QPalette::Window, LevelColour(m_view.level, parentWidget() ? parentWidget()->palette().color(QPalette::Window)
                                                                           : QPalette().color(QPalette::Window)));
    setPalette(p);
}

void InstrumentTile::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit chosen();
    QFrame::mouseReleaseEvent(event);
}

void InstrumentTile::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit renameAsked();
    QFrame::mouseDoubleClickEvent(event);
}

void InstrumentTile::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.addAction(ByLanguage("Nazwa…", "Name…"), this, &InstrumentTile::renameAsked);
    menu.addAction(ByLanguage("Pokaż na stronie pomiaru", "Show on the measurement page"), this, &InstrumentTile::chosen);
    if (m_removable) {
        menu.addSeparator();
        menu.addAction(ByLanguage("Usuń przyrząd…", "Remove instrument…"), this, &InstrumentTile::removeAsked);
    }
    menu.exec(event->globalPos());
}

} // namespace hmx
