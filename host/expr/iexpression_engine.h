#pragma once
// The host's arithmetic-expression engine, reached by QueryInterface on a document's IChannelData.
//
// Texts use the classic locale: numbers, channel references ChN (one-based), + - * /, unary minus,
// parentheses, and calls of registered functions (names match regardless of case) whose arguments are
// channels or sample expressions, event expressions, or numbers.
#include <string>

#include "host/com/iunknown.h"

struct IEnumFloatEx;
struct IEnumEventEx;
struct IDetectorSettings;

// A channel read in requested units (for example channel 0 in L"L/s" though it records "mL/s").
struct ChannelBinding {
  std::int32_t channel;  // zero-based
  const wchar_t* units;  // units of the same kind as the channel's, or null for the channel's own
};

struct IExpression : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{5A7E3D10-2B6C-4C8F-A1E4-9D0F3B2C7A01}");
  // out: CalcKind::kSamples or CalcKind::kEvents.
  virtual HRESULT GetKind(std::uint32_t* kind) = 0;  // slot 3
  // in: block and start tick; out: the expression's samples from that tick (sample expressions).
  virtual HRESULT CreateSampleEnum(std::int32_t block, std::int64_t startTick, IEnumFloatEx** out) = 0;  // slot 4
  // in: block and start tick; out: the expression's events, positioned at that tick (event expressions).
  virtual HRESULT CreateEventEnum(std::int32_t block, std::int32_t startTick, IEnumEventEx** out) = 0;  // slot 5
  // out: the expression text as compiled.
  virtual HRESULT GetText(std::wstring* text) = 0;  // slot 6
};

struct IExpressionEngine : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{5A7E3D10-2B6C-4C8F-A1E4-9D0F3B2C7A02}");
  // in: text, channel bindings (channels not listed are read in their own units); out: the compiled
  // expression, or null with *error set to a message naming the position and the offending token.
  virtual HRESULT Compile(const wchar_t* text, std::int32_t bindingCount, const ChannelBinding* bindings,
                          IExpression** out, std::wstring* error) = 0;  // slot 3
};

// The engine's second face: settings of its own detectors for extensions to fill in.
struct IExpressionEngine2 : IExpressionEngine {
  using Base = IExpressionEngine;
  static constexpr Guid kIid = Guid::Parse("{5A7E3D10-2B6C-4C8F-A1E4-9D0F3B2C7A04}");
  // out: new settings of the cycle detector, at their defaults (one reference).
  virtual HRESULT CreateDetectorSettings(IDetectorSettings** settings) = 0;  // slot 4
};
