// Button1Click: loads a chosen chart file into Chart1's lines.
#include "log/chartfile.h"
#include "ui/mainwindow.h"

namespace {

// Forwards the reader's points to Series1, Series6 and Series7 of the window.
class ChartLinesSink : public hmx::ChartSink {
public:
    explicit ChartLinesSink(TForm1& form) : m_form(form) {}

    void clearSeries(hmx::ChartLine line) override { series(line)->clear(); }
    void setTimeAxisAutomatic() override { m_form.Chart1->resetView(); }
    void addPoint(hmx::ChartLine line, double x, double y) override { series(line)->addXY(x, y); }

private:
    hmx::chart::LineSeries* series(hmx::ChartLine line) const
    {
        switch (line) {
        case hmx::ChartLine::Humidity:
            return m_form.Series6;
        case hmx::ChartLine::Ambient:
            return m_form.Series7;
        case hmx::ChartLine::DewPoint:
            break;
        }
        return m_form.Series1;
    }

    TForm1& m_form;
};

} // namespace

void TForm1::Button1Click()
{
    if (!OpenDialog1.Execute(this))
        return;
    // The reader has its own handle on the file, so the measurement log (and a Poller
    // writing to it) is not disturbed. Errors go to the default error report.
    ChartLinesSink sink(*this);
    hmx::LoadChartFile(OpenDialog1.FileName, sink);
}
