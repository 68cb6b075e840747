// Logger: keeps the sinks' lines and echoes them to stderr.
#include "corvane/host/logger.h"

#include <cstdio>

namespace corvane::host {

void Logger::Write(int sink, const std::string& text) {
  // An uncaptured logger of a long run keeps only its most recent lines, so a channel that writes
  // a message every frame cannot grow memory without bound.
  if (!capture_ && lines_.size() >= kMaxUncapturedLines)
    lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(lines_.size() / 2));
  lines_.push_back(Line{sink, text});
  if (!capture_ && echo_) {
    if (sink < 0) std::fprintf(stderr, "corvane: %s\n", text.c_str());
    else if (sink == 0) std::fprintf(stderr, "[debug] %s\n", text.c_str());
    else std::fprintf(stderr, "[sink%d] %s\n", sink, text.c_str());
  }
}

bool Logger::Contains(const std::string& text) const {
  for (const Line& l : lines_)
    if (l.text.find(text) != std::string::npos) return true;
  return false;
}

}  // namespace corvane::host
