#include "cliargs.h"

#include <limits>

namespace kc::fileencoder {

namespace {

constexpr int64_t kMaxWhole = std::numeric_limits<int64_t>::max() / 1000000 / 3600 / 2;

// Digits only, at least one; returns false on anything else or on overflow.
bool ParseDigits(std::string_view text, int64_t &value)
{
    if (text.empty())
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > kMaxWhole)
            return false;
    }
    return true;
}

} // namespace

std::optional<int64_t> ParseTimeText(std::string_view text)
{
    std::vector<std::string_view> fields;
    size_t from = 0;
    for (;;) {
        const size_t colon = text.find(':', from);
        fields.push_back(text.substr(from, colon == std::string_view::npos ? std::string_view::npos : colon - from));
        if (colon == std::string_view::npos)
            break;
        from = colon + 1;
    }
    if (fields.size() > 3)
        return std::nullopt;

    // The last field may carry a fraction.
    std::string_view last = fields.back();
    std::string_view fraction;
    const size_t dot = last.find('.');
    if (dot != std::string_view::npos) {
        fraction = last.substr(dot + 1);
        last = last.substr(0, dot);
        if (fraction.empty() && last.empty())
            return std::nullopt;
    }

    int64_t micros = 0;
    int64_t scale = 100000;
    for (char c : fraction) {
        if (c < '0' || c > '9')
            return std::nullopt;
        micros += (c - '0') * scale;
        scale /= 10;
    }

    int64_t seconds = 0;
    if (last.empty()) {
        if (dot == std::string_view::npos || fields.size() > 1)
            return std::nullopt; // ".5" is fine alone, "1:.5" is not
    } else if (!ParseDigits(last, seconds)) {
        return std::nullopt;
    }
    if (fields.size() > 1 && seconds >= 60)
        return std::nullopt;

    int64_t minutes = 0;
    int64_t hours = 0;
    if (fields.size() >= 2) {
        if (!ParseDigits(fields[fields.size() - 2], minutes))
            return std::nullopt;
        if (fields.size() == 3 && minutes >= 60)
            return std::nullopt;
    }
    if (fields.size() == 3 && !ParseDigits(fields[0], hours))
        return std::nullopt;

    const int64_t total = (hours * 3600 + minutes * 60 + seconds);
    if (total > kMaxWhole)
        return std::nullopt;
    return total * 1000000 + micros;
}

const char *UsageText()
{
    return "usage: FileEncoder INPUT [-ss TIME] [-endpos LENGTH] [-exact] [-ovc copy] [-oac copy] -o OUTPUT";
}

ArgsResult ParseEncoderArgs(const std::vector<std::string> &args)
{
    ArgsResult r;
    if (args.empty()) {
        r.error = "no input file given";
        return r;
    }
    r.args.input = args[0];
    bool haveOutput = false;

    for (size_t i = 1; i < args.size(); ++i) {
        const std::string &opt = args[i];
        if (opt == "-exact") {
            r.args.exact = true;
            continue;
        }
        const bool known = opt == "-ss" || opt == "-endpos" || opt == "-ovc" || opt == "-oac" || opt == "-o";
        if (!known) {
            r.error = "unknown argument \"" + opt + "\"";
            return r;
        }
        if (i + 1 >= args.size()) {
            r.error = "option " + opt + " needs a value";
            return r;
        }
        const std::string &value = args[++i];
        if (opt == "-ss" || opt == "-endpos") {
            const std::optional<int64_t> t = ParseTimeText(value);
            if (!t) {
                r.error = "not a time for " + opt + ": \"" + value + "\"";
                return r;
            }
            if (opt == "-ss") {
                r.args.startUs = *t;
            } else {
                if (*t <= 0) {
                    r.error = "the length given with -endpos must be above 0";
                    return r;
                }
                r.args.lengthUs = *t;
            }
        } else if (opt == "-ovc" || opt == "-oac") {
            // Only stream copy exists here; anything else would silently do something
            // other than what was asked.
            if (value != "copy") {
                r.error = opt + " " + value + " is not supported, only copy";
                return r;
            }
        } else {
            r.args.output = value;
            haveOutput = true;
        }
    }

    if (r.args.input.empty()) {
        r.error = "no input file given";
        return r;
    }
    if (!haveOutput || r.args.output.empty()) {
        r.error = "no output file given (-o)";
        return r;
    }
    r.ok = true;
    return r;
}

} // namespace kc::fileencoder
