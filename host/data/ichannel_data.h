#pragma once
// Data access on a host document: channels of samples organised in blocks.
//
// Implemented by the host; used by the extension's calculations, enumerators, analysis and views, always
// on the thread that owns the document (readers it opens may be used on other threads, one at a time).
// Channels and blocks are zero-based here. Operations are addressed by (flags, block, channel, offset);
// flags are those of read_flags.h. An index out of range gives E_INVALIDARG and null/unchanged outputs.
#include <string>

#include "host/com/iunknown.h"
#include "host/data/data_position.h"

struct IUnits;
struct IUnitsConversion;
struct IEnumFloatEx;
struct IChannelCalc;

struct IChannelData : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{2E54A1C3-7D0B-4F8E-8B11-4A3C9D7E6F03}");

  // out: number of channels.
  virtual HRESULT GetChannelCount(std::int32_t* count) = 0;  // slot 3
  // out: number of blocks.
  virtual HRESULT GetBlockCount(std::int32_t* count) = 0;  // slot 4
  // out: length of the block in samples (all channels of a block have one length).
  virtual HRESULT GetBlockLength(std::uint32_t flags, std::int32_t block, std::int32_t channel,
                                 std::int64_t* length) = 0;  // slot 5
  // out: seconds per sample of the block.
  virtual HRESULT GetSecsPerTick(std::uint32_t flags, std::int32_t block, std::int32_t channel,
                                 double* secs) = 0;  // slot 6
  // S_OK when the channel has data in the block (recorded, or calculable through its calculation),
  // S_FALSE when it has none.
  virtual HRESULT HasData(std::uint32_t flags, std::int32_t block, std::int32_t channel) = 0;  // slot 7
  // out: the units object of the channel in the block (one reference for the caller).
  virtual HRESULT GetUnits(std::uint32_t flags, std::int32_t block, std::int32_t channel,
                           IUnits** units) = 0;  // slot 8
  // out: the units conversion of the channel in the block; S_FALSE and null when it has none.
  virtual HRESULT GetUnitsConversion(std::uint32_t flags, std::int32_t block, std::int32_t channel,
                                     IUnitsConversion** conversion) = 0;  // slot 9
  // out: one sample value in the channel's units. S_FALSE when the offset lies beyond the data.
  virtual HRESULT GetSample(std::uint32_t flags, std::int32_t block, std::int32_t channel, std::int64_t offset,
                            float* value) = 0;  // slot 10
  // out: the time of a position in seconds: from the start of its block with ReadFlags::kFromBlockStart,
  // otherwise from the start of the recording (blocks laid end to end).
  virtual HRESULT GetTimeOfPosition(std::uint32_t flags, DataPosition position, double* seconds) = 0;  // slot 11
  // out: the absolute sample index of a position (block lengths laid end to end). An offset of
  // DataPosition::kNotSet stands for the end of its block.
  virtual HRESULT GetAbsoluteSampleIndex(std::uint32_t flags, DataPosition position,
                                         std::int64_t* index) = 0;  // slot 12
  // out: the current selection. *valid is kTrue16 when there is one; start and end are then set.
  virtual HRESULT GetSelection(Bool16* valid, DataPosition* start, DataPosition* end) = 0;  // slot 13
  // out: a reader of the channel's samples from start up to (excluding) end, positioned at start; an end
  // offset of kNotSet reads to the end of the block. Start and end must lie in one block.
  virtual HRESULT OpenReader(std::uint32_t flags, std::int32_t channel, DataPosition start, DataPosition end,
                             IEnumFloatEx** reader) = 0;  // slot 14
  // out: the calculation on the channel, one reference; S_FALSE and null when the channel has none.
  virtual HRESULT GetChannelCalc(std::int32_t channel, IChannelCalc** calc) = 0;  // slot 15
  // out: the channel's title.
  virtual HRESULT GetChannelTitle(std::int32_t channel, std::wstring* title) = 0;  // slot 16
};
