#pragma once
// For the document's tests: the real host with the extension's classes, the document class, a stand-in
// for the report view (so that "a view is open" can be true), data files made from formulas, and
// calculations put on channels as the command line does.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/frame/host_document.h"
#include "spirometry/document/spiro_document.h"

namespace Spirometry::testing {

// A recording at 1000 samples per second of a flow-head voltage: tidal breaths, then forced expirations,
// each followed by tidal breathing, with quiet at both ends. Flow is positive on inspiration.
struct BreathingRecording {
  static constexpr double kSecsPerTick = 0.001;
  static constexpr double kHeadScale = 40.1;       // L/s per V: the "Vantor 1000L" preset
  std::vector<float> flow;                         // L/s
  std::vector<std::int64_t> forcedMaxVolumeTicks;  // where each forced expiration starts
  std::int32_t breaths = 0;                        // complete breaths in the recording
  std::int32_t forced = 0;

  // The volume expired in the first second after the tick, summed sample by sample as the volume
  // calculation integrates (left sums of the flow).
  double ExpiredWithinOneSecond(std::int64_t tick) const;
  std::vector<float> Volts() const;
};
BreathingRecording MakeBreathingRecording(int tidalBefore, int forcedCount, int tidalBetween);

// What a test does to a host document as the command line or a script would; shared by the document's
// and the views' tests.
// Sends the eight settings as the "SpirometrySettings" message.
void SendSettingsMessage(kymora::HostDocument& host, const SpConfig& values);
// Sets the host's selection (which the documents hear about).
void SelectRange(kymora::HostDocument& host, DataPosition start, DataPosition end);
// Puts a calculation of the named class on a channel (one past the last adds it) with KEY=VALUE settings,
// applied with force.
ComPtr<IChannelCalc> PutCalculationWithKeys(kymora::HostDocument& host, std::int32_t channel, const wchar_t* className,
                                            const std::vector<std::pair<std::wstring, std::wstring>>& values);

// The volume (L) of a flow (L/s) summed sample by sample from 0.
std::vector<float> IntegratedVolume(const std::vector<float>& flow, double secsPerTick);

class DocumentTestBase : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens a host document on the file (message boxes recorded in mMessages, their captions in mCaptions).
  void Open(std::shared_ptr<kymora::DataFile> file);
  // The spirometry document of the open file, created on first use.
  SpiroDocument& Doc();
  ComPtr<ICustomDocument> DocInterface();
  // Sends the eight settings as a script would.
  void SendSettings(const SpConfig& values);
  void Select(DataPosition start, DataPosition end);
  // Puts a calculation of the named class on a channel with KEY=VALUE settings, applied with force.
  ComPtr<IChannelCalc> PutCalculation(std::int32_t channel, const wchar_t* className,
                                      std::vector<std::pair<std::wstring, std::wstring>> values);
  void OpenReportView();
  // Opens a file whose channel 1 holds the recording's flow-head voltage, puts SpFlow (preset 3) on a
  // second channel and SpVol on a third, and selects the whole block.
  void OpenFlowHeadRecording(const BreathingRecording& recording);
  // Opens a file of one block holding a recorded flow channel (L/s, channel 1) and volume channel (L,
  // channel 2), selects all of it and has the document use them, with the automatic detection level when
  // asked for and the forced-expiration threshold given.
  void OpenFlowAndVolume(const std::vector<float>& flow, const std::vector<float>& volume, double secsPerTick,
                         bool automatic, double forcedExpThres = kDefaultForcedExpThres);
  std::uint32_t LocalId(std::uint32_t local);

  ComPtr<kymora::HostRegistry> mRegistry;
  std::unique_ptr<kymora::HostDocument> mHost;
  std::vector<std::wstring> mMessages;
  std::vector<std::wstring> mCaptions;
};

}  // namespace Spirometry::testing
