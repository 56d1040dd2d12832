#pragma once
// The data window's cursor as the flow-volume plots of the same document see it: the data window says
// where its cursor is (in the channels' units), every plot open on that document marks the point.
// User-interface thread only.
namespace Spirometry {

class SpiroDocument;

struct ICursorPointSink {
  virtual void CursorPoint(bool show, double volume, double flow) = 0;

 protected:
  ~ICursorPointSink() = default;
};

void ListenToCursor(const SpiroDocument* document, ICursorPointSink* sink);
void StopListening(ICursorPointSink* sink);
void TellCursor(const SpiroDocument* document, bool show, double volume, double flow);

}  // namespace Spirometry
