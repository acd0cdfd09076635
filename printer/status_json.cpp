#include "status_json.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

std::string jsonString(std::string_view text, bool bytesAsCodes) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || (bytesAsCodes && byte > 0x7E)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + '"';
}

namespace {

bool bit(std::uint8_t byte, int n) {
    return (byte >> n) & 1;
}

// Printer names are bytes as the printer sent them: anything outside printable ASCII is written
// as its byte value, so that the output is always valid UTF-8 and valid JSON.
std::string asciiJson(std::string_view text) {
    return jsonString(text, true);
}

std::string orNull(const std::optional<std::string>& value) {
    return value ? asciiJson(*value) : "null";
}

std::string orNull(const std::optional<std::uint8_t>& value) {
    return value ? std::to_string(*value) : "null";
}

// A bit of an answer the printer may not have given: true, false or null.
std::string flag(const std::optional<std::uint8_t>& answer, int n, bool set = true) {
    if (!answer) return "null";
    return bit(*answer, n) == set ? "true" : "false";
}

std::string list(const std::vector<std::string>& items) {
    std::string out = "[";
    for (const std::string& item : items) {
        if (out.size() > 1) out += ',';
        out += asciiJson(item);
    }
    return out + ']';
}

std::optional<std::string> paperState(const PrinterAnswers& a) {
    // Read from the paper sensor only: an offline cause alone leaves it unknown here.
    if (!a.paperSensor) return std::nullopt;
    const PaperLeft paper = *paperLeft(a);
    return paper == PaperLeft::Out ? "out" : paper == PaperLeft::NearEnd ? "near-end" : "ok";
}

template <typename T>
std::string orNull(const std::optional<T>& value) {
    return value ? std::to_string(*value) : "null";
}

// Objects of a number and its value, in the order read.
template <typename Readings>
std::string numbered(const Readings& readings) {
    std::string out = "[";
    for (const auto& reading : readings) {
        if (out.size() > 1) out += ',';
        out += "{\"number\":";
        out += std::to_string(reading.number);
        out += ",\"value\":";
        out += orNull(reading.value);
        out += '}';
    }
    return out + ']';
}

std::vector<std::string> errorNames(const PrinterAnswers& a) {
    std::vector<std::string> errors;
    if (a.errorCause) {
        for (const auto& [n, name] :
             {std::pair{2, "recoverable"}, std::pair{3, "cutter"}, std::pair{5, "unrecoverable"},
              std::pair{6, "auto-recoverable"}})
            if (bit(*a.errorCause, n)) errors.emplace_back(name);
    } else if (a.offlineCause && bit(*a.offlineCause, 6)) {
        errors.emplace_back("error");
    }
    return errors;
}

}  // namespace

std::string statusJson(const std::string& port, const StatusFindings* findings) {
    const PrinterAnswers a = findings ? findings->answers : PrinterAnswers{};
    std::optional<std::string> drawer;
    if (a.printer) drawer = bit(*a.printer, 2) ? "high" : "low";
    return "{\"port\":" + asciiJson(port) + ",\"answered\":" + (a.printer ? "true" : "false") +
           ",\"can_answer\":" + (findings ? "true" : "false") +
           ",\"online\":" + flag(a.printer, 3, false) +
           ",\"cover_open\":" + flag(a.offlineCause, 2) + ",\"paper\":" + orNull(paperState(a)) +
           ",\"drawer_pin3\":" + orNull(drawer) + ",\"errors\":" + list(errorNames(a)) +
           ",\"model_id\":" + orNull(a.modelId) + ",\"type_id\":" + orNull(a.typeId) +
           ",\"rom_version\":" + orNull(a.romVersion) + ",\"maker\":" + orNull(a.maker) +
           ",\"model\":" + orNull(a.model) +
           ",\"unanswered\":" + list(findings ? findings->unanswered : std::vector<std::string>{}) +
           "}";
}

std::string infoJson(const std::string& port, const PrinterInfo* info) {
    const PrinterInfo i = info ? *info : PrinterInfo{};
    const PrinterIdentity& id = i.identity;
    std::string switches = "[";
    for (const auto& bits : i.settings.memorySwitches) {
        if (switches.size() > 1) switches += ',';
        switches += orNull(bits);
    }
    return std::string("{\"port\":") + asciiJson(port) +
           ",\"answered\":" + (i.answered ? "true" : "false") +
           ",\"can_answer\":" + (info ? "true" : "false") +
           ",\"online\":" + flag(i.printerStatus, 3, false) +
           ",\"model_id\":" + orNull(id.modelId) + ",\"type_id\":" + orNull(id.typeId) +
           ",\"rom_version\":" + orNull(id.romVersion) + ",\"firmware\":" + orNull(id.firmware) +
           ",\"maker\":" + orNull(id.maker) + ",\"model\":" + orNull(id.model) +
           ",\"serial\":" + orNull(id.serial) + ",\"character_rom\":" + orNull(id.characterRom) +
           ",\"memory_switches\":" + switches + "]" +
           ",\"customized\":" + numbered(i.settings.customized) +
           ",\"counters\":" + numbered(i.counters) + ",\"unanswered\":" + list(i.unanswered) +
           ",\"not_asked\":" + list(i.notAsked) + "}";
}
