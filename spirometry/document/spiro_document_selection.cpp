// The document's view of the data: the copied selection, the channels that can serve as flow and volume,
// and the test that decides whether the views can show anything.
#include <algorithm>

#include "host/calc/icalc_site.h"
#include "host/calc/ichannel_calc.h"
#include "host/com/text.h"
#include "host/data/iunits.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/resources/string_table.h"

namespace Spirometry {

namespace {
constexpr std::uint32_t kUnitsFlags = 0x40001000;
constexpr std::uint32_t kBlockInfoFlags = 0xC0000000;
constexpr std::uint32_t kDataFlags = 0x40000000;
constexpr std::int32_t kAssumedChannelCount = 16;
constexpr int kStringNoFlow = 36, kStringNoVolume = 37, kStringInvalidSelection = 38, kStringMultipleBlocks = 39;
constexpr int kStringNoVolumeData = 41, kStringNoFlowData = 42, kStringEmptySelection = 43;
constexpr int kStringDifferingUnits = 73;

bool IsFlowUnits(const std::wstring& text) {
  for (const wchar_t* u : {L"L/s", L"L/sec", L"mL/s", L"mL/sec", L"\u00B5L/s", L"\u00B5L/sec"})
    if (EqualsNoCase(text, u)) return true;
  return false;
}

bool IsVolumeUnits(const std::wstring& text) { return EqualsNoCase(text, L"L") || EqualsNoCase(text, L"mL"); }

bool Contains(const std::vector<std::int32_t>& list, std::int32_t channel) {
  return std::find(list.begin(), list.end(), channel) != list.end();
}
}  // namespace

void SpiroDocument::CopySelection() {
  Bool16 valid = kFalse16;
  DataPosition start, end;
  if (mData && Succeeded(mData->GetSelection(&valid, &start, &end)) && valid) {
    mSelectionStart = start;
    mSelectionEnd = end;
  } else {
    mSelectionStart = DataPosition{0, 0};
    mSelectionEnd = DataPosition{0, 0};
  }
}

void SpiroDocument::RebuildChannelLists() {
  mFlowChannels.clear();
  mVolumeChannels.clear();
  if (!mData) return;
  std::int32_t count = kAssumedChannelCount;
  if (Failed(mData->GetChannelCount(&count))) count = kAssumedChannelCount;
  for (std::int32_t channel = 0; channel < count; ++channel) {
    const std::int32_t kind = CalculationKindOf(channel);
    if (kind == 1) {
      mFlowChannels.push_back(channel);
      continue;
    }
    if (kind == 2) {
      mVolumeChannels.push_back(channel);
      continue;
    }
    ComPtr<IUnits> units;
    std::wstring text;
    if (Failed(mData->GetUnits(kUnitsFlags, mSelectionStart.block, channel, units.Put())) || !units ||
        Failed(units->GetText(&text)))
      continue;
    if (IsFlowUnits(text)) {
      mFlowChannels.push_back(channel);
    } else if (IsVolumeUnits(text)) {
      // A tidal-volume channel is in litres too, but holds one value per breath, not a volume trace.
      ComPtr<IChannelCalc> calc;
      ComPtr<ICalcSite> site;
      std::wstring className;
      const bool tidal = mData->GetChannelCalc(channel, calc.Put()) == S_OK && calc &&
                         Succeeded(calc->GetSite(site.Put())) && site && Succeeded(site->GetClassName(&className)) &&
                         className == L"SpTidalVolCalculation";
      if (!tidal) mVolumeChannels.push_back(channel);
    }
  }

  auto settle = [this](std::int32_t& channel, const std::vector<std::int32_t>& list) {
    if (Contains(list, channel)) return;
    if (list.empty()) {
      channel = kChannelNotSet;
      return;
    }
    channel = list.front();
    Attach();
    mSettings->SetDirty();
  };
  settle(mSettings->FlowChannel, mFlowChannels);
  settle(mSettings->VolumeChannel, mVolumeChannels);
}

bool SpiroDocument::ValidateSelection(bool severalBlocks, std::wstring* message) {
  auto fail = [&](int id) {
    if (message) *message = LoadString(id);
    return false;
  };
  if (message) message->clear();
  if (mFlowChannels.empty()) return fail(kStringNoFlow);
  if (mVolumeChannels.empty()) return fail(kStringNoVolume);
  if (!mData) return fail(kStringInvalidSelection);

  const std::int32_t flow = mSettings->FlowChannel, volume = mSettings->VolumeChannel;
  const DataPosition start = mSelectionStart, end = mSelectionEnd;
  // A block the host does not know fails here whatever its offset says, so that nothing below walks
  // towards an unset block index.
  // Block lengths are asked of a listed channel: the settings may name one that no longer exists, which
  // the data tests below report in the user's terms.
  const std::int32_t listed = mFlowChannels.front();
  std::int64_t startLength = 0, endLength = 0;
  if (Failed(mData->GetBlockLength(kBlockInfoFlags, start.block, listed, &startLength)) ||
      Failed(mData->GetBlockLength(kBlockInfoFlags, end.block, listed, &endLength)) || start.offset < 0 ||
      end.offset < 0)
    return fail(kStringInvalidSelection);
  if (start.offset != DataPosition::kNotSet && start.offset >= startLength) return fail(kStringInvalidSelection);
  if (end.offset != DataPosition::kNotSet && std::max<std::int64_t>(end.offset - 1, 0) >= endLength)
    return fail(kStringInvalidSelection);
  if (!severalBlocks && start.block != end.block) return fail(kStringMultipleBlocks);
  if (mData->HasData(kDataFlags, start.block, volume) != S_OK) return fail(kStringNoVolumeData);
  if (mData->HasData(kDataFlags, start.block, flow) != S_OK) return fail(kStringNoFlowData);
  if (start == end) return fail(kStringEmptySelection);
  if (start.block != end.block) {
    ComPtr<IUnits> first;
    mData->GetUnits(kUnitsFlags, start.block, flow, first.Put());
    for (std::int32_t block = start.block + 1; block <= end.block; ++block) {
      ComPtr<IUnits> units;
      mData->GetUnits(kUnitsFlags, block, flow, units.Put());
      if (units.Get() != first.Get()) return fail(kStringDifferingUnits);
    }
  }
  return true;
}

void SpiroDocument::Refresh() {
  ForgetReadings();
  CopySelection();
  RebuildChannelLists();
  mDataViewValid = ValidateSelection(true, &mDataViewMessage);
  mAnalysisValid = ValidateSelection(false, &mAnalysisMessage);
  mAnalysisOutOfDate = true;
  UpdateViews(false);
  ReadMirrors();
  PushUnitsToCalculations();
}

}  // namespace Spirometry
