// How the flow and volume calculations describe themselves to the host when their settings are applied:
// the calls on the site, in order, with their arguments.
#include <gtest/gtest.h>

#include <cwchar>
#include <sstream>
#include <type_traits>

#include "spirometry/calc/sp_flow.h"
#include "spirometry/calc/sp_vol.h"

using namespace Spirometry;

namespace {
constexpr HRESULT kApplied = 0x00000002;  // passed back as it stands

// A site that writes every call down as text.
class RecordingSite final : public ComObject<ICalcSite> {
 public:
  explicit RecordingSite(std::int32_t channel) : mChannel(channel) {}
  std::vector<std::string> calls;

  HRESULT GetChannelData(IChannelData**) override { return E_NOTIMPL; }
  HRESULT GetClassName(std::wstring* name) override {
    calls.push_back("class name");
    *name = L"Bound";
    return S_OK;
  }
  HRESULT Rebind(const wchar_t* className) override {
    calls.push_back("rebind " + std::string(className, className + std::wcslen(className)));
    return S_OK;
  }
  HRESULT SetSources(std::int32_t count, const CCalcEnumSourceInfo* s) override {
    std::ostringstream text;
    text << "sources " << count << " " << s[0].channel << " " << std::hex << s[0].flags << " "
         << static_cast<std::uint32_t>(s[0].third);
    calls.push_back(text.str());
    return S_OK;
  }
  HRESULT SetOutputScaling(double scale, double offset) override {
    std::ostringstream text;
    text << "scaling " << scale * 64000.0 << " " << offset;
    calls.push_back(text.str());
    return S_OK;
  }
  HRESULT SetParameterString(const wchar_t*) override {
    calls.push_back("parameters");
    return S_OK;
  }
  HRESULT SetOutputUnits(const wchar_t*, std::int32_t, double) override {
    calls.push_back("units");
    return S_OK;
  }
  HRESULT SetOutputLimits(double, double, std::int32_t) override { return S_OK; }
  HRESULT Apply(std::uint32_t flags) override {
    std::ostringstream text;
    text << "apply " << std::hex << flags;
    calls.push_back(text.str());
    return kApplied;
  }
  HRESULT CreateEnum(const wchar_t*, const wchar_t*, ICalcEnum**) override { return E_NOTIMPL; }
  HRESULT ShowMessage(const wchar_t*, const wchar_t*, std::uint32_t) override { return 1; }
  HRESULT GetChannel(std::int32_t* channel) override {
    *channel = mChannel;
    return S_OK;
  }

 private:
  std::int32_t mChannel;
};

template <class Calc>
struct Applied {
  HRESULT result;
  std::vector<std::string> calls;
};

// Applies settings with the source and range to a calculation of class Calc on channel 2.
template <class Calc>
Applied<Calc> Apply(std::int32_t source, double top, double bottom, Bool16 force) {
  auto site = MakeCom<RecordingSite>(2);
  auto calc = MakeCom<Calc>(site.Get());
  auto settings = MakeCom<typename Calc::Settings>();
  if constexpr (std::is_same_v<Calc, SpFlow>)
    settings->mRawFlowChannel = source;
  else
    settings->mFlowChannel = source;
  settings->mRangeTop = top;
  settings->mRangeBottom = bottom;
  const HRESULT hr = calc->ApplySettings(settings.Get(), force);
  return {hr, site->calls};
}
}  // namespace

TEST(ChannelCalcBase, ApplicationDescribesSourceScalingAndTextThenApplies) {
  using Calls = std::vector<std::string>;
  const std::string ownFlags = "sources 1 2 80001001 80000000", otherFlags = "sources 1 0 c0001000 80000000";
  struct Case {
    const char* name;
    Applied<SpFlow> got;
    Calls expected;
  };
  const Case flowCases[] = {
      {"forced, on its own channel",
       Apply<SpFlow>(2, 20.0, -20.0, kTrue16),
       {"class name", "rebind Bound", ownFlags, "scaling 40 0", "parameters", "units", "apply 40000000"}},
      {"another channel, not forced",
       Apply<SpFlow>(0, 20.0, -20.0, kFalse16),
       {"class name", otherFlags, "scaling 40 0", "parameters", "units", "apply 40000000"}},
      // A range without width is widened by raising its top by 1.
      {"no width",
       Apply<SpFlow>(0, 5.0, 5.0, kTrue16),
       {"class name", "rebind Bound", otherFlags, "scaling 1 5.5", "parameters", "units", "apply 40000000"}},
      {"width below 1e-5",
       Apply<SpFlow>(0, 5.000009, 5.0, kFalse16),
       {"class name", otherFlags, "scaling 1.00001 5.5", "parameters", "units", "apply 40000000"}},
  };
  for (const auto& c : flowCases) {
    EXPECT_EQ(c.got.result, kApplied) << c.name;
    EXPECT_EQ(c.got.calls, c.expected) << c.name;
  }
  const auto volume = Apply<SpVol>(0, 4.0, -2.0, kFalse16);
  EXPECT_EQ(volume.result, kApplied);
  EXPECT_EQ(volume.calls, (Calls{"class name", otherFlags, "scaling 6 1", "parameters", "units", "apply 40000000"}));
}

TEST(ChannelCalcBase, UnchangedSettingsAreNotAppliedUnlessForced) {
  auto site = MakeCom<RecordingSite>(2);
  auto flow = MakeCom<SpFlow>(site.Get());
  auto first = MakeCom<SpFlowSettings>();
  EXPECT_EQ(flow->ApplySettings(first.Get(), kTrue16), kApplied);
  site->calls.clear();
  ComPtr<IPersistObject> same;
  ASSERT_EQ(flow->GetSettings(same.Put()), S_OK);
  EXPECT_EQ(flow->ApplySettings(same.Get(), kFalse16), S_FALSE);
  EXPECT_TRUE(site->calls.empty());
  EXPECT_EQ(flow->ApplySettings(same.Get(), kTrue16), kApplied);
  EXPECT_FALSE(site->calls.empty());
  // Another class's settings are refused.
  auto volumeSettings = MakeCom<SpVolSettings>();
  EXPECT_EQ(flow->ApplySettings(volumeSettings.Get(), kTrue16), E_INVALIDARG);
}
