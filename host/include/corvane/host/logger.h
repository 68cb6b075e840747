// Logger: where the engine's message sinks end up. Lines go to stderr by default; tests capture
// them instead and read them back.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace corvane::host {

class Logger {
 public:
  struct Line {
    int sink;          // 1..4 for messageSink1..4, 0 for debugSink, -1 for the host's own
    std::string text;
  };

  // Appends a line (and prints it to stderr unless captured). A logger that does not capture keeps
  // only about the last kMaxUncapturedLines lines.
  void Write(int sink, const std::string& text);
  static constexpr std::size_t kMaxUncapturedLines = 4096;
  // Captured lines are kept and not printed.
  void SetCapture(bool capture) { capture_ = capture; }
  // Lines are printed to stderr when not captured; false silences them (they are still kept).
  void SetEcho(bool echo) { echo_ = echo; }
  const std::vector<Line>& GetLines() const { return lines_; }
  // True when some kept line contains the text.
  bool Contains(const std::string& text) const;
  void Clear() { lines_.clear(); }

 private:
  std::vector<Line> lines_;
  bool capture_ = false;
  bool echo_ = true;
};

}  // namespace corvane::host
