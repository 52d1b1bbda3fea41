#include "CommandLine.h"

#include <cstdio>
#include <utility>

#include "decode/ReceiverMakes.h"

namespace sextara::tools {

void UseHouseRules(CLI::App& app) {
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.get_formatter()->column_width(32);
}

namespace {

// CLI11 says "The following argument was not expected: X"; ours names it.
std::string Unexpected(const CLI::App& app, const CLI::ParseError& error) {
    const std::vector<std::string> rest = app.remaining();
    if (rest.empty()) return error.what();
    const std::string& first = rest.front();
    return (first.size() > 1 && first[0] == '-' ? "unknown option '" : "unexpected argument '") + first + "'";
}

}  // namespace

std::optional<int> Parse(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ExtrasError& error) {
        Fail(app.get_name(), Unexpected(app, error));
        std::fprintf(stderr, "Run %s --help for the options.\n", app.get_name().c_str());
        return kBadArguments;
    } catch (const CLI::ParseError& error) {
        Fail(app.get_name(), error.what());
        std::fprintf(stderr, "Run %s --help for the options.\n", app.get_name().c_str());
        return kBadArguments;
    }
    return std::nullopt;
}

int Fail(std::string_view program, std::string_view message) {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(program.size()), program.data(),
                 static_cast<int>(message.size()), message.data());
    return kBadArguments;
}

CLI::Validator Check(std::function<bool(std::string_view)> test, std::string description,
                     std::string refusal) {
    return CLI::Validator(
        [test = std::move(test), refusal = std::move(refusal)](std::string& text) {
            return test(text) ? std::string() : refusal + ", not '" + text + "'";
        },
        std::move(description));
}

bool ReadWholeNumber(std::string_view text, std::uint64_t min, std::uint64_t max, std::uint64_t& out) {
    if (text.empty()) return false;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    if (value < min || value > max) return false;
    out = value;
    return true;
}

CLI::Validator WholeNumber(std::uint64_t min, std::uint64_t max) {
    const std::string range = std::to_string(min) + ".." + std::to_string(max);
    // CLI11 reads "010" as octal: a leading zero is refused, not misread.
    return Check(
        [min, max](std::string_view text) {
            std::uint64_t value = 0;
            return (text.size() == 1 || text[0] != '0') && ReadWholeNumber(text, min, max, value);
        },
        range, "takes a whole number " + range);
}

CLI::Validator NotEmpty(std::string refusal) {
    return CLI::Validator(
        [refusal = std::move(refusal)](std::string& text) { return text.empty() ? refusal : ""; },
        std::string());
}

std::string MakeNames() {
    std::string names;
    for (const ReceiverMake& row : kReceiverMakes) {
        if (!names.empty()) names += ' ';
        names += row.configName;
    }
    return names;
}

CLI::Validator MakeName() {
    return CLI::Validator(
        [](std::string& name) {
            for (const ReceiverMake& row : kReceiverMakes) {
                if (row.configName == name) return std::string();
            }
            return "unknown make '" + name + "'; the makes are " + MakeNames();
        },
        std::string());
}

std::optional<Size> ReadSize(std::string_view text, int minSide, int maxSide) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) return std::nullopt;
    std::uint64_t width = 0, height = 0;
    const auto lo = static_cast<std::uint64_t>(minSide), hi = static_cast<std::uint64_t>(maxSide);
    if (!ReadWholeNumber(text.substr(0, x), lo, hi, width) ||
        !ReadWholeNumber(text.substr(x + 1), lo, hi, height)) {
        return std::nullopt;
    }
    return Size{static_cast<int>(width), static_cast<int>(height)};
}

CLI::Option* AddSizeOption(CLI::App& app, const std::string& name, int& width, int& height, int minSide,
                           int maxSide, const std::string& help) {
    const std::string refusal =
        "takes WxH, each side " + std::to_string(minSide) + ".." + std::to_string(maxSide) + " pixels";
    auto read = [minSide, maxSide](std::string_view text) { return ReadSize(text, minSide, maxSide); };
    auto* option = app.add_option_function<std::string>(
        name,
        [&width, &height, read](const std::string& text) {
            const Size size = *read(text);
            width = size.width;
            height = size.height;
        },
        help);
    return option->type_name("WxH")->check(
        Check([read](std::string_view text) { return read(text).has_value(); }, std::string(), refusal));
}

void AddGpsdOptions(CLI::App& app, GpsdFlags& flags) {
    auto* gpsd = app.add_option_group("gpsd", "the gpsd protocol for cgps, gpspipe, QGIS, OpenCPN, python3-gps");
    AddNumberOption(*gpsd, "--gpsd-port", flags.port, 0, 65535,
                    "serve it on TCP port P (0 off; default: config.ini [GPSD] Port)")
        ->type_name("P");
    gpsd->add_option("--gpsd-listen", flags.listen, "its address (default 127.0.0.1)")
        ->type_name("ADDR")
        ->check(NotEmpty("needs an address"));
}

}  // namespace sextara::tools
