#include "logger/singlerecorder.h"

#include "logger/recorder.h"
#include "session/measuringsession.h"

namespace hmx {

SingleRecorder::SingleRecorder(const LoggerOptions& options, QObject* parent)
    : QObject(parent)
    , m_session(std::make_unique<MeasuringSession>(RecorderSession(options, options.dir, options.publish)))
    , m_view(std::make_unique<Recorder>(*m_session))
{
    m_rescan.setSingleShot(true);
    m_rescan.setInterval(std::chrono::milliseconds(Poller::RescanInterval));
    connect(&m_rescan, &QTimer::timeout, this, &SingleRecorder::start);
    connect(m_view.get(), &Recorder::cannotRecord, this, &SingleRecorder::failed);
    connect(m_view.get(), &Recorder::notFound, this, &SingleRecorder::notFound);
}

SingleRecorder::~SingleRecorder()
{
    stop();
}

void SingleRecorder::start()
{
    m_view->start();
}

void SingleRecorder::notFound(const ScanResult& scan)
{
    if (!m_toldNotFound) {
        QString where;
        for (const std::string& d : scan.denied)
            where += QStringLiteral(" %1 (permission denied)").arg(QString::fromStdString(d));
        Say(QStringLiteral("no instrument answers;%1 looking again every %2 s")
                .arg(where.isEmpty() ? QString() : where + QLatin1Char(';'))
                .arg(Poller::RescanInterval.count()));
        m_toldNotFound = true;
    }
    m_rescan.start();
}

void SingleRecorder::stop()
{
    m_rescan.stop();
    m_view->stop();
}

} // namespace hmx
