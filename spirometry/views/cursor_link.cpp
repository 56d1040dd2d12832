#include "spirometry/views/cursor_link.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace Spirometry {

namespace {
std::vector<std::pair<const SpiroDocument*, ICursorPointSink*>>& Sinks() {
  static std::vector<std::pair<const SpiroDocument*, ICursorPointSink*>> sinks;
  return sinks;
}
}  // namespace

void ListenToCursor(const SpiroDocument* document, ICursorPointSink* sink) {
  StopListening(sink);
  Sinks().emplace_back(document, sink);
}

void StopListening(ICursorPointSink* sink) {
  auto& s = Sinks();
  s.erase(std::remove_if(s.begin(), s.end(), [sink](const auto& e) { return e.second == sink; }), s.end());
}

void TellCursor(const SpiroDocument* document, bool show, double volume, double flow) {
  const auto sinks = Sinks();  // a sink may stop listening while it is told
  for (const auto& [doc, sink] : sinks)
    if (doc == document) sink->CursorPoint(show, volume, flow);
}

}  // namespace Spirometry
