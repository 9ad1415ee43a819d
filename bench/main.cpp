// Runs every registered benchmark, or those whose name contains an argument.
#include "bench.h"

#include <QApplication>

#include <cstring>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (const bench::Case& c : bench::registry()) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || c.name.find(argv[i]) != std::string::npos;
        if (!wanted)
            continue;
        std::printf("== %s\n", c.name.c_str());
        c.run();
    }
    return 0;
}
