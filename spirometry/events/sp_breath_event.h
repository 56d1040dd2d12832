#pragma once
// The breath record of SPEEVol and SpBreathEvent: the flow landmarks of SpFlowEvent plus the volume
// landmarks. Fixed to the byte (80 bytes).
#include "spirometry/events/sp_flow_event.h"

namespace Spirometry {

struct SpBreathEvent {
  QorEventPosition mPosition;  // breath start tick; fraction 0
  double mValue;               // SPEEVol: the flow event's value; SpBreathEvent: the flow at the start crossing
  SpFlowEvent mFlowEvent;      // SpBreathEvent leaves its head (first 16 bytes) zero
  std::int32_t mMaxVolTick;
  float mMaxVol;
  std::int32_t mMinVolTick;  // smallest volume at or after mMaxVolTick
  float mMinVol;
};

static_assert(sizeof(SpBreathEvent) == 80);
static_assert(offsetof(SpBreathEvent, mPosition) == 0);
static_assert(offsetof(SpBreathEvent, mValue) == 8);
static_assert(offsetof(SpBreathEvent, mFlowEvent) == 16);
static_assert(offsetof(SpBreathEvent, mMaxVolTick) == 64);
static_assert(offsetof(SpBreathEvent, mMaxVol) == 68);
static_assert(offsetof(SpBreathEvent, mMinVolTick) == 72);
static_assert(offsetof(SpBreathEvent, mMinVol) == 76);

inline constexpr EEH3::EventField kSpBreathEventFields[] = {
    kSpFlowEventFields<16>[0],
    kSpFlowEventFields<16>[1],
    kSpFlowEventFields<16>[2],
    kSpFlowEventFields<16>[3],
    kSpFlowEventFields<16>[4],
    kSpFlowEventFields<16>[5],
    kSpFlowEventFields<16>[6],
    kSpFlowEventFields<16>[7],
    { L"mMaxVolTick", 64, EventFieldType::kInt32 },
    { L"mMaxVol", 68, EventFieldType::kFloat32 },
    { L"mMinVolTick", 72, EventFieldType::kInt32 },
    { L"mMinVol", 76, EventFieldType::kFloat32 },
};

}  // namespace Spirometry
