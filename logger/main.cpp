// hmx700-logger: the recorder without a window, for a small box beside each instrument
// (or, with --all, beside several).
#include "instrument/stopsignals.h"
#include "logger/allrecorder.h"
#include "logger/loggeroptions.h"
#include "logger/singlerecorder.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// Until a stop signal, or until nothing can be recorded (exit status 1).
template <class Front>
int Record(QCoreApplication& app, Front& recorder)
{
    int status = 0;
    QObject::connect(&recorder, &Front::failed, &app, [&] {
        status = 1;
        app.quit();
    });
    hmx::RunOnStopSignals(&app, [&] { app.quit(); });
    recorder.start();
    app.exec();
    recorder.stop();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hmx700-logger"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HMX700_VERSION));

    hmx::LoggerOptions options;
    const QString problem = hmx::ReadLoggerOptions(app.arguments().mid(1), QProcessEnvironment::systemEnvironment(), options);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "hmx700-logger: %s\nTry 'hmx700-logger --help'.\n", qPrintable(problem));
        return 2;
    }
    if (options.help) {
        std::fputs(qPrintable(hmx::LoggerUsage()), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("hmx700-logger %s\n", HMX700_VERSION);
        return 0;
    }

    if (options.all) {
        hmx::AllRecorder recorder(options);
        return Record(app, recorder);
    }
    // The one device to measure on, also after an unplug: the process's own list of ports.
    if (!options.port.isEmpty())
        qputenv("HMX700_PORTS", options.port.toLocal8Bit());
    hmx::SingleRecorder recorder(options);
    return Record(app, recorder);
}
