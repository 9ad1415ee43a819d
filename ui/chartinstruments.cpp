#include "ui/chartinstruments.h"

#include "readings/lines.h"
#include "ui/instruments.h"
#include "ui/language.h"

#include <QAction>
#include <QMenu>

namespace hmx {

namespace {

constexpr humidity::Quantity Quantities[] = {humidity::Quantity::DewPoint, humidity::Quantity::RelativeHumidity,
                                             humidity::Quantity::Temperature};

// The quantity's colour, lighter and darker in turn for each further instrument, so every
// line stays of its quantity's family.
QColor Shade(const QColor& base, int index)
{
    const int step = (index + 1) / 2;
    return index % 2 ? base.darker(100 + 45 * step) : base.lighter(100 + 45 * step);
}

} // namespace

ChartInstruments::ChartInstruments(chart::ChartWidget& chart, ChartLines shown, Instruments& instruments)
    : QObject(&instruments)
    , m_chart(chart)
    , m_shown(shown)
    , m_titles{shown.dewPoint->title(), shown.humidity->title(), shown.ambient->title()}
    , m_instruments(instruments)
    , m_menu(new QMenu(&chart))
{
    m_menuAction = new QAction(ByLanguage("Przyrządy na wykresie", "Instruments on the chart"), this);
    m_menuAction->setObjectName(QStringLiteral("chartInstrumentsAction"));
    m_menuAction->setMenu(m_menu);
    m_menuAction->setVisible(false);
    chart.addMenuAction(m_menuAction);
    connect(&instruments, &Instruments::instrumentsChanged, this, &ChartInstruments::rebuild);
    // A removed one's lines go; those after it keep theirs under their new places.
    connect(&instruments, &Instruments::removing, this, [this](int index) {
        setDrawn(index, false);
        std::map<int, Drawn> moved;
        for (auto& [i, drawn] : m_drawn)
            moved[i > index ? i - 1 : i] = drawn;
        m_drawn = std::move(moved);
    });
    // The one the page shows now is drawn by the chart's own lines.
    connect(&instruments, &Instruments::chosen, this, [this](int index) {
        setDrawn(index, false);
        rebuild();
    });
}

QAction* ChartInstruments::entry(int index) const
{
    const QList<QAction*> entries = m_menu->actions();
    return index >= 0 && index < entries.size() ? entries[index] : nullptr;
}

chart::LineSeries* ChartInstruments::line(int index, int quantity) const
{
    const auto found = m_drawn.find(index);
    return found == m_drawn.end() ? nullptr : found->second.series[std::size_t(quantity)];
}

std::vector<int> ChartInstruments::drawn() const
{
    std::vector<int> indices;
    for (const auto& [index, drawn] : m_drawn)
        indices.push_back(index);
    return indices;
}

void ChartInstruments::rebuild()
{
    m_menu->clear();
    for (int i = 0; i < m_instruments.count(); ++i) {
        QAction* entry = m_menu->addAction(m_instruments.name(i));
        entry->setCheckable(true);
        const bool shownOnPage = i == m_instruments.shown();
        entry->setChecked(shownOnPage || m_drawn.contains(i));
        entry->setEnabled(!shownOnPage);
        connect(entry, &QAction::toggled, this, [this, i](bool on) { setDrawn(i, on); });
    }
    m_menuAction->setVisible(m_instruments.count() > 1);
    nameLines();
}

void ChartInstruments::setDrawn(int index, bool drawn)
{
    const auto found = m_drawn.find(index);
    if (!drawn) {
        if (found == m_drawn.end())
            return;
        for (chart::LineSeries* series : found->second.series)
            m_chart.removeSeries(series);
        disconnect(found->second.redraw);
        m_drawn.erase(found);
        nameLines();
        return;
    }
    if (found != m_drawn.end())
        return;
    readings::Lines* lines = m_instruments.lines(index);
    const chart::LineSeries* own[] = {m_shown.dewPoint, m_shown.humidity, m_shown.ambient};
    std::array<chart::LineSeries*, 3> added{};
    for (std::size_t q = 0; q < 3; ++q) {
        added[q] = m_chart.addSeries(m_titles[q], Shade(own[q]->color(), int(m_drawn.size()) + 1), own[q]->lineWidth());
        added[q]->setData(lines->line(Quantities[q]));
    }
    // The chart follows the shown instrument's lines itself; these redraw it too.
    m_drawn[index] = {added, connect(lines, &readings::Lines::changed, &m_chart, qOverload<>(&QWidget::update))};
    nameLines();
}

void ChartInstruments::nameLines()
{
    // Named only while lines of several instruments share the chart.
    const bool several = !m_drawn.empty();
    chart::LineSeries* own[] = {m_shown.dewPoint, m_shown.humidity, m_shown.ambient};
    for (std::size_t q = 0; q < 3; ++q) {
        own[q]->setTitle(several ? QStringLiteral("%1 – %2").arg(m_titles[q], m_instruments.name(m_instruments.shown()))
                                 : m_titles[q]);
        for (const auto& [index, drawn] : m_drawn)
            drawn.series[q]->setTitle(QStringLiteral("%1 – %2").arg(m_titles[q], m_instruments.name(index)));
    }
    m_chart.update();
}

} // namespace hmx
