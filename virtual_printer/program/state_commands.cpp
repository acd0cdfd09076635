#include "state_commands.h"

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

}  // namespace

std::string setStateFlags(std::string_view list, PrinterState& state) {
    PrinterState changed = state;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view name = trimmed(list.substr(0, comma));
        bool PrinterState::*member = flagNamed(name);
        if (member == nullptr)
            return std::string("no state named \"").append(name) + "\"; the names are " +
                   knownNames();
        changed.*member = true;
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
    state = changed;
    return {};
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
        return std::string(1, '"').append(line) + "\": a line is \"set NAME\" or \"clear NAME\"";
    bool PrinterState::*member = flagNamed(name);
    if (member == nullptr)
        return std::string("no state named \"").append(name) + "\"; the names are " + knownNames();
    state.*member = verb == "set";
    return {};
}

}  // namespace vp
