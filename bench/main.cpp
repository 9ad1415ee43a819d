// hmx700-bench: Google Benchmark's runner inside a QApplication (the chart and the
// window need one). Without --benchmark_repetitions every benchmark runs 5 times and
// the console shows the mean, median, spread, min and max of the runs; the JSON
// output (--benchmark_format=json or --benchmark_out=FILE) keeps every run. The windows
// the benchmarks make measure in a folder of their own, with preferences of their own, so
// no journal or preference of theirs lands where the benchmark was started.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Defaults first, so the caller's own flags, parsed later, win.
    std::vector<char*> args{argv[0]};
    std::string repetitions = "--benchmark_repetitions=5";
    std::string aggregates = "--benchmark_display_aggregates_only=true";
    args.push_back(repetitions.data());
    args.push_back(aggregates.data());
    std::vector<std::string> own;
    own.reserve(std::size_t(argc));
    for (int i = 1; i < argc; ++i) {
        // Written where it was asked for, not in the benchmarks' folder.
        const std::string arg = argv[i];
        const std::string out = "--benchmark_out=";
        if (arg.starts_with(out) && !QDir::isAbsolutePath(QString::fromStdString(arg.substr(out.size())))) {
            own.push_back(out + QDir::current().absoluteFilePath(QString::fromStdString(arg.substr(out.size()))).toStdString());
            args.push_back(own.back().data());
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);

    benchmark::Initialize(&count, args.data());
    QApplication app(count, args.data());
    QTemporaryDir folder;
    if (!folder.isValid() || !QDir::setCurrent(folder.path()))
        return 1;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
