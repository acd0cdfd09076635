#include "printer_state.h"

namespace vp {

std::vector<std::string> describeChanges(const PrinterState& before, const PrinterState& after) {
    std::vector<std::string> changes;
    for (const StateFlag& flag : stateFlags)
        if (before.*flag.member != after.*flag.member)
            changes.push_back(std::string(flag.name) + (after.*flag.member ? " set" : " cleared"));
    if (before.model != after.model) changes.push_back("model " + after.model);
    if (before.rom != after.rom) changes.push_back(std::string("ROM ") + romName(after.rom));
    return changes;
}

}  // namespace vp
