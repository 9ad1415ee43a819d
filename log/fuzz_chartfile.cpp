// libFuzzer target: the chart-file reader on arbitrary bytes. Feeds the value and
// time conversions, the loader-layout split, the Log line recognition, the escaping of
// a file's text for messages and a whole load through a small read buffer, checking
// what their callers rely on.
#include "log/chartfile.h"

#include <QBuffer>
#include <QByteArray>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

class CheckingSink : public hmx::ChartSink {
public:
    void clearSeries(hmx::ChartLine) override {}
    void setTimeAxisAutomatic() override {}
    void addPoint(hmx::ChartLine, double x, double y) override
    {
        check(std::isfinite(x) && std::isfinite(y));
    }
};

const std::vector<QLocale>& locales()
{
    static const std::vector<QLocale> all{QLocale(QLocale::C), QLocale(QStringLiteral("pl_PL")),
                                          QLocale(QStringLiteral("en_US")), QLocale(QStringLiteral("fi_FI")),
                                          QLocale(QStringLiteral("ko_KR"))};
    return all;
}

const std::vector<hmx::TimeTextRules>& rules()
{
    static const std::vector<hmx::TimeTextRules> all = [] {
        std::vector<hmx::TimeTextRules> r;
        for (const QLocale& l : locales())
            r.push_back(hmx::TimeTextRules::fromLocale(l));
        return r;
    }();
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t which = data[0] % locales().size();
    const std::size_t bufferSize = 16 + data[0] / 8;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const hmx::TimeTextRules& r = rules()[which];

    const hmx::ValueText value = hmx::ConvertValueText(text);
    check(std::isfinite(value.value));
    check(value.complete || value.value >= 0);

    double t = -1;
    if (hmx::ParseTimeOfDay(text, r, t))
        check(t >= 0 && t < 1);

    const hmx::LoaderFields fields = hmx::SplitLoaderLine(text);
    check(fields.timeText.size() <= 8 && fields.valueText.size() <= 5);
    check(fields.timeText.empty() || (fields.timeText.data() >= text.data()
                                      && fields.timeText.data() + fields.timeText.size() <= text.data() + text.size()));
    check(fields.valueText.empty() || (fields.valueText.data() >= text.data()
                                       && fields.valueText.data() + fields.valueText.size() <= text.data() + text.size()));
    (void)hmx::IsCleanLoaderLine(text, r);

    hmx::LogRecord record;
    if (hmx::ParseLogLine(text, r, record))
        check(record.time >= 0 && record.time < 1);

    // Shown on a terminal or in a box: nothing in it may act instead of being read.
    for (const QChar c : hmx::EscapedText(text, 4096))
        check(c.category() != QChar::Other_Control && c.category() != QChar::Other_Format);

    QByteArray bytes(text.data(), qsizetype(text.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    hmx::ChartLoadOptions options;
    options.locale = locales()[which];
    options.lastModified = QDateTime(QDate(2024, 1, 1), QTime(12, 0));
    options.bufferSize = bufferSize;
    CheckingSink sink;
    try {
        hmx::LoadChart(buffer, QStringLiteral("fuzz"), sink, options);
    } catch (const hmx::ChartFileError&) {
    }
    return 0;
}
