#include "spirometry/document/forced_expiration.h"

#include <algorithm>
#include <cmath>

namespace Spirometry {

double TimeToReach(const VolumeTimeCurve& curve, double volume) {
  const auto& e = curve.expired;
  if (e.empty()) return 0.0;
  for (std::size_t i = 1; i < e.size(); ++i) {
    if (e[i] < volume) continue;
    const double rise = e[i] - e[i - 1];
    const double fraction = rise > 0.0 ? (volume - e[i - 1]) / rise : 0.0;
    return (static_cast<double>(i - 1) + std::clamp(fraction, 0.0, 1.0)) * curve.secsPerSample;
  }
  return static_cast<double>(e.size() - 1) * curve.secsPerSample;
}

double FlowAt(const VolumeTimeCurve& curve, double seconds) {
  const auto& e = curve.expired;
  const double dt = curve.secsPerSample;
  if (e.size() < 3 || !(dt > 0.0) || !std::isfinite(seconds)) return 0.0;
  const double nearest = std::clamp(std::round(seconds / dt), 1.0, static_cast<double>(e.size() - 2));
  const auto i = static_cast<std::size_t>(nearest);
  return (e[i + 1] - e[i - 1]) / (2.0 * dt);
}

double ExpiredAfterTimeZero(const VolumeTimeCurve& curve, const ForcedExpirationMeasures& m, double seconds) {
  return seconds <= m.fet ? ExpiredAt(curve, m.timeZero + seconds) : m.fvc;
}

double ExpiredAt(const VolumeTimeCurve& curve, double seconds) {
  const auto& e = curve.expired;
  if (e.empty() || !(curve.secsPerSample > 0.0) || !(seconds > 0.0)) return e.empty() ? 0.0 : e.front();
  const double position = seconds / curve.secsPerSample;
  if (position >= static_cast<double>(e.size() - 1)) return e.back();
  const auto i = static_cast<std::size_t>(position);
  const double fraction = position - static_cast<double>(i);
  return e[i] + (e[i + 1] - e[i]) * fraction;
}

ForcedExpirationMeasures MeasureForcedExpiration(const VolumeTimeCurve& curve, double fivc) {
  ForcedExpirationMeasures m;
  m.fivc = fivc;
  const auto& e = curve.expired;
  const double dt = curve.secsPerSample;
  if (e.size() < 3 || !(dt > 0.0) || !std::isfinite(dt)) return m;
  if (std::any_of(e.begin(), e.end(), [](double v) { return !std::isfinite(v); })) return m;

  // Peak flow: the steepest slope, by central differences so that it sits on a sample of the curve.
  std::size_t peakAt = 1;
  double peak = -1.0;
  for (std::size_t i = 1; i + 1 < e.size(); ++i) {
    const double slope = (e[i + 1] - e[i - 1]) / (2.0 * dt);
    if (slope > peak) {
      peak = slope;
      peakAt = i;
    }
  }
  if (!(peak > 0.0)) return m;
  const auto endAt = static_cast<std::size_t>(std::max_element(e.begin(), e.end()) - e.begin());
  const double tPeak = static_cast<double>(peakAt) * dt;
  const double tEnd = static_cast<double>(endAt) * dt;

  m.measured = true;
  m.pef = peak;
  m.fvc = e[endAt];
  // Back-extrapolation: the tangent through the peak-flow point meets zero expired volume at time zero. The
  // slope there is the largest, so the tangent can never meet zero before the start of the curve.
  m.timeZero = std::clamp(tPeak - e[peakAt] / peak, 0.0, tPeak);
  m.bev = ExpiredAt(curve, m.timeZero);
  m.bevLimit = std::max(kBevLimitFraction * m.fvc, kBevLimitLitres);
  m.bevWithinLimit = m.bev <= m.bevLimit + 1e-9;  // a tolerance far below any spirometer's resolution
  m.pefTime = tPeak - m.timeZero;
  m.fet = tEnd - m.timeZero;
  m.firstSecondComplete = m.fet >= 1.0;
  m.fev1 = m.timeZero + 1.0 <= tEnd ? ExpiredAt(curve, m.timeZero + 1.0) : m.fvc;
  m.fev6 = m.timeZero + 6.0 <= tEnd ? ExpiredAt(curve, m.timeZero + 6.0) : m.fvc;
  m.fev1OverFvc = m.fvc > 0.0 ? m.fev1 / m.fvc * 100.0 : 0.0;
  const double t25 = TimeToReach(curve, 0.25 * m.fvc), t75 = TimeToReach(curve, 0.75 * m.fvc);
  m.fef2575 = t75 > t25 ? 0.5 * m.fvc / (t75 - t25) : 0.0;
  m.lastSecondChange = m.fvc - ExpiredAt(curve, tEnd - kPlateauSeconds);
  m.plateau = tEnd >= kPlateauSeconds && m.lastSecondChange < kPlateauLitres;
  m.longExpiration = m.fet >= kLongExpirationSeconds;
  if (std::isfinite(fivc) && fivc > m.fvc)
    m.fivcWithinLimit = fivc - m.fvc <= std::max(kFivcExcessFraction * m.fvc, kFivcExcessLitres);
  return m;
}

}  // namespace Spirometry
