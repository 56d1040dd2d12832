#pragma once
// ISpiroResults with the automatic detection level and the clinical-standard measures of the forced
// expirations (time zero by back-extrapolation, BEV, FEV1 and FEV6 from time zero, FEF25-75, FET, the end of
// forced expiration, acceptability, repeatability and the grades of the test).
//
// Implemented by the extension's spirometry document next to ISpiroResults (a query for either finds the
// same object). Called on the host's user-interface thread. Volumes in litres, flows in litres per second,
// times in seconds. Every out-pointer must be non-null (E_POINTER otherwise).
#include <cstdint>
#include <vector>

#include "spirometry/document/ispiro_results.h"

namespace Spirometry {

// How the last analysis chose its detection height.
struct SpiroDetectionRecord {
  Bool16 Automatic;    // the detection level is "Auto": the height comes from the flow signal
  double Height;       // L/s, the height the detectors used (0 before the first analysis)
  double Level;        // the height as a percentage of the flow channel's full range (0 when unknown)
  double NoiseHeight;  // automatic only: the noise, chatter and breath-size figures the height came from
  double ChatterHeight;
  double BreathPeak;
};

// One forced expiration (a breath classified forced), measured on its volume-time curve from the largest
// volume of the breath to the smallest.
struct SpiroManoeuvreRecord {
  std::int32_t BreathIndex;  // 0-based, in the analysis's breath list
  Bool16 Measured;           // false when the curve could not be read or has no rise; the rest is then 0
  double TimeZero;           // s after the largest volume (the hesitation time)
  double Bev, BevLimit;      // L
  double Pef;                // L/s, the steepest slope of the volume curve
  double PefTime;            // s from time zero
  double Fvc, Fev1, Fev6;    // L; FEV1 and FEV6 from time zero
  double Fev1OverFvc;        // %
  double Fef2575;            // L/s
  double Fet;                // s from time zero to the end of expiration
  double LastSecondChange;   // L expired over the last second of the expiration
  double Fivc;               // L inspired after the expiration (NaN when no breath follows)
  Bool16 BevWithinLimit, Plateau, LongExpiration, EndOfExpiration, FirstSecondComplete, FivcWithinLimit;
  Bool16 Fev1Acceptable, FvcAcceptable, Fev1Usable, FvcUsable;
};

// The whole test: every forced expiration of the analysis.
struct SpiroForcedTestRecord {
  std::int32_t Manoeuvres;
  std::int32_t AcceptableFev1, AcceptableFvc, UsableFev1, UsableFvc;
  double Fev1Spread, FvcSpread;  // L between the two largest acceptable values; negative with fewer than two
  Bool16 Repeatable;
  std::int32_t Fev1Grade, FvcGrade;  // a letter: 'A' to 'E', 'U' or 'F'
  double BestFev1, BestFvc;          // L; 0 when nothing is usable
};

}  // namespace Spirometry

struct ISpiroResults2 : ISpiroResults {
  static constexpr Guid kIid = Guid::Parse("{6D0B3F27-91C4-4E8A-B5D2-0F7A4C19E836}");
  using Base = ISpiroResults;

  // out: how the detection height of the last analysis was chosen.
  virtual HRESULT GetDetection(Spirometry::SpiroDetectionRecord* detection) = 0;  // slot 11
  // Sets or clears the automatic detection level (kept with the settings); the analysis runs again.
  virtual HRESULT SetAutomaticDetectionLevel(Bool16 on) = 0;  // slot 12
  // Brings the analysis up to date and measures every forced expiration of it. out: one record per forced
  // breath in time order, and the test they make. S_FALSE (and no records) without a valid analysis.
  virtual HRESULT GetForcedManoeuvres(std::vector<Spirometry::SpiroManoeuvreRecord>* manoeuvres,
                                      Spirometry::SpiroForcedTestRecord* test) = 0;  // slot 13
  // Whether the report view adds the section of these measures after its own boxes (off by default; kept
  // with the settings, as the settings dialog's check box is).
  virtual HRESULT SetStandardReport(Bool16 on) = 0;  // slot 14
};
