#pragma once
// A source of event records within one block: each record begins with the event head below and has the
// element size the enumerator reports. Implemented by the extension's event enumerators; used by the host's
// expression engine and by the extension (sources of other detectors, the breath analysis).
#include <cstdint>

#include "host/com/iunknown.h"

// The common head of every event record.
struct QorEventPosition {
  std::int32_t mTickPosition;  // whole tick within the record
  float mFraction;             // sub-tick fraction
};
struct QorEventBase {
  QorEventPosition mPosition;
  double mValue;
};
static_assert(sizeof(QorEventBase) == 16);

// The enumerator position meaning that no further events will come in the record.
constexpr std::int32_t kRecordEndOffset = 2147483647;

struct IEnumEventEx : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E02}");
  // in: endTick (negative means 2147483647), buffer and its size in bytes; out: *count events written in
  // increasing position order, each strictly after the position at which the call began, and *nextTick, the
  // next unexamined tick (the new position). S_FALSE exactly when the position became kRecordEndOffset.
  virtual HRESULT Next(std::int32_t endTick, void* buffer, std::int32_t bufferBytes, std::int32_t* count,
                       std::int32_t* nextTick) = 0;  // slot 3
  // in: direction (0 forwards, otherwise backwards), fromTick, lower and upper bound. S_OK when an event was
  // found in the window; it becomes pending for the next Next and the position becomes its tick.
  virtual HRESULT Find(std::int32_t direction, std::int32_t fromTick, std::int32_t lower,
                       std::int32_t upper) = 0;  // slot 4
  // out: the current position.
  virtual HRESULT GetPosition(std::int32_t* tick) = 0;  // slot 5
  // out: size in bytes of one event record.
  virtual HRESULT GetElementSize(std::int32_t* bytes) = 0;  // slot 6
  // out: an independent enumerator in the same state, one reference for the caller.
  virtual HRESULT Clone(IEnumEventEx** out) = 0;  // slot 7
  virtual HRESULT Reserved1() = 0;                // slot 8: E_NOTIMPL
  virtual HRESULT Reserved2() = 0;                // slot 9: E_NOTIMPL
  virtual HRESULT Reserved3() = 0;                // slot 10: answers 0
};
