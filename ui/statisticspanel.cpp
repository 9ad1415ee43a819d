#include "ui/statisticspanel.h"

#include "limits/alarmpreferences.h"
#include "ui/language.h"
#include "ui/statisticstexts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QScrollBar>
#include <QSettings>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace hmx {

namespace {

const QString ShownKey = QStringLiteral("chart/statisticsShown");
const QString CsvKey = QStringLiteral("chart/statisticsInCsv");
constexpr int RefreshMs = 250;
constexpr int ButtonHeight = 22;

bool operator==(const chart::StatisticsTable& a, const chart::StatisticsTable& b)
{
    return a.header == b.header && a.rows == b.rows;
}

} // namespace

StatisticsPanel::StatisticsPanel(chart::ChartWidget& chart, LimitsOfLine limits)
    : QWidget(chart.parentWidget()), m_chart(chart), m_limits(std::move(limits)), m_chartPlace(chart.geometry()),
      m_view(new QTableWidget(this))
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

chart::StatisticsTable ShownStatistics(chart::ChartWidget& chart,
                                       const std::function<std::vector<chart::StatisticsLimit>(int line)>& limits)
{
    chart.updateRanges();
    const chart::ChartLayout layout = chart.chartLayout();
    std::vector<chart::LineStatistics> lines;
    for (int i = 0; i < chart.seriesCount(); ++i) {
        const chart::LineSeries& line = *chart.series(i);
        if (line.visible())
            lines.push_back(chart::StatisticsOf(line, layout.timeMin, layout.timeMax, limits ? limits(i) : std::vector<chart::StatisticsLimit>{}));
    }
    return chart::StatisticsTableOf(lines, StatisticsHeaders(), [&chart](double x) { return chart.timeOfDay(x); });
}

chart::StatisticsTable StatisticsPanel::table() const
{
    return ShownStatistics(m_chart, m_limits);
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
    chart::StatisticsTable t = table();
    if (t == m_shown)
        return;  // the chart was drawn again for the hover or a new size only
    m_shown = std::move(t);
    std::vector<int> visible;  // the line of each row
    for (int i = 0; i < m_chart.seriesCount(); ++i) {
        if (m_chart.series(i)->visible())
            visible.push_back(i);
    }
    m_view->setColumnCount(int(m_shown.header.size()));
    m_view->setHorizontalHeaderLabels(m_shown.header);
    m_view->setRowCount(int(m_shown.rows.size()));
    for (int r = 0; r < int(m_shown.rows.size()); ++r) {
        const QStringList& row = m_shown.rows[std::size_t(r)];
        for (int c = 0; c < int(row.size()); ++c) {
            auto* item = new QTableWidgetItem(row[c]);
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (c == 0 && r < int(visible.size()))
                item->setForeground(m_chart.series(visible[std::size_t(r)])->color());
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
