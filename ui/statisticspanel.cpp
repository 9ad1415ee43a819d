#include "ui/statisticspanel.h"

#include "chart/chartwidget.h"
#include "readings/lines.h"
#include "report/runreport.h"
#include "ui/language.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QScrollBar>
#include <QSettings>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace hmx {

namespace {

const QString ShownKey = QStringLiteral("chart/statisticsShown");
const QString CsvKey = QStringLiteral("chart/statisticsInCsv");
constexpr int RefreshMs = 250;
constexpr int ButtonHeight = 22;

bool operator==(const readings::StatisticsTable& a, const readings::StatisticsTable& b)
{
    return a.header == b.header && a.rows == b.rows;
}

} // namespace

StatisticsPanel::StatisticsPanel(chart::ChartWidget& chart, const readings::Lines& lines, Preferences preferences)
    : QWidget(chart.parentWidget()), m_chart(chart), m_lines(&lines), m_preferences(std::move(preferences)),
      m_chartPlace(chart.geometry()), m_view(new QTableWidget(this))
{
    setObjectName(QStringLiteral("StatisticsPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionMode(QAbstractItemView::NoSelection);
    m_view->setFocusPolicy(Qt::NoFocus);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    m_showAction = new QAction(ByLanguage(QStringLiteral("Statystyki"), QStringLiteral("Statistics")), this);
    m_showAction->setObjectName(QStringLiteral("ChartStatisticsAction"));
    m_showAction->setCheckable(true);
    m_csvAction = new QAction(ByLanguage(QStringLiteral("Statystyki na końcu eksportu CSV"),
                                         QStringLiteral("Statistics at the end of the CSV export")), this);
    m_csvAction->setObjectName(QStringLiteral("ChartStatisticsCsvAction"));
    m_csvAction->setCheckable(true);
    m_copyAction = new QAction(ByLanguage(QStringLiteral("Kopiuj statystyki do schowka"),
                                          QStringLiteral("Copy statistics to clipboard")), this);
    m_copyAction->setObjectName(QStringLiteral("ChartStatisticsCopyAction"));

    // Below the chart, where its page has a strip to spare.
    QWidget* page = chart.parentWidget();
    m_toggle = new QToolButton(page);
    m_toggle->setDefaultAction(m_showAction);
    m_copy = new QToolButton(page);
    m_copy->setDefaultAction(m_copyAction);
    m_copy->setText(ByLanguage(QStringLiteral("Kopiuj"), QStringLiteral("Copy")));
    m_toggle->setObjectName(QStringLiteral("StatisticsButton"));
    m_copy->setObjectName(QStringLiteral("StatisticsCopyButton"));
    for (QToolButton* b : {m_toggle, m_copy})
        b->setFocusPolicy(Qt::NoFocus);  // outside the page's tab order; the chart's menu has them too
    const int top = m_chartPlace.bottom() + 3;
    m_toggle->setGeometry(m_chartPlace.left() + 2, top, 110, ButtonHeight);
    m_copy->setGeometry(m_chartPlace.left() + 116, top, 80, ButtonHeight);

    chart.addMenuAction(m_showAction);
    chart.addMenuAction(m_copyAction);
    chart.addMenuAction(m_csvAction);

    m_throttle.setSingleShot(true);
    m_throttle.setInterval(RefreshMs);
    connect(&m_throttle, &QTimer::timeout, this, &StatisticsPanel::refresh);
    connect(&chart, &chart::ChartWidget::drawn, this, &StatisticsPanel::scheduleRefresh);
    const std::unique_ptr<QSettings> stored = ProgramSettings();
    m_showAction->setChecked(stored->value(ShownKey, false).toBool());
    m_csvAction->setChecked(stored->value(CsvKey, false).toBool());
    connect(m_showAction, &QAction::toggled, this, [this](bool on) {
        setShown(on);
        ProgramSettings()->setValue(ShownKey, on);
    });
    connect(m_csvAction, &QAction::toggled, this, [this](bool on) {
        setInCsv(on);
        ProgramSettings()->setValue(CsvKey, on);
    });
    connect(m_copyAction, &QAction::triggered, this, &StatisticsPanel::copy);
    setShown(m_showAction->isChecked());
    setInCsv(m_csvAction->isChecked());
}

void StatisticsPanel::setLines(const readings::Lines& lines)
{
    m_lines = &lines;
    scheduleRefresh();
}

void StatisticsPanel::setInstrument(const QString& name)
{
    m_instrument = name;
    scheduleRefresh();
}

void StatisticsPanel::setOthers(Others others)
{
    m_others = std::move(others);
    scheduleRefresh();
}

ReportReadings StatisticsPanel::shownReadings(std::vector<AlarmPreferences>* preferences) const
{
    std::vector<const readings::Lines*> sources{m_lines};
    std::vector<AlarmPreferences> limits{m_preferences ? m_preferences() : AlarmPreferences{}};
    if (m_others) {
        for (const Other& other : m_others()) {
            sources.push_back(other.lines);
            limits.push_back(other.preferences);
        }
    }
    if (preferences)
        *preferences = std::move(limits);
    return ShownReadings(m_chart, sources);
}

readings::StatisticsTable StatisticsPanel::table() const
{
    m_chart.updateRanges();
    const chart::ChartLayout layout = m_chart.chartLayout();
    std::vector<AlarmPreferences> preferences;
    const ReportReadings shown = shownReadings(&preferences);
    readings::StatisticsTable t = ReadingsStatistics(shown, layout.timeMin, layout.timeMax, preferences, WindowLanguage);
    // Named by the heading while one instrument's lines are drawn; by each line's own
    // title while several are.
    const bool several = std::any_of(shown.shown.begin(), shown.shown.end(), [](const ReportLine& l) { return l.source > 0; });
    if (!m_instrument.isEmpty() && !several && !t.header.isEmpty())
        t.header[0] = QStringLiteral("%1 – %2").arg(t.header[0], m_instrument);
    return t;
}

bool StatisticsPanel::shown() const { return m_showAction->isChecked(); }

void StatisticsPanel::setShown(bool on)
{
    m_showAction->setChecked(on);  // no signal when it already is
    m_copy->setVisible(on);
    setVisible(on);
    place();
    if (on)
        refresh();
}

void StatisticsPanel::setInCsv(bool on)
{
    m_csvAction->setChecked(on);
    if (on)
        m_chart.setCsvFooter([this](const QString& separator) { return StatisticsText(table(), separator, QStringLiteral("\r\n")); });
    else
        m_chart.setCsvFooter({});
}

void StatisticsPanel::copy() const
{
    QApplication::clipboard()->setText(StatisticsText(table(), QStringLiteral("\t")));
}

void StatisticsPanel::scheduleRefresh()
{
    if (shown() && !m_throttle.isActive())
        m_throttle.start();
}

void StatisticsPanel::refresh()
{
    readings::StatisticsTable t = table();
    if (t == m_shown)
        return;  // the chart was drawn again for the hover or a new size only
    m_shown = std::move(t);
    m_rowColors.clear();
    for (const ReportLine& line : shownReadings().shown)
        m_rowColors.push_back(line.color);
    m_view->setColumnCount(int(m_shown.header.size()));
    m_view->setHorizontalHeaderLabels(m_shown.header);
    m_view->setRowCount(int(m_shown.rows.size()));
    for (int r = 0; r < int(m_shown.rows.size()); ++r) {
        const QStringList& row = m_shown.rows[std::size_t(r)];
        for (int c = 0; c < int(row.size()); ++c) {
            auto* item = new QTableWidgetItem(row[c]);
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (c == 0 && r < int(m_rowColors.size()))
                item->setForeground(m_rowColors[std::size_t(r)]);
            m_view->setItem(r, c, item);
        }
    }
    place();
}

void StatisticsPanel::place()
{
    if (!shown()) {
        m_chart.setGeometry(m_chartPlace);
        return;
    }
    // Room for the header, one row per line and a scroll bar, at most half the chart.
    const int rows = std::max(1, m_view->rowCount());
    const int wanted = m_view->horizontalHeader()->sizeHint().height() + rows * m_view->verticalHeader()->defaultSectionSize()
        + m_view->horizontalScrollBar()->sizeHint().height() + 2 * m_view->frameWidth();
    const int height = std::min(wanted, m_chartPlace.height() / 2);
    m_chart.setGeometry(m_chartPlace.adjusted(0, 0, 0, -height));
    setGeometry(m_chartPlace.left(), m_chartPlace.bottom() + 1 - height, m_chartPlace.width(), height);
}

} // namespace hmx
