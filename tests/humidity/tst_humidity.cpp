// The humidity quantities against published tables, round trips through every input,
// the water/ice switch, pressure conversion against a hand-worked example, every
// out-of-range case, and hmx700-calc end to end.
#include "humidity/formulation.h"
#include "humidity/quantities.h"
#include "humidity/units.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace hmx::humidity;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(hmx::humidity::Phase)
Q_DECLARE_METATYPE(hmx::humidity::Input)

namespace {

QString Calculator()
{
    // Where the build puts every program in one folder (the Windows build), it is beside the test.
    const QDir here(QCoreApplication::applicationDirPath());
    const QString beside = here.filePath(QFileInfo(QStringLiteral(HMX700_CALC)).fileName());
    return QFileInfo::exists(beside) ? beside : here.filePath(QStringLiteral(HMX700_CALC));
}

Conditions At(double t, double p = 101325, double p2 = NAN)
{
    Conditions c;
    c.temperature = t;
    c.pressure = p;
    c.secondPressure = p2;
    return c;
}

} // namespace

class TestHumidity : public QObject {
    Q_OBJECT
private slots:
    void saturationPressure_data()
    {
        QTest::addColumn<Phase>("phase");
        QTest::addColumn<double>("t");
        QTest::addColumn<double>("published");  // Pa
        // The saturation table of the ASHRAE Handbook—Fundamentals (2017), ch. 1, which is
        // computed from IAPWS-95 (water) and IAPWS 2011 (ice); the rows beyond the four
        // quoted ones are those reference values, rounded to five digits.
        QTest::newRow("ice -20 C") << Phase::Ice << -20.0 << 103.24;
        QTest::newRow("water 5 C") << Phase::Water << 5.0 << 872.6;
        QTest::newRow("water 25 C") << Phase::Water << 25.0 << 3169.7;
        QTest::newRow("water 50 C") << Phase::Water << 50.0 << 12351.3;
        QTest::newRow("water 10 C") << Phase::Water << 10.0 << 1228.1;
        QTest::newRow("water 20 C") << Phase::Water << 20.0 << 2339.2;
        QTest::newRow("water 30 C") << Phase::Water << 30.0 << 4246.9;
        QTest::newRow("water 40 C") << Phase::Water << 40.0 << 7385.1;
        QTest::newRow("water 60 C") << Phase::Water << 60.0 << 19947.0;
        QTest::newRow("water 80 C") << Phase::Water << 80.0 << 47416.0;
        QTest::newRow("water 100 C") << Phase::Water << 100.0 << 101418.0;
        QTest::newRow("ice -5 C") << Phase::Ice << -5.0 << 401.74;
        QTest::newRow("ice -10 C") << Phase::Ice << -10.0 << 259.87;
        QTest::newRow("ice -30 C") << Phase::Ice << -30.0 << 38.005;
        QTest::newRow("triple point, water") << Phase::Water << 0.01 << 611.657;
        QTest::newRow("triple point, ice") << Phase::Ice << 0.01 << 611.657;
    }
    void saturationPressure()
    {
        QFETCH(Phase, phase);
        QFETCH(double, t);
        QFETCH(double, published);
        const std::optional<double> es = SaturationPressure(phase, t);
        QVERIFY(es);
        const double ppm = (*es / published - 1) * 1e6;
        QVERIFY2(std::abs(ppm) < 300, qPrintable(QStringLiteral("%1 Pa: %2 ppm").arg(*es, 0, 'f', 4).arg(ppm)));
        if (t == TriplePoint)
            QVERIFY2(std::abs(*es - published) < 0.0005, qPrintable(QString::number(*es, 'f', 5)));
    }

    // Below 0.01 °C the stable phase is ice, from 0.01 °C water; the two meet there.
    void waterIceSwitch()
    {
        for (double t : {-0.5, 0.0, 0.0099}) {
            QCOMPARE(SaturationPressure(t), SaturationPressure(Phase::Ice, t));
            QVERIFY(*SaturationPressure(Phase::Ice, t) < *SaturationPressure(Phase::Water, t));
        }
        for (double t : {0.01, 0.02, 1.0})
            QCOMPARE(SaturationPressure(t), SaturationPressure(Phase::Water, t));
        QVERIFY(std::abs(*SaturationPressure(0.0099999) - *SaturationPressure(0.01)) < 1e-3);
        // A frost point exists exactly while the dew point lies below 0.01 °C.
        for (double td : {-0.2, 0.0, 0.009, 0.011, 0.2}) {
            const State s = Compute(At(20), Input::DewPoint, td);
            QCOMPARE(bool(s[Quantity::FrostPoint]), td < TriplePoint);
            if (td < TriplePoint)
                QVERIFY(std::abs(*s[Quantity::FrostPoint] - td) < 0.03 && *s[Quantity::FrostPoint] < TriplePoint);
        }
        QVERIFY(*Compute(At(20), Input::DewPoint, -0.2)[Quantity::FrostPoint] > -0.2);
    }

    // Dew point -> vapour pressure -> dew point, over water and ice, at several pressures.
    void roundTrips()
    {
        for (double p : {101325.0, 801325.0, 2.0e6}) {
            for (double td = -50; td <= 100; td += 0.37) {
                const std::optional<double> e = VapourPressureAt(Phase::Water, td, p);
                if (!e)  // boiling at this pressure
                    continue;
                const std::optional<double> back = CondensationPoint(Phase::Water, *e, p);
                QVERIFY2(back && std::abs(*back - td) < 0.001, qPrintable(QString::number(td)));
            }
            for (double tf = -100; tf <= TriplePoint; tf += 0.29) {
                const std::optional<double> back = CondensationPoint(Phase::Ice, *VapourPressureAt(Phase::Ice, tf, p), p);
                QVERIFY2(back && std::abs(*back - tf) < 0.001, qPrintable(QString::number(tf)));
            }
        }
    }

    // Every input the calculator takes, computed from a dew point, gives that dew point back.
    void everyInputRoundTrips_data()
    {
        QTest::addColumn<double>("t");
        QTest::addColumn<double>("p");
        QTest::addColumn<double>("td");
        QTest::newRow("room") << 22.5 << 101325.0 << 9.0;
        QTest::newRow("dry compressed air") << 35.0 << 801325.0 << -40.0;
        QTest::newRow("freezer") << -20.0 << 101325.0 << -31.0;
        QTest::newRow("hot and humid") << 90.0 << 150000.0 << 85.0;
    }
    void everyInputRoundTrips()
    {
        QFETCH(double, t);
        QFETCH(double, p);
        QFETCH(double, td);
        const State from = Compute(At(t, p), Input::DewPoint, td);
        QVERIFY(from.valid());
        for (std::size_t k = 0; k < InputCount; ++k) {
            const Input input = Input(k);
            const std::optional<double> value = from[QuantityOf(input)];
            if (!value) {  // no frost point above 0.01 °C
                QVERIFY(input == Input::FrostPoint && td >= TriplePoint);
                continue;
            }
            const State back = Compute(At(t, p), input, *value);
            QVERIFY2(back[Quantity::DewPoint] && std::abs(*back[Quantity::DewPoint] - td) < 0.001,
                     Info(QuantityOf(input)).key.data());
        }
    }

    // Relations a simple model of ideal moist air gives, and published psychrometric values.
    void derivedQuantities()
    {
        const State s = Compute(At(20), Input::RelativeHumidity, 50);
        QVERIFY(s.valid());
        const double w = *s[Quantity::MixingRatio];
        QCOMPARE(*s[Quantity::SpecificHumidity], w / (1 + w / 1000));
        QVERIFY(std::abs(*s[Quantity::MassRatio] - 1000 * w) < 1e-6);  // air: ppmW is g/kg in millionths
        QCOMPARE(*s[Quantity::WaterActivity], 0.5);
        QCOMPARE(*s[Quantity::DepressionF], 1.8 * (20 - *s[Quantity::DewPoint]));
        QCOMPARE(*s[Quantity::DewPointF], *s[Quantity::DewPoint] * 9 / 5 + 32);
        // 20 °C, 50 %RH at sea level: dew point 9.3 °C, 7.3 g/kg, 8.6 g/m³, 38.6 kJ/kg,
        // wet bulb 13.8 °C (psychrometric chart of the same Handbook).
        QVERIFY(std::abs(*s[Quantity::DewPoint] - 9.3) < 0.05);
        QVERIFY(std::abs(w - 7.3) < 0.05);
        QVERIFY(std::abs(*s[Quantity::AbsoluteHumidity] - 8.65) < 0.05);
        QVERIFY(std::abs(*s[Quantity::Enthalpy] - 38.6) < 0.1);
        QVERIFY(std::abs(*s[Quantity::WetBulb] - 13.8) < 0.05);
        // Saturated air: the wet bulb is the air temperature; the ice bulb below 0.01 °C too,
        // also in air saturated over supercooled water.
        QVERIFY(std::abs(*Compute(At(25), Input::DewPoint, 25)[Quantity::WetBulb] - 25) < 0.001);
        QVERIFY(std::abs(*Compute(At(-10), Input::FrostPoint, -10)[Quantity::WetBulb] + 10) < 0.001);
        QCOMPARE(*Compute(At(-10), Input::DewPoint, -10)[Quantity::WetBulb], -10.0);
        QVERIFY(std::abs(*Compute(At(-10), Input::FrostPoint, -10.02)[Quantity::WetBulb] + 10) < 0.02);
        // Another dry gas changes the mass ratio only.
        Conditions nitrogen = At(20);
        nitrogen.gasMolarMass = 28.0134;
        const State n = Compute(nitrogen, Input::RelativeHumidity, 50);
        QCOMPARE(*n[Quantity::VolumeRatio], *s[Quantity::VolumeRatio]);
        QVERIFY(std::abs(*n[Quantity::MassRatio] / *s[Quantity::MassRatio] - AirMolarMass / 28.0134) < 1e-12);
    }

    // Hand-worked: +3 °C at 7 bar(g) (801325 Pa). es(3 °C) = 758.060 Pa, f = 1.027906,
    // e = 779.214 Pa; at 101325 Pa the vapour pressure is 779.214 · 101325 / 801325 =
    // 98.529 Pa, which with f = 1.004274 is saturation over water at -22.832 °C. And
    // -20 °C at 101325 Pa: es = 125.587 Pa, f = 1.004197, e = 126.114 Pa; at 801325 Pa
    // 997.365 Pa, f = 1.027144: +6.543 °C.
    void pressureConversion_data()
    {
        QTest::addColumn<double>("td");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<double>("expected");
        QTest::newRow("pressure dew point to atmospheric") << 3.0 << "7barg" << "1013.25hPa" << -22.8316;
        QTest::newRow("atmospheric to pressure dew point") << -20.0 << "101.325 kPa" << "7 barg" << 6.5425;
    }
    void pressureConversion()
    {
        QFETCH(double, td);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(double, expected);
        const std::optional<double> p1 = ParsePressure(from.toStdString());
        const std::optional<double> p2 = ParsePressure(to.toStdString());
        QVERIFY(p1 && p2);
        const std::optional<double> converted = DewPointAtPressure(td, *p1, *p2);
        QVERIFY(converted);
        QVERIFY2(std::abs(*converted - expected) < 0.001, qPrintable(QString::number(*converted, 'f', 4)));
        QVERIFY(std::abs(*DewPointAtPressure(*converted, *p2, *p1) - td) < 0.001);
        QCOMPARE(Compute(At(30, *p1, *p2), Input::DewPoint, td)[Quantity::DewPointAtSecondPressure], converted);
    }

    void pressureUnits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("pascals");  // NaN: refused
        QTest::newRow("hPa") << "1013.25hPa" << 101325.0;
        QTest::newRow("kPa with a space") << "250 kPa" << 250000.0;
        QTest::newRow("bar") << "8bar" << 8e5;
        QTest::newRow("psi") << "14.5psi" << 14.5 * 6894.757293168;
        QTest::newRow("barg") << "7barg" << 801325.0;
        QTest::newRow("psig") << "100psig" << 100 * 6894.757293168 + 101325;
        QTest::newRow("no unit") << "1013" << qQNaN();
        QTest::newRow("unknown unit") << "8atm" << qQNaN();
        QTest::newRow("decimal comma") << "1013,25hPa" << qQNaN();
        QTest::newRow("unit only") << "bar" << qQNaN();
    }
    void pressureUnits()
    {
        QFETCH(QString, text);
        QFETCH(double, pascals);
        const std::optional<double> p = ParsePressure(text.toStdString());
        QCOMPARE(bool(p), !std::isnan(pascals));
        if (p)
            QVERIFY(std::abs(*p - pascals) < 1e-6);
    }

    void outOfRange_data()
    {
        QTest::addColumn<double>("t");
        QTest::addColumn<double>("p");
        QTest::addColumn<double>("p2");
        QTest::addColumn<Input>("input");
        QTest::addColumn<double>("value");
        const double nan = qQNaN();
        QTest::newRow("temperature not a number") << nan << 101325.0 << nan << Input::DewPoint << 0.0;
        QTest::newRow("dew point infinite") << 20.0 << 101325.0 << nan << Input::DewPoint << qInf();
        QTest::newRow("pressure not a number") << 20.0 << nan << nan << Input::DewPoint << 0.0;
        QTest::newRow("temperature below -50 C") << -60.0 << 101325.0 << nan << Input::FrostPoint << -70.0;
        QTest::newRow("temperature above 100 C") << 120.0 << 101325.0 << nan << Input::DewPoint << 20.0;
        // Not the air's boiling (that is air): its vapour's own pressure at the total one.
        QTest::newRow("vapour at the total pressure") << 100.0 << 90000.0 << nan << Input::DewPoint << 99.0;
        QTest::newRow("pressure zero") << 20.0 << 0.0 << nan << Input::DewPoint << 0.0;
        QTest::newRow("pressure negative") << 20.0 << -1.0 << nan << Input::DewPoint << 0.0;
        QTest::newRow("pressure above 2 MPa") << 20.0 << 2.1e6 << nan << Input::DewPoint << 0.0;
        QTest::newRow("second pressure above 2 MPa") << 20.0 << 101325.0 << 3e6 << Input::DewPoint << 0.0;
        QTest::newRow("second pressure zero") << 20.0 << 101325.0 << 0.0 << Input::DewPoint << 0.0;
        QTest::newRow("dew point above the air") << 20.0 << 101325.0 << nan << Input::DewPoint << 20.5;
        // hmx700-calc prints four decimals: half of the last is still saturated air.
        QTest::newRow("dew point above the air by 1e-4 K") << 20.0 << 101325.0 << nan << Input::DewPoint << 20.0001;
        QTest::newRow("dew point below -50 C") << 20.0 << 101325.0 << nan << Input::DewPoint << -55.0;
        QTest::newRow("frost point above 0.01 C") << 20.0 << 101325.0 << nan << Input::FrostPoint << 5.0;
        QTest::newRow("frost point below -100 C") << 20.0 << 101325.0 << nan << Input::FrostPoint << -101.0;
        // Air at -10 °C saturated over supercooled water has its frost point near -8.9 °C.
        QTest::newRow("frost point above water saturation") << -10.0 << 101325.0 << nan << Input::FrostPoint << -8.5;
        QTest::newRow("relative humidity zero") << 20.0 << 101325.0 << nan << Input::RelativeHumidity << 0.0;
        QTest::newRow("relative humidity above 100") << 20.0 << 101325.0 << nan << Input::RelativeHumidity << 100.5;
        QTest::newRow("ppmV above saturation") << 20.0 << 101325.0 << nan << Input::VolumeRatio << 1e6;
        QTest::newRow("ppmV negative") << 20.0 << 101325.0 << nan << Input::VolumeRatio << -5.0;
        QTest::newRow("g/m3 above the total pressure") << 20.0 << 101325.0 << nan << Input::AbsoluteHumidity << 1e6;
        QTest::newRow("mixing ratio zero") << 20.0 << 101325.0 << nan << Input::MixingRatio << 0.0;
        QTest::newRow("mixing ratio above saturation") << 20.0 << 101325.0 << nan << Input::MixingRatio << 20.0;
    }
    void outOfRange()
    {
        QFETCH(double, t);
        QFETCH(double, p);
        QFETCH(double, p2);
        QFETCH(Input, input);
        QFETCH(double, value);
        const State s = Compute(At(t, p, p2), input, value);
        QVERIFY(!s.valid());
        for (const QuantityInfo& info : Quantities())
            QVERIFY2(!s[info.quantity], info.key.data());
    }

    // Saturated air's values, printed as hmx700-calc prints them and read back, are
    // saturated air again, at every temperature and pressure and through every input;
    // below 0.01 °C so is air saturated over ice (the frost point at the air temperature),
    // which the ice and water formulas put a little above water saturation near 0 °C.
    void printedSaturationReadsBack()
    {
        for (double p : {1000.0, 30000.0, 101325.0, 801325.0, 2e6}) {
            for (double t = -50; t <= 100; t += 0.73) {
                const State saturated = Compute(At(t, p), Input::DewPoint, t);
                if (!saturated.valid()) {  // above the boiling point: no saturation
                    QVERIFY(*SaturationPressure(Phase::Water, t) >= p);
                    continue;
                }
                const QString where = QStringLiteral("%1 C, %2 Pa").arg(t).arg(p);
                QCOMPARE(*saturated[Quantity::RelativeHumidity], 100.0);
                for (std::size_t k = 0; k < InputCount; ++k) {
                    const Input input = Input(k);
                    const Quantity q = QuantityOf(input);
                    if (!saturated[q])
                        continue;
                    const std::string printed = FormatNumber(*saturated[q], PrintedDecimals(q, *saturated[q]));
                    const State back = Compute(At(t, p), input, *ParseNumber(printed));
                    QVERIFY2(back.valid(), qPrintable(where + QStringLiteral(": ") + printed.c_str()));
                    // The same air: it prints its value as given, at most saturated.
                    QCOMPARE(FormatNumber(*back[q], PrintedDecimals(q, *back[q])), printed);
                    const double rh = *back[Quantity::RelativeHumidity];
                    QVERIFY2(rh <= 100 && rh > 99.9, qPrintable(where));
                    // Solved to 1e-6 K; at -50 °C, a value rounded down is a dew point below the range.
                    QVERIFY2(back[Quantity::DewPoint] ? *back[Quantity::DewPoint] <= t + 1e-6 : t < -49.99,
                             qPrintable(where));
                }
                if (t <= TriplePoint) {
                    const State ice = Compute(At(t, p), Input::FrostPoint, t);
                    QVERIFY2(ice.valid() && *ice[Quantity::RelativeHumidity] <= 100, qPrintable(where));
                }
            }
        }
    }

    // The thermodynamic wet bulb swept finely through the frost point or the air
    // temperature: each value solves ASHRAE's psychrometric equation (written out again
    // below) for a bulb of water from 0.01 °C up or of ice below it; the bulb is water
    // exactly where a water bulb would be at or above 0.01 °C; and the wet bulb moves
    // less than the swept temperature does, save for one step: where the water bulb
    // reaches 0.01 °C, up from the colder ice bulb.
    void wetBulbSweep_data()
    {
        QTest::addColumn<double>("p");
        QTest::addColumn<bool>("sweepAir");  // else the frost point
        QTest::addColumn<double>("fixed");   // the other one
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<bool>("jumps");     // whether the water bulb crosses 0.01 °C in the sweep
        QTest::newRow("frost point at 9 C") << 101325.0 << false << 9.0 << -90.0 << 0.0 << true;
        QTest::newRow("frost point at 20 C, 0.5 bar") << 50000.0 << false << 20.0 << -90.0 << 0.0 << false;
        QTest::newRow("air through 0 C, frost point -30 C") << 101325.0 << true << -30.0 << -5.0 << 15.0 << true;
        QTest::newRow("air at 20 bar") << 2e6 << true << -30.0 << -5.0 << 15.0 << true;
    }
    void wetBulbSweep()
    {
        QFETCH(double, p);
        QFETCH(bool, sweepAir);
        QFETCH(double, fixed);
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(bool, jumps);
        constexpr double Step = 0.005;
        const auto ashrae = [p](Phase phase, double t, double ts) {
            const double es = *VapourPressureAt(phase, ts, p);
            const double ws = WaterMolarMass / AirMolarMass * es / (p - es);
            return phase == Phase::Water
                       ? ((2501 - 2.326 * ts) * ws - 1.006 * (t - ts)) / (2501 + 1.86 * t - 4.186 * ts)
                       : ((2830 - 0.24 * ts) * ws - 1.006 * (t - ts)) / (2830 + 1.86 * t - 2.1 * ts);
        };
        double last = 0;
        int jumpsSeen = 0, flips = 0;
        bool wasWater = false;
        for (int i = 0; from + i * Step <= to + 1e-9; ++i) {
            const double x = from + i * Step;
            const double t = sweepAir ? x : fixed;
            const State s = Compute(At(t, p), Input::FrostPoint, sweepAir ? fixed : x);
            const QString where = QStringLiteral("at %1").arg(x);
            QVERIFY2(s.valid() && s[Quantity::WetBulb], qPrintable(where));
            const double ts = *s[Quantity::WetBulb];
            const double w = *s[Quantity::MixingRatio] / 1000;
            const bool water = t >= TriplePoint && ashrae(Phase::Water, t, TriplePoint) <= w;
            QVERIFY2(water == (ts >= TriplePoint), qPrintable(where + QStringLiteral(": %1").arg(ts)));
            // Solved to better than 1e-4 K.
            const Phase phase = water ? Phase::Water : Phase::Ice;
            QVERIFY2(std::abs(ashrae(phase, t, ts) - w) < ashrae(phase, t, ts + 1e-4) - ashrae(phase, t, ts),
                     qPrintable(where));
            if (i > 0) {
                flips += water != wasWater;
                QVERIFY2(ts >= last - 1e-5, qPrintable(where));
                if (ts - last > Step + 1e-4) {
                    ++jumpsSeen;
                    QVERIFY2(last < TriplePoint && water && ts - last < 1, qPrintable(where));
                }
            }
            last = ts;
            wasWater = water;
        }
        QCOMPARE(flips, jumps ? 1 : 0);
        QCOMPARE(jumpsSeen, flips);
    }

    // Quantities whose own range ends while the state itself is fine.
    void singleQuantityOutOfRange()
    {
        const State warm = Compute(At(20), Input::DewPoint, 10);
        QVERIFY(warm.valid() && !warm[Quantity::FrostPoint] && !warm[Quantity::RelativeHumidityIce]);
        QVERIFY(!warm[Quantity::DewPointAtSecondPressure] && !warm[Quantity::SecondPressure]);
        const State dry = Compute(At(20), Input::FrostPoint, -80);  // dew point about -84 °C
        QVERIFY(dry.valid() && !dry[Quantity::DewPoint] && !dry[Quantity::Depression] && !dry[Quantity::DewPointF]);
        QVERIFY(dry[Quantity::VolumeRatio] && dry[Quantity::WetBulb]);
        // At a tenth of the pressure the dew point falls below -50 °C.
        const State thin = Compute(At(20, 101325, 10132.5), Input::DewPoint, -45);
        QVERIFY(thin.valid() && !thin[Quantity::DewPointAtSecondPressure]);
        const State cold = Compute(At(-10), Input::FrostPoint, -15);
        QVERIFY(cold[Quantity::RelativeHumidityIce] && *cold[Quantity::RelativeHumidityIce] > *cold[Quantity::RelativeHumidity]);
    }

    void calculatorGoodRun()
    {
        QProcess calc;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("pl_PL.UTF-8"));  // a decimal comma locale
        calc.setProcessEnvironment(env);
        calc.start(Calculator(), {"--temperature", "20", "--dew-point", "-40", "--pressure",
                                                 "1013.25hPa", "--to-pressure", "8bar"});
        QVERIFY(calc.waitForFinished(30000));
        QCOMPARE(calc.exitCode(), 0);
        QHash<QString, QStringList> lines;
        // Lines end in CR LF on Windows, as text there does.
        for (const QByteArray& raw : calc.readAllStandardOutput().split('\n'))
            if (const QString line = QString::fromUtf8(raw).trimmed(); !line.isEmpty())
                lines.insert(line.section(QLatin1Char(' '), 0, 0), line.split(QLatin1Char(' ')));
        QCOMPARE(lines.size(), int(QuantityCount));
        const std::optional<double> expected = DewPointAtPressure(-40, 101325, 8e5);
        const QStringList converted = lines.value(QStringLiteral("to-pressure-dew-point"));
        QCOMPARE(converted.size(), 3);
        QVERIFY(std::abs(converted[1].toDouble() - *expected) < 1e-4);  // '.' whatever the locale
        QCOMPARE(converted[2], QStringLiteral("C"));
        QCOMPARE(lines.value(QStringLiteral("relative-humidity-ice")).value(1), QStringLiteral("out-of-range"));
        QCOMPARE(lines.value(QStringLiteral("dew-point-f")).value(1).toDouble(), -40.0);

        calc.start(Calculator(), {"--json", "--temperature=20", "--relative-humidity=50"});
        QVERIFY(calc.waitForFinished(30000));
        QCOMPARE(calc.exitCode(), 0);
        QJsonParseError error;
        const QJsonObject json = QJsonDocument::fromJson(calc.readAllStandardOutput(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QVERIFY(std::abs(json[QStringLiteral("dew-point")][QStringLiteral("value")].toDouble() -
                         *Compute(At(20), Input::RelativeHumidity, 50)[Quantity::DewPoint]) < 1e-4);
        QCOMPARE(json[QStringLiteral("ppmv")][QStringLiteral("unit")].toString(), QStringLiteral("ppmV"));
        QVERIFY(json[QStringLiteral("frost-point")][QStringLiteral("value")].isNull());
        QVERIFY(!json.contains(QStringLiteral("to-pressure")));
    }

    // What hmx700-calc takes and what it refuses, and why. Taken: every quantity is a number
    // (or null: the frost point's three where the dew point is above 0.01 °C), the
    // humidity given (third and fourth) reads back as given, the air at most saturated.
    void calculatorDomain_data()
    {
        QTest::addColumn<QString>("arguments");  // split at spaces
        QTest::addColumn<QString>("message");    // empty: taken
        QTest::addColumn<bool>("frostPoint");    // of one taken
        const auto row = [](const char* name, const char* arguments, const char* message, bool frost = true) {
            QTest::newRow(name) << QString::fromUtf8(arguments) << QString::fromUtf8(message) << frost;
        };
        row("unknown option", "--temperature 20 --dewpoint 5", "unknown option");
        row("not a number", "--temperature 20 --dew-point 5x", "not a number");
        row("decimal comma", "--temperature 20,5 --dew-point 5", "not a number");
        row("two signs", "--temperature 20 --dew-point +-5", "not a number for --dew-point: +-5");
        row("one plus sign", "--temperature +20 --dew-point +5", "", false);
        row("pressure without unit", "--temperature 20 --dew-point 5 --pressure 1013", "not a pressure");
        row("no temperature", "--dew-point 5", "--temperature is missing");
        row("two humidities", "--temperature 20 --dew-point 5 --ppmv 100", "only one");
        row("value missing", "--temperature 20 --dew-point", "needs a value");
        row("temperature twice", "--temperature 20 --dew-point 5 --temperature=30", "--temperature is given twice");
        row("dew point twice", "--temperature 20 --dew-point 5 --dew-point 6", "--dew-point is given twice");
        // Each refusal names what is out of range.
        row("dew point above the air", "--temperature 20 --dew-point 25",
            "--dew-point 25 is above saturation at the air temperature: at most 20.0000 C");
        row("air too hot", "--temperature 101 --dew-point 5", "--temperature must lie within -50..100 C");
        row("frost point above its range", "--temperature 20 --frost-point 0.02",
            "--frost-point must lie within -100..0.01 C");
        row("ppmV zero", "--temperature 20 --ppmv 0", "--ppmv must be above 0");
        row("pressure above 2 MPa", "--temperature 20 --dew-point 5 --pressure 21bar",
            "--pressure must lie above 0 and up to 2 MPa");
        row("second pressure above 2 MPa", "--temperature 20 --dew-point 5 --to-pressure 21bar",
            "--to-pressure must lie above 0 and up to 2 MPa");
        row("vapour at the total pressure", "--temperature 100 --dew-point 99 --pressure 900hPa",
            "--dew-point 99 puts the vapour pressure at or above the total pressure (900.00 hPa)");
        row("molar mass zero", "--temperature 20 --dew-point 5 --molar-mass 0",
            "--molar-mass must lie within 1..1000 g/mol");
        row("molar mass too small to print", "--json --temperature 20 --dew-point 5 --molar-mass 1e-300",
            "--molar-mass must lie within");
        // Air whose saturation pressure reaches the total pressure (above its boiling point)
        // is air while its vapour stays below that pressure.
        row("the documented end at 1 atm", "--temperature 100 --dew-point 20", "", false);
        row("95 C at 300 hPa", "--temperature 95 --dew-point 50 --pressure 300hPa", "", false);
        row("70 C at 200 hPa", "--temperature 70 --dew-point 20 --pressure 200hPa", "", false);
        row("two thirds vapour at 10 hPa", "--temperature 20 --ppmv 2000000 --pressure 10hPa", "", false);
        // The frost point's documented end, ice-saturated air at 0 °C, and what
        // --dew-point 0 at 0 °C prints, read back.
        row("frost point at the triple point", "--temperature 0.01 --frost-point 0.01", "");
        row("frost point at the triple point, 20 bar", "--temperature 0.01 --frost-point 0.01 --pressure 20bar", "");
        row("frost point at the air's 0 C", "--temperature 0 --frost-point 0", "");
        row("saturated ppmV read back", "--temperature 0 --ppmv 6092.389", "");
        row("saturated g/m3 read back", "--temperature 0 --absolute-humidity 4.86712", "");
        row("saturated g/kg read back", "--temperature 0 --mixing-ratio 3.78921", "");
    }
    void calculatorDomain()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, message);
        QFETCH(bool, frostPoint);
        const QStringList args = arguments.split(QLatin1Char(' '));
        QProcess calc;
        calc.start(Calculator(), message.isEmpty() ? args + QStringList{"--json"} : args);
        QVERIFY(calc.waitForFinished(30000));
        QCOMPARE(calc.exitStatus(), QProcess::NormalExit);
        if (!message.isEmpty()) {
            QCOMPARE(calc.exitCode(), 2);
            QVERIFY(calc.readAllStandardOutput().isEmpty());
            const QString err = QString::fromUtf8(calc.readAllStandardError());
            QVERIFY2(err.contains(message), qPrintable(err));
            return;
        }
        QCOMPARE(calc.exitCode(), 0);
        QJsonParseError error;
        const QJsonObject json = QJsonDocument::fromJson(calc.readAllStandardOutput(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        const auto value = [&json](const QString& key) { return json[key][QStringLiteral("value")]; };
        const QStringList frost{"frost-point", "frost-point-f", "relative-humidity-ice"};
        for (const QString& key : json.keys())
            QVERIFY2(frostPoint || !frost.contains(key) ? value(key).isDouble() : value(key).isNull(), qPrintable(key));
        QCOMPARE(value(args[2].mid(2)).toDouble(), args[3].toDouble());
        const double t = value(u"temperature"_s).toDouble();
        QVERIFY(value(u"relative-humidity"_s).toDouble() <= 100);
        QVERIFY(value(u"dew-point"_s).toDouble() <= t && value(u"wet-bulb"_s).toDouble() <= t);
        QVERIFY(value(u"vapour-pressure"_s).toDouble() < value(u"pressure"_s).toDouble());
    }
};

QTEST_GUILESS_MAIN(TestHumidity)
#include "tst_humidity.moc"
