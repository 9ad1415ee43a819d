// The chart widget: construction, the menu, accessors, and event handlers that hand
// over to the view, the layout, the painter and the export.
#include "chart/chartwidget.h"

#include "chart/export.h"
#include "chart/view.h"
#include "readings/clocktext.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>

#include <cmath>

namespace hmx::chart {

namespace {

std::size_t SeriesIndex(const ChartWidgetPrivate& d, int series)
{
    if (series < 0 || static_cast<std::size_t>(series) >= d.lineCount())
        throw std::out_of_range("ChartWidget: no such series");
    return static_cast<std::size_t>(series);
}

} // namespace

// ---------------------------------------------------------------- LineSeries

LineSeries::LineSeries(ChartWidget* chart, QString title, QColor color, int width)
    : d(std::make_shared<LineSeriesPrivate>()), m_chart(chart)
{
    d->title = std::move(title);
    d->color = color;
    d->width = width;
}

QString LineSeries::title() const { return d->title; }

void LineSeries::setTitle(const QString& title)
{
    d->title = title;
    m_chart->update();
}

QColor LineSeries::color() const { return d->color; }
int LineSeries::lineWidth() const { return d->width; }
std::size_t LineSeries::count() const { return d->data->count(); }

void LineSeries::setData(std::shared_ptr<readings::Line> line)
{
    d->data = line ? std::move(line) : std::make_shared<readings::Line>();
    m_chart->update();
}

const std::shared_ptr<readings::Line>& LineSeries::data() const { return d->data; }

double LineSeries::x(std::size_t index) const
{
    if (index >= d->points().size())
        throw std::out_of_range("LineSeries::x");
    return d->points().x(index);
}

double LineSeries::y(std::size_t index) const
{
    if (index >= d->points().size())
        throw std::out_of_range("LineSeries::y");
    return d->points().y(index);
}

void LineSeries::addXY(double x, double y)
{
    d->data->add(x, y);
    m_chart->update();  // Qt merges these into one paint
}

double LineSeries::joiningDistance() const { return d->data->joiningDistance(); }

void LineSeries::setJoiningDistance(double days)
{
    d->data->setJoiningDistance(days);
}

void LineSeries::clear()
{
    d->data->clear();
    m_chart->update();
}

bool LineSeries::visible() const { return d->visible; }

void LineSeries::setVisible(bool on)
{
    d->visible = on;
    m_chart->update();
}

bool LineSeries::onRightAxis() const { return d->right; }

void LineSeries::setRightAxis(bool on)
{
    d->right = on;
    m_chart->update();
}

bool LineSeries::plotted() const { return d->plotted; }

void LineSeries::setPlotted(bool on)
{
    d->plotted = on;
    m_chart->update();
}

void LineSeries::reserve(std::size_t) {}

std::size_t LineSeries::memoryBytes() const
{
    return sizeof(LineSeries) + sizeof(LineSeriesPrivate) + d->data->memoryBytes();
}

// ---------------------------------------------------------------- ChartAxis

double ChartAxis::minimum() const { return m_range->min; }
double ChartAxis::maximum() const { return m_range->max; }
bool ChartAxis::automatic() const { return m_range->automatic; }

void ChartAxis::setMinimum(double value)
{
    if (!(value <= m_range->max))
        throw AxisError("Axis Minimum Value must be <= Maximum");
    m_range->min = value;
    m_chart->d->axisSetByCaller(this == &m_chart->m_bottom);
}

void ChartAxis::setMaximum(double value)
{
    if (!(value >= m_range->min))
        throw AxisError("Axis Maximum Value must be >= Minimum");
    m_range->max = value;
    m_chart->d->axisSetByCaller(this == &m_chart->m_bottom);
}

void ChartAxis::setAutomatic(bool on)
{
    m_range->automatic = on;
    m_chart->d->axisSetByCaller(this == &m_chart->m_bottom);
}

// ---------------------------------------------------------------- ChartWidgetPrivate

QTime ChartWidgetPrivate::timeOfDayAt(double x) const
{
    if (timeOfDay) {
        const QTime t = timeOfDay(x);
        if (t.isValid())
            return t;
    }
    return FractionOfDay(x);
}

void ChartWidgetPrivate::axisSetByCaller(bool timeAxis)
{
    // A caller's own limits are kept as set, not moved along with new points.
    if (timeAxis)
        view.following = false;
    q->update();
}

void ChartWidgetPrivate::showMenu(const QPoint& globalPos)
{
    if (!menu) {
        menu = new QMenu(q);
        menu->addAction(resetView);
        menu->addSeparator();
        menu->addAction(saveImage);
        menu->addAction(copyImage);
        menu->addAction(print);
        menu->addSeparator();
        menu->addAction(exportCsv);
        if (!extraActions.isEmpty())
            menu->addSeparator();
        menu->addActions(extraActions);
    }
    menu->popup(globalPos);
}

void ChartWidgetPrivate::reportWriteError(const QString& message)
{
    QMessageBox::warning(q, texts.errorTitle, message);
}

// ---------------------------------------------------------------- ChartWidget

ChartWidget::ChartWidget(QWidget* parent)
    : QWidget(parent), d(std::make_unique<ChartWidgetPrivate>(this)), m_bottom(this, &d->view.time),
      m_left(this, &d->view.value), m_right(this, &d->view.right)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // the hover read-out
    setFocusPolicy(Qt::WheelFocus);
    d->resetView = new QAction(this);
    d->saveImage = new QAction(this);
    d->copyImage = new QAction(this);
    d->print = new QAction(this);
    d->exportCsv = new QAction(this);
    connect(d->resetView, &QAction::triggered, this, &ChartWidget::resetView);
    connect(d->saveImage, &QAction::triggered, this, [this] { SaveImageDialog(*d); });
    connect(d->copyImage, &QAction::triggered, this, &ChartWidget::copyImage);
    connect(d->print, &QAction::triggered, this, [this] { PrintDialog(*d); });
    connect(d->exportCsv, &QAction::triggered, this, [this] { ExportCsvDialog(*d); });
    setTexts(d->texts);
}

ChartWidget::~ChartWidget() = default;

QString ChartWidget::title() const { return d->title; }

void ChartWidget::setTitle(const QString& title)
{
    d->title = title;
    update();
}

LineSeries* ChartWidget::addSeries(const QString& title, const QColor& color, int lineWidth)
{
    m_series.push_back(std::unique_ptr<LineSeries>(new LineSeries(this, title, color, lineWidth)));
    d->lines.push_back(m_series.back()->d);
    update();
    return m_series.back().get();
}

void ChartWidget::removeSeries(LineSeries* series)
{
    std::erase_if(d->lines, [series](const std::shared_ptr<LineSeriesPrivate>& line) {
        return series && line == series->d;
    });
    std::erase_if(m_series, [series](const std::unique_ptr<LineSeries>& s) { return s.get() == series; });
    update();
}

void ChartWidget::setLines(const readings::Lines* lines)
{
    disconnect(d->linesChanged);
    if (lines)
        d->linesChanged = connect(lines, &readings::Lines::changed, this, qOverload<>(&QWidget::update));
    update();
}

int ChartWidget::seriesCount() const { return static_cast<int>(m_series.size()); }

LineSeries* ChartWidget::series(int index) const
{
    return index >= 0 && index < seriesCount() ? m_series[static_cast<std::size_t>(index)].get() : nullptr;
}

ChartAxis* ChartWidget::bottomAxis() { return &m_bottom; }
ChartAxis* ChartWidget::leftAxis() { return &m_left; }
ChartAxis* ChartWidget::rightAxis() { return &m_right; }

void ChartWidget::setDecimation(bool on)
{
    d->decimation = on;
    update();
}

bool ChartWidget::decimation() const { return d->decimation; }

void ChartWidget::setTimeOfDay(std::function<QTime(double)> mapping)
{
    d->timeOfDay = std::move(mapping);
    update();
}

QTime ChartWidget::timeOfDay(double x) const { return d->timeOfDayAt(x); }

void ChartWidget::setTexts(const ChartTexts& texts)
{
    d->texts = texts;
    d->resetView->setText(texts.resetView);
    d->saveImage->setText(texts.saveImage);
    d->copyImage->setText(texts.copyImage);
    d->print->setText(texts.print);
    d->exportCsv->setText(texts.exportCsv);
    update();
}

const ChartTexts& ChartWidget::texts() const { return d->texts; }

QList<QAction*> ChartWidget::menuActions() const
{
    return QList<QAction*>{d->resetView, d->saveImage, d->copyImage, d->print, d->exportCsv} + d->extraActions;
}

void ChartWidget::addMenuAction(QAction* action)
{
    if (d->menu) {
        if (d->extraActions.isEmpty())
            d->menu->addSeparator();
        d->menu->addAction(action);
    }
    d->extraActions.append(action);
}

void ChartWidget::setLimitLines(int series, std::vector<LimitLine> lines)
{
    d->line(SeriesIndex(*d, series)).limits = std::move(lines);
    update();
}

std::vector<LimitLine> ChartWidget::limitLines(int series) const
{
    return d->line(SeriesIndex(*d, series)).limits;
}

void ChartWidget::setShadedPeriods(int series, std::vector<ShadedPeriod> periods)
{
    d->line(SeriesIndex(*d, series)).shaded = std::move(periods);
    update();
}

std::vector<ShadedPeriod> ChartWidget::shadedPeriods(int series) const
{
    return d->line(SeriesIndex(*d, series)).shaded;
}

void ChartWidget::resetView() { ResetView(*d); }
bool ChartWidget::followsNewest() const { return d->view.following && !d->view.time.automatic; }
void ChartWidget::updateRanges() { UpdateRanges(*d); }
ChartLayout ChartWidget::chartLayout() const { return LayoutChart(*d, size(), true); }

QString ChartWidget::timeSeparator() { return TimeSeparator(); }
QString ChartWidget::timeLabel(double x) { return ClockText(FractionOfDay(x), false); }

QImage ChartWidget::toImage(double scale)
{
    updateRanges();
    return RenderImage(*d, scale);
}

bool ChartWidget::saveImage(const QString& fileName, double scale, QString* error)
{
    updateRanges();
    return SaveImage(*d, fileName, scale, error);
}

bool ChartWidget::exportCsv(const QString& fileName, QString* error)
{
    updateRanges();
    return ExportCsv(*d, fileName, error);
}

void ChartWidget::setCsvFooter(std::function<QString(const QString&)> footer) { d->csvFooter = std::move(footer); }

void ChartWidget::setKeptFiles(std::function<QStringList(const QString&)> files) { d->keptFiles = std::move(files); }

void ChartWidget::copyImage() { QApplication::clipboard()->setImage(toImage(1)); }

bool ChartWidget::print(QPrinter& printer)
{
    updateRanges();
    return PrintChart(*d, printer);
}

void ChartWidget::renderChart(QPainter& p, const QSize& size)
{
    updateRanges();
    p.save();
    // The drawing fills the widget's size: clipped to this one, and filled here past it.
    p.setClipRect(QRect(QPoint(0, 0), size));
    p.fillRect(QRect(QPoint(0, 0), size), palette().color(QPalette::Window));
    PaintChart(p, *d, LayoutChart(*d, size, false), false);
    p.restore();
}

// ---------------------------------------------------------------- events

void ChartWidget::paintEvent(QPaintEvent*)
{
    updateRanges();
    const ChartLayout layout = chartLayout();
    d->view.drawnPlot = layout.plot;
    QPainter p(this);
    PaintChart(p, *d, layout, true);
    emit drawn();
}

void ChartWidget::mousePressEvent(QMouseEvent* event) { MousePressed(*d, event); }
void ChartWidget::mouseMoveEvent(QMouseEvent* event) { MouseMoved(*d, event); }
void ChartWidget::mouseReleaseEvent(QMouseEvent* event) { MouseReleased(*d, event); }
void ChartWidget::mouseDoubleClickEvent(QMouseEvent* event) { MouseDoubleClicked(*d, event); }

void ChartWidget::wheelEvent(QWheelEvent* event)
{
    if (WheelTurned(*d, event))
        event->accept();
    else
        event->ignore();
}

void ChartWidget::keyPressEvent(QKeyEvent* event)
{
    if (KeyPressed(*d, event))
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

void ChartWidget::leaveEvent(QEvent* event)
{
    MouseLeft(*d);
    QWidget::leaveEvent(event);
}

void ChartWidget::contextMenuEvent(QContextMenuEvent* event)
{
    // The mouse's menu opens on the right button's release, after any rectangle drag.
    if (event->reason() != QContextMenuEvent::Mouse)
        d->showMenu(mapToGlobal(chartLayout().plot.center()));
    event->accept();
}

} // namespace hmx::chart
