#pragma once
// Timers for extensions on the user-interface thread: each a QTimer whose timeout calls the sink.
#include <QObject>
#include <map>

#include "host/com/com_ptr.h"
#include "host/ui/itimer_sink.h"

class QTimer;

namespace kymora::ui {

class TimerService {
 public:
  TimerService();
  ~TimerService();
  // Returns the new timer's id (never 0), or 0 for a null sink.
  std::uint32_t Set(ITimerSink* sink, std::uint32_t milliseconds, bool repeat);
  // False when no such timer runs.
  bool Kill(std::uint32_t id);
  void KillAll();
  std::size_t Running() const { return mTimers.size(); }

 private:
  void Fire(std::uint32_t id);

  struct Entry {
    QTimer* timer;
    ComPtr<ITimerSink> sink;
    bool repeat;
  };
  QObject mOwner;  // parent of the timers
  std::map<std::uint32_t, Entry> mTimers;
  std::uint32_t mNextId = 1;
};

}  // namespace kymora::ui
