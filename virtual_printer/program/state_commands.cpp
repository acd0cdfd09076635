#include "state_commands.h"

#include <charconv>
#include <optional>

namespace vp {
namespace {

bool PrinterState::*flagNamed(std::string_view name) {
    for (const StateFlag& flag : stateFlags)
        if (name == flag.name) return flag.member;
    return nullptr;
}

std::string knownNames() {
    std::string names;
    for (const StateFlag& flag : stateFlags)
        names += std::string(names.empty() ? "" : ", ") + flag.name;
    return names;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Calls `take` with each item of a comma-separated list, trimmed, until one returns a problem,
// which is returned.
template <class Take>
std::string eachListed(std::string_view list, Take take) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (std::string problem = take(trimmed(list.substr(0, comma))); !problem.empty())
            return problem;
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
    return {};
}

}  // namespace

std::string setStateFlags(std::string_view list, PrinterState& state) {
    PrinterState changed = state;
    std::string problem = eachListed(list, [&changed](std::string_view name) -> std::string {
        bool PrinterState::*member = flagNamed(name);
        if (member == nullptr)
            return std::string("no state named \"").append(name) + "\"; the names are " +
                   knownNames();
        changed.*member = true;
        return {};
    });
    if (problem.empty()) state = changed;
    return problem;
}

std::string applyStateCommand(std::string_view line, PrinterState& state) {
    line = trimmed(line);
    const std::size_t space = line.find_first_of(" \t");
    const std::string_view verb = line.substr(0, space);
    const std::string_view name =
        space == std::string_view::npos ? std::string_view{} : trimmed(line.substr(space));
    if (verb != "set" && verb != "clear")
        // Appended to, not prefixed: GCC 12 at -O3 takes a literal + std::string for an
        // overlapping copy (-Wrestrict) where there is none.
        return std::string(1, '"').append(line) +
               "\": a line is \"set NAME\" or \"clear NAME\", or \"reset\"";
    bool PrinterState::*member = flagNamed(name);
    if (member == nullptr)
        return std::string("no state named \"").append(name) + "\"; the names are " + knownNames();
    state.*member = verb == "set";
    return {};
}

bool isResetCommand(std::string_view line) {
    return trimmed(line) == "reset";
}

namespace {

std::optional<int> integer(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// One NAME=VALUE of the list; returns what is wrong with it, or nothing.
std::string setSetting(std::string_view name, std::string_view value, PrinterSettings& settings) {
    const std::optional<int> number = integer(value);
    if (name.size() == 4 && name.starts_with("msw") && name[3] >= '1' && name[3] <= '8') {
        if (value.size() != 8 || value.find_first_not_of("01") != std::string_view::npos)
            return std::string(name) + " is eight bits, 0 or 1, bit 8 first";
        settings.memorySwitches[static_cast<std::size_t>(name[3] - '1')] = value;
    } else if (name == "width") {
        if (number != 58 && number != 80) return "width is 58 or 80";
        settings.customized[PrinterSettings::paperWidth] =
            number == 58 ? PrinterSettings::width58 : PrinterSettings::width80;
    } else if (name == "density") {
        if (!number || *number < -6 || *number > 8) return "density is -6 to 8";
        settings.customized[PrinterSettings::printDensity] = *number;
    } else if (name == "speed") {
        if (!number || *number < 1 || *number > 9) return "speed is 1 to 9";
        settings.customized[PrinterSettings::printSpeed] = *number;
    } else if (name == "codetable") {
        if (!number || *number < 0 || *number > 255 || *codeTableName(*number) == '\0')
            return "codetable is a code table of ESC t";
        settings.customized[PrinterSettings::codeTable] = *number;
    } else {
        return std::string("no setting named \"").append(name) +
               "\"; the names are msw1 to msw8, width, density, speed, codetable";
    }
    return {};
}

}  // namespace

std::string setSettings(std::string_view list, PrinterSettings& settings) {
    PrinterSettings changed = settings;
    std::string problem = eachListed(list, [&changed](std::string_view item) -> std::string {
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos)
            return std::string("\"").append(item) + "\" is no NAME=VALUE";
        return setSetting(trimmed(item.substr(0, equals)), trimmed(item.substr(equals + 1)),
                          changed);
    });
    if (problem.empty()) settings = changed;
    return problem;
}

}  // namespace vp
