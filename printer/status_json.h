#pragma once

#include <string>
#include <string_view>

#include "printer_info.h"
#include "status_answers.h"

// Text as a JSON string. UTF-8 goes as it is; with `bytesAsCodes`, every byte outside printable
// ASCII is written as its value instead, for bytes that are no text of a known encoding.
std::string jsonString(std::string_view text, bool bytesAsCodes = false);

// One status query as one JSON object, for scripts: `port`, `answered`, what the printer said
// of itself (null where it did not say), `errors`, its IDs and names and the requests it left
// unanswered. `findings` is none for a port that cannot answer (a plain file, a pipe).
std::string statusJson(const std::string& port, const StatusFindings* findings);

// One readout as one JSON object: `port`, `answered`, `can_answer`, `online`, the identity
// (`model_id`, `type_id`, `rom_version`, `firmware`, `maker`, `model`, `serial`,
// `character_rom`), `memory_switches` (eight strings, bit 8 first, or null), `customized` and
// `counters` (objects with `number` and `value`, null where unanswered), `unanswered` and
// `not_asked`. `info` is none for a port that cannot answer.
std::string infoJson(const std::string& port, const PrinterInfo* info);
