#pragma once
// The breath record of SPEEFlow. Exchanged with the host through event buffers, so the layout is fixed
// to the byte (little-endian, natural alignment, 48 bytes).
#include <cstddef>
#include <cstdint>

#include "spirometry/events/event_field.h"

namespace Spirometry {

struct SpFlowEvent {
  QorEventPosition mPosition;      // the breath start tick; fraction 0
  double mValue;                   // peak inspiratory flow (mMaxFlow widened)
  float mMaxFlow;                  // largest positive flow of the breath
  float mMinFlow;                  // most negative flow (peak expiratory flow, negative)
  std::uint8_t mSingleExpiration;  // 1: an expiration without inspiration
  // Padding, always zero. Named so that member-wise copies carry it: the host receives every byte.
  std::uint8_t mReserved[3];
  std::int32_t mStartTick;  // sign change that starts the breath
  std::int32_t mEndTick;    // sign change that starts the next breath
  std::int32_t mMaxFlowTick;
  std::int32_t mMinFlowTick;
  std::int32_t mExpStartTick;  // inspiration-to-expiration zero crossing
};

static_assert(sizeof(SpFlowEvent) == 48);
static_assert(offsetof(SpFlowEvent, mPosition) == 0);
static_assert(offsetof(SpFlowEvent, mPosition) + offsetof(QorEventPosition, mFraction) == 4);
static_assert(offsetof(SpFlowEvent, mValue) == 8);
static_assert(offsetof(SpFlowEvent, mMaxFlow) == 16);
static_assert(offsetof(SpFlowEvent, mMinFlow) == 20);
static_assert(offsetof(SpFlowEvent, mSingleExpiration) == 24);
static_assert(offsetof(SpFlowEvent, mReserved) == 25);
static_assert(offsetof(SpFlowEvent, mStartTick) == 28);
static_assert(offsetof(SpFlowEvent, mEndTick) == 32);
static_assert(offsetof(SpFlowEvent, mMaxFlowTick) == 36);
static_assert(offsetof(SpFlowEvent, mMinFlowTick) == 40);
static_assert(offsetof(SpFlowEvent, mExpStartTick) == 44);

// The fewest samples of positive flow (its inspiration) and of negative flow (its expiration) a breath
// needs; a single expiration has no inspiration. Anything shorter is a glitch, not a breath.
inline constexpr std::int32_t kMinBreathPhaseSamples = 3;

// The fields after the head, for IEventLayout; `base` shifts the offsets when the record is nested.
template <std::int32_t base>
inline constexpr EEH3::EventField kSpFlowEventFields[] = {
    {L"mMaxFlow", base + 16, EventFieldType::kFloat32},        {L"mMinFlow", base + 20, EventFieldType::kFloat32},
    {L"mSingleExpiration", base + 24, EventFieldType::kUInt8}, {L"mStartTick", base + 28, EventFieldType::kInt32},
    {L"mEndTick", base + 32, EventFieldType::kInt32},          {L"mMaxFlowTick", base + 36, EventFieldType::kInt32},
    {L"mMinFlowTick", base + 40, EventFieldType::kInt32},      {L"mExpStartTick", base + 44, EventFieldType::kInt32},
};

}  // namespace Spirometry
