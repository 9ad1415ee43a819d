// hmx700-calc: every humidity quantity of one state of moist air, for scripts. Numbers
// are read and written with '.' in every locale; bad input ends with status 2 and a
// message on standard error.
#include "humidity/formulation.h"
#include "humidity/quantities.h"
#include "humidity/units.h"

#include <cmath>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace hmx::humidity;

void Usage(std::ostream& out)
{
    out << "Usage: hmx700-calc --temperature T HUMIDITY [--pressure P] [--to-pressure P] [--molar-mass M] [--json]\n"
           "HUMIDITY is one of:\n"
           "  --dew-point T           dew point over water, C\n"
           "  --frost-point T         frost point over ice, C\n"
           "  --relative-humidity RH  relative humidity over water, %\n"
           "  --ppmv V                volume ratio to the dry gas, ppmV\n"
           "  --absolute-humidity A   g/m3\n"
           "  --mixing-ratio W        g/kg of dry air\n"
           "  --temperature T         air temperature, C\n"
           "  --pressure P            total pressure with its unit (default 1013.25hPa)\n"
           "  --to-pressure P         also give the dew point at this pressure\n"
           "  --molar-mass M          molar mass of the dry gas for ppmW, g/mol (default air)\n"
           "  --json                  one JSON object instead of one line per quantity\n"
           "Pressure units: hPa, kPa, bar, psi (absolute); barg, psig (gauge). Numbers use '.'.\n";
}

struct BadInput : std::runtime_error {
    using std::runtime_error::runtime_error;
};

double Number(std::string_view option, std::string_view text)
{
    if (const std::optional<double> value = ParseNumber(text))
        return *value;
    throw BadInput("not a number for --" + std::string(option) + ": " + std::string(text));
}

double Pressure(std::string_view option, std::string_view text)
{
    if (const std::optional<double> value = ParsePressure(text))
        return *value;
    throw BadInput("not a pressure with a unit (hPa, kPa, bar, psi, barg, psig) for --" + std::string(option) +
                   ": " + std::string(text));
}

struct Request {
    Conditions conditions;
    std::optional<Input> input;
    double value = NAN;
    bool json = false;
};

Request Parse(const std::vector<std::string_view>& args)
{
    Request r;
    r.conditions.pressure = Pressure("pressure", "1013.25hPa");
    bool haveTemperature = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (!arg.starts_with("--"))
            throw BadInput("unexpected argument: " + std::string(arg));
        arg.remove_prefix(2);
        if (arg == "json") {
            r.json = true;
            continue;
        }
        // --name VALUE or --name=VALUE
        std::string_view value;
        if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            throw BadInput("--" + std::string(arg) + " needs a value");
        }
        if (arg == "temperature") {
            r.conditions.temperature = Number(arg, value);
            haveTemperature = true;
        } else if (arg == "pressure") {
            r.conditions.pressure = Pressure(arg, value);
        } else if (arg == "to-pressure") {
            r.conditions.secondPressure = Pressure(arg, value);
        } else if (arg == "molar-mass") {
            r.conditions.gasMolarMass = Number(arg, value);
        } else {
            std::optional<Input> input;
            for (std::size_t k = 0; k < InputCount; ++k)
                if (Info(QuantityOf(Input(k))).key == arg)
                    input = Input(k);
            if (!input)
                throw BadInput("unknown option: --" + std::string(arg));
            if (r.input)
                throw BadInput("give only one humidity quantity");
            r.input = input;
            r.value = Number(arg, value);
        }
    }
    if (!haveTemperature)
        throw BadInput("--temperature is missing");
    if (!r.input)
        throw BadInput("a humidity quantity is missing (--dew-point, --frost-point, --relative-humidity, --ppmv, "
                       "--absolute-humidity or --mixing-ratio)");
    return r;
}

// At least six significant digits, and never fewer decimals than the window shows.
std::string Value(double value, int decimals)
{
    const double magnitude = std::abs(value);
    if (magnitude > 0 && magnitude < 1)
        decimals = std::max(decimals, 5 - int(std::floor(std::log10(magnitude))));
    return FormatNumber(value, std::min(decimals + 2, 15));
}

bool Shown(Quantity q, const Request& r)
{
    const bool second = q == Quantity::SecondPressure || q == Quantity::DewPointAtSecondPressure ||
                        q == Quantity::DewPointAtSecondPressureF;
    return !second || !std::isnan(r.conditions.secondPressure);
}

void Print(const Request& r, const State& state, std::ostream& out)
{
    if (r.json)
        out << "{";
    bool first = true;
    for (const QuantityInfo& info : Quantities()) {
        if (!Shown(info.quantity, r))
            continue;
        const std::optional<double> v = state[info.quantity];
        const std::string text = v ? Value(*v, info.decimals) : std::string();
        if (r.json) {
            out << (first ? "\n" : ",\n") << "  \"" << info.key << "\": {\"value\": " << (v ? text : "null")
                << ", \"unit\": \"" << info.asciiUnit << "\"}";
        } else {
            out << info.key << ' ' << (v ? text : "out-of-range") << ' ' << info.asciiUnit << '\n';
        }
        first = false;
    }
    if (r.json)
        out << "\n}\n";
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") {
            Usage(std::cout);
            return 0;
        }
    }
    try {
        const Request request = Parse(args);
        const State state = Compute(request.conditions, *request.input, request.value);
        if (!state.valid())
            throw BadInput("out of range: the air temperature must lie within -50..100 C, the pressures within "
                           "0..2 MPa absolute, and the humidity must be positive, not above saturation at the air "
                           "temperature (dew point -50..100 C, frost point -100..0.01 C)");
        Print(request, state, std::cout);
        return 0;
    } catch (const BadInput& error) {
        std::cerr << "hmx700-calc: " << error.what() << "\n";
        Usage(std::cerr);
        return 2;
    }
}
