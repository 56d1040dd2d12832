// The spirometry document in the real host: channel lists and validation, settings through the interface,
// the scripting messages and the commands, and persistence with the data file.
#include "spirometry/document/spiro_document.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>

#include "host/com/memory_stream.h"
#include "host/data/storage/kymo_storage.h"
#include "host/frame/document_events.h"
#include "spirometry/document/document_test_host.h"
#include "spirometry/document/settings_dialog_hook.h"
#include "spirometry/document/settings_message.h"
#include "spirometry/extension/menus.h"
#include "spirometry/resources/string_table.h"

namespace Spirometry {
namespace {

// Units of each channel in each block: "" no data, a leading '!' units without data.
std::shared_ptr<kymora::DataFile> MakeFile(const std::vector<std::vector<std::wstring>>& unitsPerBlock,
                                           std::int64_t length = 100) {
  auto file = std::make_shared<kymora::DataFile>();
  for (std::size_t c = 0; c < unitsPerBlock.front().size(); ++c) file->AddChannel(L"Ch");
  for (std::size_t b = 0; b < unitsPerBlock.size(); ++b) {
    file->AddBlock(0.001, length);
    for (std::size_t c = 0; c < unitsPerBlock[b].size(); ++c) {
      const std::wstring& u = unitsPerBlock[b][c];
      if (u.empty()) continue;
      if (u[0] == L'!') {
        file->blocks[b].channels[c].units = u.substr(1);
        continue;
      }
      kymora::Samples s(static_cast<std::size_t>(length));
      for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<float>(i);
      file->SetSamples(static_cast<std::int32_t>(b), static_cast<std::int32_t>(c), u, 1000.0, std::move(s));
    }
  }
  return file;
}

kymora::Selection Sel(DataPosition start, DataPosition end) { return {true, start, end}; }

class SpiroDocumentTest : public testing::DocumentTestBase {
 protected:
  bool Shown(int stringId) const {
    return std::find(mMessages.begin(), mMessages.end(), LoadString(stringId)) != mMessages.end();
  }
  SpConfig Settings(std::int32_t flow, std::int32_t volume) {
    SpConfig c;
    c.FlowChannel = flow;
    c.VolumeChannel = volume;
    return c;
  }
};

TEST_F(SpiroDocumentTest, SelectionValidationGivesEachMessage) {
  struct Case {
    const char* name;
    std::vector<std::vector<std::wstring>> units;
    std::optional<kymora::Selection> selection;
    int dataViewMessage;  // 0: valid
    int analysisMessage;
  };
  const Case cases[] = {
      {"no flow channel", {{L"V", L"L"}}, Sel({0, 0}, {50, 0}), 36, 36},
      {"no volume channel", {{L"L/s", L"V"}}, Sel({0, 0}, {50, 0}), 37, 37},
      {"start beyond its block", {{L"L/s", L"L"}}, Sel({150, 0}, {160, 0}), 38, 38},
      {"end beyond its block", {{L"L/s", L"L"}}, Sel({10, 0}, {102, 0}), 38, 38},
      {"unknown block", {{L"L/s", L"L"}}, Sel({10, 0}, {20, 5}), 38, 38},
      {"negative start", {{L"L/s", L"L"}}, Sel({-5, 0}, {20, 0}), 38, 38},
      {"across two blocks", {{L"L/s", L"L"}, {L"L/s", L"L"}}, Sel({10, 0}, {20, 1}), 0, 39},
      {"no volume data", {{L"L/s", L"!L"}}, Sel({0, 0}, {50, 0}), 41, 41},
      {"no flow data", {{L"!L/s", L"L"}}, Sel({0, 0}, {50, 0}), 42, 42},
      {"a single point", {{L"L/s", L"L"}}, Sel({10, 0}, {10, 0}), 43, 43},
      {"no selection at all", {{L"L/s", L"L"}}, std::nullopt, 43, 43},
      {"blocks of differing units", {{L"L/s", L"L"}, {L"mL/s", L"L"}}, Sel({10, 0}, {20, 1}), 73, 39},
      {"valid", {{L"mL/sec", L"V", L"mL"}}, Sel({10, 0}, {90, 0}), 0, 0},
      {"to the end of the block", {{L"l/S", L"ml"}}, Sel({10, 0}, {DataPosition::kNotSet, 0}), 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto file = MakeFile(c.units);
    if (c.selection) file->selection = *c.selection;
    Open(file);
    SpiroDocument& doc = Doc();
    EXPECT_EQ(doc.DataViewValid(), c.dataViewMessage == 0);
    EXPECT_EQ(doc.DataViewMessage(), c.dataViewMessage ? LoadString(c.dataViewMessage) : L"");
    EXPECT_EQ(doc.AnalysisValid(), c.analysisMessage == 0);
    EXPECT_EQ(doc.AnalysisMessage(), c.analysisMessage ? LoadString(c.analysisMessage) : L"");
  }
}

TEST_F(SpiroDocumentTest, ChannelListsFollowUnitsAndNotSetChannelsTakeTheFirst) {
  Open(MakeFile({{L"V", L"\u00B5L/sec", L"L", L"mL/s", L"cmH2O", L"mL"}}));
  SpiroDocument& doc = Doc();
  EXPECT_EQ(doc.FlowChannels(), (std::vector<std::int32_t>{1, 3}));
  EXPECT_EQ(doc.VolumeChannels(), (std::vector<std::int32_t>{2, 5}));
  EXPECT_EQ(doc.CurrentSettings().FlowChannel, 1);
  EXPECT_EQ(doc.CurrentSettings().VolumeChannel, 2);
  // A new document has no settings yet: its settings command ran, and with no dialog the user is told.
  EXPECT_TRUE(Shown(3101));

  std::int32_t count = -1;
  EXPECT_EQ(doc.GetFlowChannels(&count, nullptr), E_FAIL);
  EXPECT_EQ(count, 2);
  std::int32_t* channels = new std::int32_t[7];  // the callee frees what the caller passes in
  ASSERT_EQ(doc.GetVolumeChannels(&count, &channels), S_OK);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(channels[0], 2);
  EXPECT_EQ(channels[1], 5);
  delete[] channels;
}

TEST_F(SpiroDocumentTest, VanishedChannelIsReplacedAndTheSettingsBecomeDirty) {
  auto file = MakeFile({{L"L/s", L"L", L"L/s"}});
  file->selection = Sel({0, 0}, {50, 0});
  Open(file);
  SpiroDocument& doc = Doc();
  ASSERT_TRUE(mHost->Frame().StoreDocumentStreams(mHost->File()));  // attached and saved: clean
  EXPECT_FALSE(doc.SettingsObject().Dirty());

  SendSettings(Settings(7, 1));  // a channel that is not in the flow list is stored as it is
  EXPECT_EQ(doc.CurrentSettings().FlowChannel, 7);
  EXPECT_EQ(doc.AnalysisMessage(), LoadString(42));  // until the next refresh replaces it
  Select({0, 0}, {60, 0});
  EXPECT_EQ(doc.CurrentSettings().FlowChannel, 0);
  EXPECT_TRUE(doc.SettingsObject().Dirty());
  EXPECT_TRUE(doc.SettingsObject().IsAttached());
  EXPECT_TRUE(doc.AnalysisValid());
}

TEST_F(SpiroDocumentTest, ChannelsChangedByAScriptAreValidatedAtOnce) {
  auto file = MakeFile({{L"L/s", L"L", L"!L"}});
  file->selection = Sel({0, 0}, {50, 0});
  Open(file);
  SpiroDocument& doc = Doc();
  ASSERT_TRUE(doc.AnalysisValid());
  SendSettings(Settings(0, 2));
  EXPECT_FALSE(doc.AnalysisValid());
  EXPECT_EQ(doc.AnalysisMessage(), LoadString(41));
  std::wstring message;
  EXPECT_FALSE(doc.EnsureAnalysis(&message));
  EXPECT_EQ(message, LoadString(41));
}

TEST_F(SpiroDocumentTest, OutOfRangeLevelsAreClampedAndAnnounced) {
  Open(MakeFile({{L"L/s", L"L"}}));
  SpiroDocument& doc = Doc();
  SpConfig s = Settings(0, 1);
  s.DetectionLevel = 5.0;
  s.ForcedExpThres = 5.0;
  s.FlowUnitsPrefix = 7;
  s.NoiseFloor = 0.1;
  s.ApplyNoiseFloor = true;
  SendSettings(s);
  ASSERT_EQ(doc.CurrentSettings().FlowUnitsPrefix, 7);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    bool level;  // SetDetectionLevel, else SetForcedExpThres
    double value;
    double stored;
    bool announced;
  };
  const Case cases[] = {
      {"level above the range", true, 20.0, 10.0, true},
      {"level below the range", true, 0.0, 0.01, true},
      {"level at the low end", true, 0.01, 0.01, false},
      {"level that is no number takes the default", true, nan, 1.0, true},
      {"threshold below the range", false, 0.05, 0.1, true},
      {"threshold at the high end", false, 10.0, 10.0, false},
      {"threshold that is no number takes the default", false, nan, 2.0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mMessages.clear();
    mCaptions.clear();
    const double otherBefore = c.level ? doc.CurrentSettings().ForcedExpThres : doc.CurrentSettings().DetectionLevel;
    ASSERT_EQ(c.level ? doc.SetDetectionLevel(c.value) : doc.SetForcedExpThres(c.value), S_OK);
    EXPECT_EQ(c.level ? doc.CurrentSettings().DetectionLevel : doc.CurrentSettings().ForcedExpThres, c.stored);
    EXPECT_EQ(c.level ? doc.CurrentSettings().ForcedExpThres : doc.CurrentSettings().DetectionLevel, otherBefore);
    if (c.announced) {
      EXPECT_EQ(mMessages, std::vector<std::wstring>{LoadString(8)});
      EXPECT_EQ(mCaptions, std::vector<std::wstring>{LoadString(15)});
    } else {
      EXPECT_TRUE(mMessages.empty());
    }
    // The single-value setters apply with L/s and no noise floor.
    EXPECT_EQ(doc.CurrentSettings().NoiseFloor, 0.0);
    EXPECT_FALSE(doc.CurrentSettings().ApplyNoiseFloor);
    EXPECT_EQ(doc.CurrentSettings().FlowUnitsPrefix, 8);
  }
}

TEST_F(SpiroDocumentTest, ScriptMessageWithItsLastValuesLeftOut) {
  Open(MakeFile({{L"L/s", L"L"}}));
  SpiroDocument& doc = Doc();
  SpConfig s = Settings(0, 1);
  s.FlowUnitsPrefix = 7;
  s.NoiseFloor = 0.2;
  s.ApplyNoiseFloor = true;
  SendSettings(s);
  ASSERT_EQ(doc.CurrentSettings().FlowUnitsPrefix, 7);

  mMessages.clear();
  const std::vector<MessageValue> firstFive = {{L"ForcedExpThres", 3.0},
                                               {L"DetectionLevel", 0.0},
                                               {L"IncludeNonForced", 1.0},
                                               {L"FlowChannel", 0.0},
                                               {L"VolumeChannel", 1.0}};
  ASSERT_TRUE(mHost->Frame().SendScriptMessage(L"SpirometrySettings", firstFive));
  EXPECT_EQ(doc.CurrentSettings().FlowUnitsPrefix, 7);  // 0 is not a prefix the settings admit
  EXPECT_EQ(doc.CurrentSettings().NoiseFloor, 0.0);
  EXPECT_FALSE(doc.CurrentSettings().ApplyNoiseFloor);
  EXPECT_EQ(doc.CurrentSettings().DetectionLevel, 0.01);
  EXPECT_EQ(doc.CurrentSettings().ForcedExpThres, 3.0);
  EXPECT_TRUE(doc.CurrentSettings().IncludeNonForced);
  EXPECT_TRUE(Shown(8));

  // The older five-value message resets the units to L/s.
  SpConfig older = Settings(0, 1);
  older.ForcedExpThres = 1.5;
  auto record = EncodeFiveValueMessage(LocalId(kLocalMessageFiveValueSettings), older);
  EXPECT_EQ(mHost->Frame().PostMessage(DocInterface().Get(), record.data(), 40, kSendImmediately), S_OK);
  EXPECT_EQ(doc.CurrentSettings().ForcedExpThres, 1.5);
  EXPECT_EQ(doc.CurrentSettings().FlowUnitsPrefix, 8);
  EXPECT_EQ(mHost->Frame().PostMessage(DocInterface().Get(), record.data(), 20, kSendImmediately), E_INVALIDARG);
  const std::uint32_t foreign[3] = {(LocalId(0) & 0xFFFF0000u) + 0x10000u, 0, 0};
  EXPECT_EQ(DocInterface()->HandleMessage(foreign, 12), S_FALSE);
}

TEST_F(SpiroDocumentTest, AnalysisWaitsForAnOpenView) {
  auto file = MakeFile({{L"L/s", L"L"}});
  file->selection = Sel({0, 0}, {80, 0});
  Open(file);
  SpiroDocument& doc = Doc();
  SendSettings(Settings(0, 1));
  Select({5, 0}, {70, 0});
  EXPECT_EQ(doc.Analysis().RequestedStart(), DataPosition{});  // never asked
  EXPECT_TRUE(doc.AnalysisOutOfDate());

  OpenReportView();
  Select({5, 0}, {75, 0});
  EXPECT_EQ(doc.Analysis().RequestedEnd(), (DataPosition{75, 0}));
  EXPECT_FALSE(doc.AnalysisOutOfDate());
  // Event 4 makes the next analysis detect again even for the same selection and levels.
  EXPECT_EQ(doc.Analysis().CachedDetectionLevel(), 1.0);
  mHost->Frame().CloseView(mHost->Frame().Views().front().Get());
  mHost->Frame().RaiseHostEvent(HostEvents::kRecalculate);
  EXPECT_EQ(doc.Analysis().CachedDetectionLevel(), -1.0);
  EXPECT_EQ(doc.Analysis().RequestedEnd(), (DataPosition{75, 0}));  // the selection copied again

  // A ramp has no breaths: the views are told so.
  std::wstring message;
  EXPECT_FALSE(doc.EnsureAnalysis(&message));
  EXPECT_EQ(message, LoadString(50));
  EXPECT_FALSE(doc.AnalysisValid());
  EXPECT_FALSE(doc.DataViewValid());
}

TEST_F(SpiroDocumentTest, CommandsOpenViewsAndTheSettingsDialog) {
  Open(MakeFile({{L"L/s", L"L"}}));
  auto custom = DocInterface();
  SpiroDocument& doc = Doc();
  mMessages.clear();

  EXPECT_EQ(mHost->Frame().ExecuteCommand(kCommandSettings), S_OK);
  EXPECT_TRUE(Shown(3101));
  EXPECT_EQ(doc.CurrentSettings().DetectionLevel, 1.0);

  // A dialog that confirms an edit: the change is attached, dirty and applied through message 2.
  SettingsDialogSlot() = [](SettingsDialogRequest& r) {
    EXPECT_EQ(r.flowChannels->size(), 1u);
    r.settings->DetectionLevel = 3.0;
    r.settings->FlowUnitsPrefix = 6;
    return true;
  };
  EXPECT_EQ(mHost->Frame().ExecuteCommand(LocalId(kLocalCommandSettings)), S_OK);
  EXPECT_EQ(doc.CurrentSettings().DetectionLevel, 3.0);
  EXPECT_EQ(doc.CurrentSettings().FlowUnitsPrefix, 6);
  EXPECT_TRUE(doc.SettingsObject().Dirty());
  SettingsDialogSlot() = [](SettingsDialogRequest& r) {
    r.settings->DetectionLevel = 5.0;
    return false;  // cancelled
  };
  mHost->Frame().ExecuteCommand(kCommandSettings);
  EXPECT_EQ(doc.CurrentSettings().DetectionLevel, 3.0);

  EXPECT_EQ(mHost->Frame().ExecuteCommand(kCommandReportView), S_OK);
  EXPECT_EQ(mHost->Frame().IsViewOpen(kReportViewClassId, custom.Get()), S_OK);
  mMessages.clear();
  EXPECT_EQ(mHost->Frame().ExecuteCommand(LocalId(kLocalCommandDataView)), S_OK);
  EXPECT_EQ(mMessages.size(), 1u);  // the host says it has no data view to open
  EXPECT_EQ(mHost->Frame().IsViewOpen(kDataViewClassId, custom.Get()), S_FALSE);

  Bool16 enabled = kFalse16;
  EXPECT_EQ(custom->UpdateCommand(kCommandFlowVolumeView, &enabled), S_OK);
  EXPECT_EQ(enabled, kTrue16);
  EXPECT_EQ(custom->UpdateCommand(LocalId(5), &enabled), S_FALSE);
  EXPECT_EQ(custom->ExecuteCommand(189), S_FALSE);

  ComPtr<IPersist> persist;
  EXPECT_EQ(custom->GetPersistentObject(kPersistKindStream, persist.Put()), S_OK);
  Guid persistId;
  ASSERT_TRUE(persist);
  EXPECT_EQ(persist->GetClassID(&persistId), S_OK);
  EXPECT_EQ(persistId, kSpiroDocumentGuid);
  EXPECT_EQ(custom->GetPersistentObject(1, persist.Put()), S_FALSE);
  EXPECT_FALSE(persist);
}

TEST_F(SpiroDocumentTest, SettingsSurviveSavingAndReopening) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("spiro_document_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                    std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "saved.kymo").string();

  Open(MakeFile({{L"L/s", L"L", L"L/s", L"L"}}));
  SpConfig s = Settings(2, 3);
  s.DetectionLevel = 2.5;
  s.ForcedExpThres = 1.5;
  s.IncludeNonForced = true;
  s.FlowUnitsPrefix = 7;
  s.NoiseFloor = 0.05;
  s.ApplyNoiseFloor = true;
  Doc();
  SendSettings(s);
  ASSERT_TRUE(mHost->Save(path));

  auto loaded = kymora::storage::LoadKymo(path);
  ASSERT_TRUE(loaded) << loaded.ErrorMessage();
  Open(std::make_shared<kymora::DataFile>(std::move(*loaded)));
  EXPECT_TRUE(Doc().CurrentSettings() == s);
  EXPECT_EQ(Doc().SettingsObject().LoadedVersion(), 3);
  EXPECT_TRUE(mMessages.empty());  // loaded settings need neither the dialog nor a notice
  std::filesystem::remove_all(dir);
}

TEST_F(SpiroDocumentTest, OpeningOlderOutOfRangeSettingsClampsAndTellsTheUser) {
  // A version 2 stream of an earlier program: channels 0 and 1, level 20 %, threshold 0.5, non-forced off.
  std::vector<std::uint8_t> bytes(32, 0);
  const std::int32_t head[3] = {2, 0, 1};
  const double levels[2] = {20.0, 0.5};
  std::memcpy(bytes.data(), head, sizeof head);
  std::memcpy(bytes.data() + sizeof head, levels, sizeof levels);

  auto file = MakeFile({{L"L/s", L"L"}});
  file->documentStreams[kSpiroDocumentGuid.ToString()] = bytes;
  Open(file);
  EXPECT_EQ(Doc().CurrentSettings().DetectionLevel, 10.0);
  EXPECT_EQ(Doc().CurrentSettings().ForcedExpThres, 0.5);
  EXPECT_EQ(mMessages, std::vector<std::wstring>{LoadString(8)});
  EXPECT_EQ(mCaptions, std::vector<std::wstring>{LoadString(15)});
}

TEST_F(SpiroDocumentTest, DamagedStoredSettingsAreReportedAndKeepTheDefaults) {
  auto stored = MakeCom<Spirometry::Settings>();
  stored->FlowChannel = 0;
  stored->VolumeChannel = 1;
  stored->DetectionLevel = 5.0;
  auto stream = MakeCom<MemoryStream>();
  stored->Save(stream.Get(), kTrue16);
  auto bytes = stream->Bytes();
  bytes.resize(5);

  auto file = MakeFile({{L"L/s", L"L"}});
  file->documentStreams[kSpiroDocumentGuid.ToString()] = bytes;
  Open(file);
  EXPECT_EQ(Doc().CurrentSettings().DetectionLevel, kDefaultDetectionLevel);
  EXPECT_FALSE(Doc().SettingsObject().WasLoaded());
  ASSERT_FALSE(mMessages.empty());
  EXPECT_NE(mMessages.front().find(L"could not be read"), std::wstring::npos);
}

}  // namespace
}  // namespace Spirometry
