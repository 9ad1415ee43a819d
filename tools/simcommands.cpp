// The simulator's text commands: one table that both Control() and CommandHelp() read,
// so the help cannot miss a command or describe one that is not there.
#include "tools/simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string_view>
#include <type_traits>
#include <utility>

namespace hmx::sim {

namespace {

// A command line after its verb.
struct Arguments {
    std::vector<std::string> words;
    std::string rest;  // everything after the verb and one separator, spaces kept
};

using Answer = std::optional<std::string>;  // nothing: the arguments do not fit

struct Command {
    std::string_view verb;
    std::string_view arguments;  // as the help shows them
    std::string_view help;       // a '\n' continues it on the next line
    Answer (*run)(Simulator&, const Arguments&);
};

bool parseNumber(const std::string& text, long low, long high, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && errno == 0 && *end == '\0' && value >= low && value <= high;
}

// `count` whole numbers, each in its range.
template <std::size_t Count>
bool numbers(const Arguments& a, const std::pair<long, long> (&ranges)[Count], long (&values)[Count])
{
    if (a.words.size() != Count)
        return false;
    for (std::size_t i = 0; i < Count; ++i) {
        if (!parseNumber(a.words[i], ranges[i].first, ranges[i].second, values[i]))
            return false;
    }
    return true;
}

std::optional<bool> onOff(const Arguments& a)
{
    if (a.words.size() != 1 || (a.words[0] != "on" && a.words[0] != "off"))
        return std::nullopt;
    return a.words[0] == "on";
}

std::string hexOf(const std::vector<std::uint8_t>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

// Whole bytes only; an odd count or another character is an error.
bool parseHex(const std::string& text, std::vector<std::uint8_t>& bytes)
{
    auto digit = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    if (text.size() % 2 != 0)
        return false;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = digit(text[i]), low = digit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

// A command without arguments that only does something.
template <void (Simulator::*Action)()>
Answer act(Simulator& sim, const Arguments& a)
{
    if (!a.words.empty())
        return std::nullopt;
    (sim.*Action)();
    return "ok";
}

// A command that switches something on or off.
template <void (Simulator::*Set)(bool)>
Answer toggle(Simulator& sim, const Arguments& a)
{
    const std::optional<bool> on = onOff(a);
    if (!on)
        return std::nullopt;
    (sim.*Set)(*on);
    return "ok";
}

// A command without arguments that reports something.
template <typename Value, Value (Simulator::*Get)() const>
Answer report(Simulator& sim, const Arguments& a)
{
    if (!a.words.empty())
        return std::nullopt;
    const Value value = (sim.*Get)();
    if constexpr (std::is_same_v<Value, std::string>)
        return value;
    else if constexpr (std::is_same_v<Value, std::vector<std::uint8_t>>)
        return hexOf(value);
    else
        return std::to_string(value);
}

constexpr long MaxMs = 600000;
constexpr std::pair<long, long> Tenths {-32768, 32767};

const Command Commands[] = {
    {"path", "", "the terminal device now in use", report<std::string, &Simulator::devicePath>},
    {"link", "", "the link that stays the same across replugs", report<std::string, &Simulator::linkPath>},
    {"unplug", "", "pull the adapter out", act<&Simulator::unplug>},
    {"replug", "", "put it back", act<&Simulator::replug>},
    {"silent", "on|off", "ignore every frame, or answer again", toggle<&Simulator::setSilent>},
    {"stall", "on|off", "stop reading the line, so the client's writes pile up", toggle<&Simulator::setStalled>},
    {"delay", "MS", "answer MS milliseconds late",
     [](Simulator& sim, const Arguments& a) -> Answer {
         long ms[1];
         if (!numbers(a, {{0, MaxMs}}, ms))
             return std::nullopt;
         sim.setReplyDelay(std::chrono::milliseconds(ms[0]));
         return "ok";
     }},
    {"split", "N MS", "send N bytes of each reply, the rest MS milliseconds later (N 0: whole)",
     [](Simulator& sim, const Arguments& a) -> Answer {
         long v[2];
         if (!numbers(a, {{0, 4096}, {0, MaxMs}}, v))
             return std::nullopt;
         sim.setSplitReply(static_cast<std::size_t>(v[0]), std::chrono::milliseconds(v[1]));
         return "ok";
     }},
    {"extra", "TEXT", "append TEXT to every reply (no TEXT: nothing)",
     [](Simulator& sim, const Arguments& a) -> Answer {
         sim.setExtraBytes(a.rest);
         return "ok";
     }},
    {"noise", "N", "send N random bytes now",
     [](Simulator& sim, const Arguments& a) -> Answer {
         long count[1];
         if (!numbers(a, {{0, 1 << 20}}, count))
             return std::nullopt;
         sim.injectNoise(static_cast<std::size_t>(count[0]));
         return "ok";
     }},
    {"model", "NAME", "answer NAME to the identify command",
     [](Simulator& sim, const Arguments& a) -> Answer {
         if (a.words.size() != 1)
             return std::nullopt;
         sim.setModelName(a.words[0]);
         return "ok";
     }},
    {"measure", "H D A | off", "fixed readings in tenths, or varying readings again",
     [](Simulator& sim, const Arguments& a) -> Answer {
         if (a.words.size() == 1 && a.words[0] == "off") {
             sim.setMeasurement(std::nullopt);
             return "ok";
         }
         long v[3];
         if (!numbers(a, {Tenths, Tenths, Tenths}, v))
             return std::nullopt;
         sim.setMeasurement(MeasurementTenths {static_cast<std::int16_t>(v[0]), static_cast<std::int16_t>(v[1]),
                                               static_cast<std::int16_t>(v[2])});
         return "ok";
     }},
    {"drop-ok", "on|off", "no OK after a settings write", toggle<&Simulator::setDropAcknowledgement>},
    {"frames", "", "every frame received so far, in hex, separated by spaces",
     [](Simulator& sim, const Arguments& a) -> Answer {
         if (!a.words.empty())
             return std::nullopt;
         std::string text;
         for (const auto& frame : sim.receivedFrames())
             text += (text.empty() ? "" : " ") + hexOf(frame);
         return text;
     }},
    {"stray", "", "the count of bytes that formed no frame", report<std::size_t, &Simulator::strayByteCount>},
    {"clear", "", "forget the frames and bytes received and the journal", act<&Simulator::clearRecord>},
    {"version", "V R SN", "version, revision and serial number",
     [](Simulator& sim, const Arguments& a) -> Answer {
         long v[3];
         if (!numbers(a, {{0, 255}, {0, 255}, {0, 65535}}, v))
             return std::nullopt;
         sim.setVersion(static_cast<std::uint8_t>(v[0]), static_cast<std::uint8_t>(v[1]),
                        static_cast<std::uint16_t>(v[2]));
         return "ok";
     }},
    {"send", "HEX", "send these bytes now (hex digits)",
     [](Simulator& sim, const Arguments& a) -> Answer {
         std::vector<std::uint8_t> bytes;
         if (a.words.size() != 1 || !parseHex(a.words[0], bytes))
             return std::nullopt;
         sim.injectBytes(bytes);
         return "ok";
     }},
    {"record", "", "the settings record as applied, in hex",
     [](Simulator& sim, const Arguments& a) -> Answer {
         if (!a.words.empty())
             return std::nullopt;
         const SettingsRecord record = sim.settingsRecord();
         return hexOf(std::vector<std::uint8_t>(record.begin(), record.end()));
     }},
    {"bytes", "", "every byte received so far, in hex", report<std::vector<std::uint8_t>, &Simulator::receivedBytes>},
    {"received", "", "the count of bytes received so far", report<std::size_t, &Simulator::receivedByteCount>},
    {"journal", "",
     "what was sent, one entry per reply or unasked burst: the query\n"
     "letter ('-' unasked), the bytes in hex, 'whole' or 'split'",
     [](Simulator& sim, const Arguments& a) -> Answer {
         if (!a.words.empty())
             return std::nullopt;
         std::string text;
         for (const SentReply& reply : sim.journal())
             text += std::string(text.empty() ? "" : "\n") + (reply.command ? reply.command : '-') + ' '
                 + hexOf(reply.bytes) + (reply.whole ? " whole" : " split");
         return text;
     }},
    {"reset", "",
     "back to how the instrument starts: plugged in on a new terminal,\n"
     "built-in defaults and record, nothing received",
     act<&Simulator::reset>},
};

} // namespace

std::string Simulator::Control(const std::string& command)
{
    std::istringstream in(command);
    std::string verb;
    in >> verb;
    Arguments arguments;
    for (std::string word; in >> word;)
        arguments.words.push_back(word);
    const std::size_t after = command.find(verb) + verb.size();
    if (after < command.size())
        arguments.rest = command.substr(after + 1);
    for (const Command& c : Commands) {
        if (c.verb != verb)
            continue;
        if (Answer answer = c.run(*this, arguments))
            return *answer;
        break;
    }
    return "error: unknown command or bad arguments: " + command;
}

const std::string& Simulator::CommandHelp()
{
    static const std::string text = [] {
        constexpr std::size_t column = 21;  // where the help starts, after two spaces
        std::string help;
        for (const Command& c : Commands) {
            std::string usage(c.verb);
            if (!c.arguments.empty())
                usage.append(" ").append(c.arguments);
            usage.resize(std::max(column, usage.size() + 1), ' ');
            std::string_view rest = c.help;
            for (std::string indent = "  " + usage;; indent = std::string(2 + column, ' ')) {
                const std::size_t end = rest.find('\n');
                help.append(indent).append(rest.substr(0, end)).append("\n");
                if (end == std::string_view::npos)
                    break;
                rest.remove_prefix(end + 1);
            }
        }
        return help;
    }();
    return text;
}

} // namespace hmx::sim
