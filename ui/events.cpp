// The alarms of the measurement page, on the chart and in its statistics: they show the
// limit watches of the window's measuring session.
#include "ui/mainwindow.h"

#include "session/measuringsession.h"
#include "ui/alarmpanel.h"
#include "ui/chartlimits.h"
#include "ui/statisticspanel.h"

using namespace hmx;

void TForm1::setUpAlarms()
{
    // Status lines beside the fields, the buttons beside "Wczytaj wykres" and "Połącz":
    // places no control of the page takes.
    m_alarms = new AlarmPanel(this, TabSheet3,
                              {{limits::QuantityId::DewPoint, Edit20, QRect(276, 96, 236, 48)},
                               {limits::QuantityId::Ambient, Edit14, QRect(264, 220, 160, 52)},
                               {limits::QuantityId::Humidity, Edit6, QRect(256, 348, 176, 52)}},
                              QRect(560, 376, 97, 25), QRect(560, 200, 105, 81), *m_session);
    ShowAlarmsOnChart(*Chart1, *m_alarms);
    m_statistics = new StatisticsPanel(*Chart1, *m_lines, [this] { return m_alarms->preferences(); });
    connect(m_alarms, &AlarmPanel::limitsChanged, m_statistics, &StatisticsPanel::scheduleRefresh);
}
