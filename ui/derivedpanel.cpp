#include "ui/derivedpanel.h"

#include "instrument/poller.h"
#include "readings/lines.h"
#include "ui/fieldtext.h"
#include "ui/language.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QScrollArea>

#include <algorithm>
#include <limits>

namespace hmx {

using humidity::Quantity;

namespace {

QString Utf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString Name(Quantity q)
{
    const humidity::QuantityInfo& info = humidity::Info(q);
    return ByLanguage(Utf8(info.polish), Utf8(info.english));
}

QString Unit(Quantity q)
{
    return Utf8(humidity::Info(q).unit);
}

constexpr double Millisecond = 1.0 / 86400000;  // in X, days

// The charted quantity's colour: none of the three readings' own.
const QColor ChartedColor(128, 0, 160);

} // namespace

QString DerivedTitle(Quantity quantity)
{
    return Name(quantity) + QStringLiteral(" [") + Unit(quantity) + QLatin1Char(']');
}

QString DerivedText(Quantity quantity, std::optional<double> value)
{
    if (!value)
        return ByLanguage(QStringLiteral("poza zakresem"), QStringLiteral("out of range"));
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);  // as the chart writes numbers
    return locale.toString(*value, 'f', humidity::Info(quantity).decimals);
}

DerivedPanel::DerivedPanel(QWidget* page, QRect area, chart::ChartWidget& chart, readings::Lines& lines)
    : QObject(page), m_chart(chart), m_lines(&lines), m_frame(new QFrame(page))
{
    m_frame->setObjectName(QStringLiteral("derivedFrame"));
    m_frame->setGeometry(area);
    m_frame->hide();  // until a quantity is chosen
}

void DerivedPanel::setChoice(DerivedChoice choice)
{
    for (const Shown& s : m_shown) {
        m_chart.removeSeries(s.line);
        m_lines->remove(s.quantity);
    }
    m_shown.clear();
    delete m_frame->layout();
    for (QWidget* child : m_frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        delete child;
    m_choice = std::move(choice);
    m_frame->setVisible(!m_choice.empty());
    if (m_choice.empty())
        return;

    // Rows of name, value and unit, every text whole in the frame's narrow room: a long
    // name wraps onto further lines, a field is wide enough for "poza zakresem" and for
    // the usual values (ShowWhole draws a longer one smaller); beyond a few rows the
    // frame scrolls.
    auto* scroll = new QScrollArea(m_frame);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* rows = new QWidget;
    auto* grid = new QGridLayout(rows);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setVerticalSpacing(2);
    int row = 0;
    for (const Quantity q : m_choice.shown) {
        auto* name = new QLabel(Name(q), rows);
        name->setWordWrap(true);
        auto* field = new QLineEdit(rows);
        field->setObjectName(QStringLiteral("derived-") + Utf8(humidity::Info(q).key));
        field->setReadOnly(true);
        field->setFocusPolicy(Qt::NoFocus);
        field->setAlignment(Qt::AlignRight);
        const QFontMetrics metrics = field->fontMetrics();
        const int longest = std::max(metrics.horizontalAdvance(QStringLiteral("-000000.0")),
                                     metrics.horizontalAdvance(DerivedText(q, std::nullopt)));
        field->setFixedWidth(field->width() - TextRoom(*field) + longest);
        field->setEnabled(!m_old);
        grid->addWidget(name, row, 0);
        grid->addWidget(field, row, 1);
        grid->addWidget(new QLabel(Unit(q), rows), row, 2);
        ++row;

        const bool charted = m_choice.charted == q;
        chart::LineSeries* line = m_chart.addSeries(DerivedTitle(q), ChartedColor, 2);
        line->setRightAxis(true);
        line->setPlotted(charted);
        line->setData(m_lines->line(q));
        m_shown.push_back({q, field, line});
    }
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(row, 1);
    scroll->setWidget(rows);
    auto* layout = new QGridLayout(m_frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    refill();
}

void DerivedPanel::showReading(const Reading& reading)
{
    // The values the reading carries, of the choice shown (its session saw to that).
    for (const DerivedValue& d : reading.derived) {
        if (QLineEdit* shown = field(d.quantity))
            ShowWhole(*shown, DerivedText(d.quantity, d.value));
    }
}

void DerivedPanel::setLines(readings::Lines& lines)
{
    m_lines = &lines;
    for (const Shown& s : m_shown)
        s.line->setData(m_lines->line(s.quantity));
    refill();
}

void DerivedPanel::setOld(bool old)
{
    m_old = old;
    for (const Shown& s : m_shown)
        s.field->setEnabled(!old);
}

void DerivedPanel::refill()
{
    const std::shared_ptr<const readings::Line> dewPoint = m_lines->find(Quantity::DewPoint);
    const std::shared_ptr<const readings::Line> ambient = m_lines->find(Quantity::Temperature);
    for (const Shown& s : m_shown) {
        const std::shared_ptr<readings::Line> line = m_lines->line(s.quantity);
        line->clear();
        line->setJoiningDistance(dewPoint ? dewPoint->joiningDistance() : 0);
    }
    if (m_shown.empty())
        return;
    // The dew point and the ambient temperature of one reading share their X. The
    // points go to the lines in rows, a block at a time, each telling the chart once;
    // a value out of range is no point (NaN is left out).
    constexpr std::size_t BlockRows = 8192;
    std::vector<Quantity> quantities;
    for (const Shown& s : m_shown)
        quantities.push_back(s.quantity);
    std::vector<double> xs;
    std::vector<std::vector<double>> values(m_shown.size());
    const auto deliver = [&] {
        std::vector<const double*> columns;
        for (const std::vector<double>& column : values)
            columns.push_back(column.data());
        m_lines->add(xs, quantities, columns);
        xs.clear();
        for (std::vector<double>& column : values)
            column.clear();
    };
    const readings::PointStore none;
    const readings::PointStore& dewPoints = dewPoint ? dewPoint->points() : none;
    const readings::PointStore& ambients = ambient ? ambient->points() : none;
    std::size_t a = 0;
    for (std::size_t i = 0; i < dewPoints.size() && a < ambients.size(); ++i) {
        const double x = dewPoints.x(i);
        while (a < ambients.size() && ambients.x(a) < x - Millisecond)
            ++a;
        if (a == ambients.size() || ambients.x(a) > x + Millisecond)
            continue;
        const std::vector<std::optional<double>> derived = DerivedValues(m_choice, ambients.y(a), dewPoints.y(i));
        xs.push_back(x);
        for (std::size_t k = 0; k < m_shown.size(); ++k)
            values[k].push_back(derived[k].value_or(std::numeric_limits<double>::quiet_NaN()));
        if (xs.size() >= BlockRows)
            deliver();
    }
    deliver();  // the rest, and word of the clears
}

QLineEdit* DerivedPanel::field(Quantity quantity) const
{
    for (const Shown& s : m_shown) {
        if (s.quantity == quantity)
            return s.field;
    }
    return nullptr;
}

chart::LineSeries* DerivedPanel::line(Quantity quantity) const
{
    for (const Shown& s : m_shown) {
        if (s.quantity == quantity)
            return s.line;
    }
    return nullptr;
}

} // namespace hmx
