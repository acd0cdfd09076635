#include "transcript.h"

namespace vp {

// Placeholder until the transcript is written.
std::string transcriptJson(const Receipt&) { return "{\"format\": 1}\n"; }
std::string transcriptText(const Receipt&) { return {}; }

}  // namespace vp
