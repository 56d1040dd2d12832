#include "host/ui/timer_service.h"

#include <QTimer>
#include <algorithm>
#include <cstdint>

namespace kymora::ui {

TimerService::TimerService() = default;
TimerService::~TimerService() { KillAll(); }

std::uint32_t TimerService::Set(ITimerSink* sink, std::uint32_t milliseconds, bool repeat) {
  if (!sink) return 0;
  const std::uint32_t id = mNextId++;
  if (mNextId == 0) mNextId = 1;
  auto* timer = new QTimer(&mOwner);
  timer->setSingleShot(!repeat);
  timer->setInterval(static_cast<int>(std::min<std::uint32_t>(milliseconds, INT32_MAX)));
  QObject::connect(timer, &QTimer::timeout, &mOwner, [this, id] { Fire(id); });
  mTimers.emplace(id, Entry{timer, ComPtr<ITimerSink>(sink), repeat});
  timer->start();
  return id;
}

void TimerService::Fire(std::uint32_t id) {
  auto it = mTimers.find(id);
  if (it == mTimers.end()) return;
  auto sink = it->second.sink;  // the sink may kill this timer (or all) while it runs
  if (!it->second.repeat) {
    it->second.timer->deleteLater();
    mTimers.erase(it);
  }
  sink->OnTimer(id);
}

bool TimerService::Kill(std::uint32_t id) {
  auto it = mTimers.find(id);
  if (it == mTimers.end()) return false;
  it->second.timer->stop();
  it->second.timer->deleteLater();
  mTimers.erase(it);
  return true;
}

void TimerService::KillAll() {
  auto timers = std::move(mTimers);
  mTimers.clear();
  for (auto& [id, e] : timers) {
    e.timer->stop();
    e.timer->deleteLater();  // a sink may kill every timer from inside one's timeout
  }
}

}  // namespace kymora::ui
