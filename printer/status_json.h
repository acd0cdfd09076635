#pragma once

#include <string>

#include "status_answers.h"

// One status query as one JSON object, for scripts: `port`, `answered`, what the printer said
// of itself (null where it did not say), `errors`, its IDs and names and the requests it left
// unanswered. `findings` is none for a port that cannot answer (a plain file, a pipe).
std::string statusJson(const std::string& port, const StatusFindings* findings);
