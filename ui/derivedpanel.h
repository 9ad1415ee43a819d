// The derived quantities on the measurement page and the chart: one read-only field
// per chosen quantity (in a small frame of its own, where no control of the page is),
// and one line of readings per quantity, drawn by a chart line; the one chosen for the
// chart is drawn on the right value axis, the others are only read out and exported
// with the chart's lines.
#pragma once

#include "chart/chartwidget.h"
#include "instrument/derived.h"

#include <QObject>
#include <QRect>

#include <vector>

class QFrame;
class QLineEdit;
class QWidget;

namespace hmx {

namespace readings {
class Lines;
}
struct Reading;

class DerivedPanel : public QObject {
    Q_OBJECT
public:
    // The fields go into `area` of `page`; the lines are those of the derived quantities
    // in `lines`, computed from its dew-point and ambient lines; `lines` and the chart
    // outlive the panel.
    DerivedPanel(QWidget* page, QRect area, chart::ChartWidget& chart, readings::Lines& lines);

    const DerivedChoice& choice() const { return m_choice; }
    // New fields and lines, the lines computed for every reading `lines` holds.
    void setChoice(DerivedChoice choice);
    // The derived lines of `lines` from now on, computed at once; those of the lines
    // before are left as they are.
    void setLines(readings::Lines& lines);

    // The derived values a reading carries, in the fields (its session puts them on the lines).
    void showReading(const Reading& reading);
    // The lines computed again from the dew-point and ambient lines (after a log was loaded).
    void refill();
    // The fields greyed while their values are old (the instrument lost or silent), as
    // the readings' own fields are dimmed; normal again with the next reading.
    void setOld(bool old);

    // The field of a shown quantity, or nullptr.
    QLineEdit* field(humidity::Quantity quantity) const;
    // The chart line of a shown quantity, or nullptr.
    chart::LineSeries* line(humidity::Quantity quantity) const;

private:
    struct Shown {
        humidity::Quantity quantity;
        QLineEdit* field;
        chart::LineSeries* line;
    };

    chart::ChartWidget& m_chart;
    readings::Lines* m_lines;
    QFrame* m_frame;
    DerivedChoice m_choice;
    std::vector<Shown> m_shown;
    bool m_old = false;
};

// "Wilgotność bezwzględna [g/m³]": a quantity's name and unit in the interface language.
QString DerivedTitle(humidity::Quantity quantity);
// Its value as a field shows it, in the user's locale; "out of range" for none.
QString DerivedText(humidity::Quantity quantity, std::optional<double> value);

} // namespace hmx
