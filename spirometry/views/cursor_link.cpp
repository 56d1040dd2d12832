#include "spirometry/views/cursor_link.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace Spirometry {

namespace {
// Views of documents open on other threads (the command line analyses several files at once) come and go
// at the same time.
std::mutex gSinksLock;

std::vector<std::pair<const SpiroDocument*, ICursorPointSink*>>& Sinks() {
  static std::vector<std::pair<const SpiroDocument*, ICursorPointSink*>> sinks;
  return sinks;
}
}  // namespace

void ListenToCursor(const SpiroDocument* document, ICursorPointSink* sink) {
  StopListening(sink);
  std::lock_guard lock(gSinksLock);
  Sinks().emplace_back(document, sink);
}

void StopListening(ICursorPointSink* sink) {
  std::lock_guard lock(gSinksLock);
  auto& s = Sinks();
  s.erase(std::remove_if(s.begin(), s.end(), [sink](const auto& e) { return e.second == sink; }), s.end());
}

void TellCursor(const SpiroDocument* document, bool show, double volume, double flow) {
  std::unique_lock lock(gSinksLock);
  const auto sinks = Sinks();  // a sink may stop listening while it is told
  lock.unlock();
  for (const auto& [doc, sink] : sinks)
    if (doc == document) sink->CursorPoint(show, volume, flow);
}

}  // namespace Spirometry
