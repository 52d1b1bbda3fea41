#pragma once

// What the programs share on their command lines: the parse with the house
// exit codes, and the checks of values that more than one program takes.
// Each program keeps its options in one CLI11 table; the help text and the
// refusals come from the same rows.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sextara::tools {

// Bad arguments end every program with this code.
constexpr int kBadArguments = 2;

// Call before the first option is added: a repeated option takes its last
// value, as a script that appends an override expects.
void UseHouseRules(CLI::App& app);

// Parses argv; nullopt to go on, otherwise the code to exit with: 0 after
// --help (printed to stdout), kBadArguments after a refusal (printed to
// stderr with a pointer to --help; nothing goes to stdout).
std::optional<int> Parse(CLI::App& app, int argc, char** argv);

// "program: message" on stderr; returns kBadArguments.
int Fail(std::string_view program, std::string_view message);

// A check built from a test of the text: description is shown in the help
// beside the option's value name, refusal follows "--option: " when the
// test fails.
CLI::Validator Check(std::function<bool(std::string_view)> test, std::string description,
                     std::string refusal);

// Decimal digits only, no sign or spaces, so that a typo is refused instead
// of read as 0; min..max.
bool ReadWholeNumber(std::string_view text, std::uint64_t min, std::uint64_t max, std::uint64_t& out);
// The check for an integer option that CLI11 converts: as ReadWholeNumber,
// and no leading zero, which CLI11 would read as octal.
CLI::Validator WholeNumber(std::uint64_t min, std::uint64_t max);

// Refuses an empty value: an empty folder or file name would silently mean
// the program's own folder.
CLI::Validator NotEmpty(std::string refusal);

// --name N, a whole number min..max, into an integer or an
// std::optional of one.
template <typename Number>
CLI::Option* AddNumberOption(CLI::App& app, const std::string& name, Number& value, std::uint64_t min,
                             std::uint64_t max, const std::string& help) {
    return app.add_option(name, value, help)->type_name("N")->check(WholeNumber(min, max));
}

// The configuration names of the make catalogue, space-separated, in table
// order: "enNovtel enCompass ...".
std::string MakeNames();
// A make by its configuration name (case-sensitive, as in config.ini); the
// refusal of any other name lists the valid ones.
CLI::Validator MakeName();

// --make NAME with its check; the help gets the list of names.
template <typename Name>  // std::string or std::optional<std::string>
CLI::Option* AddMakeOption(CLI::App& app, Name& name, const std::string& help) {
    return app.add_option("--make", name, help + "; one of " + MakeNames())
        ->type_name("NAME")
        ->check(MakeName());
}

// An option whose text read() turns into its value: read returns
// std::optional of the value, nullopt for a text it refuses; out gets
// *read(text) once the whole command line is known.
template <typename Value, typename Read>
CLI::Option* AddReadOption(CLI::App& app, const std::string& name, Value& out, Read read, std::string refusal,
                           const std::string& help) {
    auto* option = app.add_option_function<std::string>(
        name, [&out, read](const std::string& text) { out = *read(text); }, help);
    return option->check(
        Check([read](std::string_view text) { return read(text).has_value(); }, "", refusal));
}

// A window or picture size "WxH", each side minSide..maxSide pixels.
struct Size {
    int width = 0;
    int height = 0;
};
std::optional<Size> ReadSize(std::string_view text, int minSide, int maxSide);
CLI::Option* AddSizeOption(CLI::App& app, const std::string& name, int& width, int& height, int minSide,
                           int maxSide, const std::string& help);

// --gpsd-port P and --gpsd-listen ADDR, the gpsd-protocol server of both
// programs; the port overrides config.ini's [GPSD] Port for the run.
struct GpsdFlags {
    std::optional<int> port;
    std::optional<std::string> listen;
};
void AddGpsdOptions(CLI::App& app, GpsdFlags& flags);

}  // namespace sextara::tools
