// The simulator's text commands, for scripts and programs that cannot link the library.
#include "tools/simulator.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace hmx::sim {

const char* Simulator::CommandHelp()
{
    return "  path                 the terminal device now in use\n"
           "  link                 the link that stays the same across replugs\n"
           "  unplug | replug      pull the adapter out / put it back\n"
           "  silent on|off        ignore every frame, or answer again\n"
           "  stall on|off         stop reading the line, so the client's writes pile up\n"
           "  delay MS             answer MS milliseconds late\n"
           "  split N MS           send N bytes of each reply, the rest MS milliseconds later (N 0: whole)\n"
           "  extra TEXT           append TEXT to every reply (no TEXT: nothing)\n"
           "  noise N              send N random bytes now\n"
           "  model NAME           answer NAME to the identify command\n"
           "  measure H D A        fixed readings in tenths; 'measure off': varying readings\n"
           "  drop-ok on|off       no OK after a settings write\n"
           "  frames               every frame received so far, in hex, separated by spaces\n"
           "  stray                the count of bytes that formed no frame\n"
           "  clear                forget the frames and bytes received and the journal\n"
           "  version V R SN       version, revision and serial number\n"
           "  send HEX             send these bytes now (hex digits)\n"
           "  record               the settings record as applied, in hex\n"
           "  bytes                every byte received so far, in hex\n"
           "  received             the count of bytes received so far\n"
           "  journal              what was sent, one entry per reply or unasked burst: the query\n"
           "                       letter ('-' unasked), the bytes in hex, 'whole' or 'split'\n"
           "  reset                back to how the instrument starts: plugged in on a new terminal,\n"
           "                       built-in defaults and record, nothing received\n";
}

namespace {

bool parseNumber(const std::string& text, long low, long high, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && errno == 0 && *end == '\0' && value >= low && value <= high;
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

} // namespace

std::string Simulator::Control(const std::string& command)
{
    std::istringstream in(command);
    std::string verb;
    in >> verb;
    std::vector<std::string> args;
    for (std::string word; in >> word;)
        args.push_back(word);
    auto onOff = [&](bool& value) {
        if (args.size() != 1 || (args[0] != "on" && args[0] != "off"))
            return false;
        value = args[0] == "on";
        return true;
    };
    long a = 0, b = 0, c = 0;
    bool flag = false;
    if (verb == "path")
        return devicePath();
    if (verb == "link")
        return linkPath();
    if (verb == "unplug" && args.empty()) {
        unplug();
        return "ok";
    }
    if (verb == "replug" && args.empty()) {
        replug();
        return "ok";
    }
    if (verb == "silent" && onOff(flag)) {
        setSilent(flag);
        return "ok";
    }
    if (verb == "stall" && onOff(flag)) {
        setStalled(flag);
        return "ok";
    }
    if (verb == "drop-ok" && onOff(flag)) {
        setDropAcknowledgement(flag);
        return "ok";
    }
    if (verb == "delay" && args.size() == 1 && parseNumber(args[0], 0, 600000, a)) {
        setReplyDelay(std::chrono::milliseconds(a));
        return "ok";
    }
    if (verb == "split" && args.size() == 2 && parseNumber(args[0], 0, 4096, a) && parseNumber(args[1], 0, 600000, b)) {
        setSplitReply(static_cast<std::size_t>(a), std::chrono::milliseconds(b));
        return "ok";
    }
    if (verb == "noise" && args.size() == 1 && parseNumber(args[0], 0, 1 << 20, a)) {
        injectNoise(static_cast<std::size_t>(a));
        return "ok";
    }
    if (verb == "extra") {
        const std::size_t at = command.find("extra") + 5;
        std::string text = at < command.size() ? command.substr(at + 1) : std::string();
        setExtraBytes(text);
        return "ok";
    }
    if (verb == "model" && args.size() == 1) {
        setModelName(args[0]);
        return "ok";
    }
    if (verb == "measure" && args.size() == 1 && args[0] == "off") {
        setMeasurement(std::nullopt);
        return "ok";
    }
    if (verb == "measure" && args.size() == 3 && parseNumber(args[0], -32768, 32767, a)
        && parseNumber(args[1], -32768, 32767, b) && parseNumber(args[2], -32768, 32767, c)) {
        setMeasurement(MeasurementTenths {static_cast<std::int16_t>(a), static_cast<std::int16_t>(b),
                                          static_cast<std::int16_t>(c)});
        return "ok";
    }
    if (verb == "frames" && args.empty()) {
        std::string text;
        for (const auto& frame : receivedFrames())
            text += (text.empty() ? "" : " ") + hexOf(frame);
        return text;
    }
    if (verb == "stray" && args.empty())
        return std::to_string(strayByteCount());
    if (verb == "clear" && args.empty()) {
        clearRecord();
        return "ok";
    }
    if (verb == "version" && args.size() == 3 && parseNumber(args[0], 0, 255, a) && parseNumber(args[1], 0, 255, b)
        && parseNumber(args[2], 0, 65535, c)) {
        setVersion(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), static_cast<std::uint16_t>(c));
        return "ok";
    }
    std::vector<std::uint8_t> bytes;
    if (verb == "send" && args.size() == 1 && parseHex(args[0], bytes)) {
        injectBytes(bytes);
        return "ok";
    }
    if (verb == "record" && args.empty()) {
        const SettingsRecord record = settingsRecord();
        return hexOf(std::vector<std::uint8_t>(record.begin(), record.end()));
    }
    if (verb == "bytes" && args.empty())
        return hexOf(receivedBytes());
    if (verb == "received" && args.empty())
        return std::to_string(receivedByteCount());
    if (verb == "journal" && args.empty()) {
        std::string text;
        for (const SentReply& reply : journal())
            text += std::string(text.empty() ? "" : "\n") + (reply.command ? reply.command : '-') + ' '
                + hexOf(reply.bytes) + (reply.whole ? " whole" : " split");
        return text;
    }
    if (verb == "reset" && args.empty()) {
        reset();
        return "ok";
    }
    return "error: unknown command or bad arguments: " + command;
}

} // namespace hmx::sim
