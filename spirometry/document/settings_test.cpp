#include "spirometry/document/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/com/memory_stream.h"
#include "host/com/text.h"
#include "spirometry/document/ispiro_document.h"

namespace Spirometry {
namespace {

// Little-endian stream bytes written by hand, independent of the code under test.
struct Bytes {
  std::vector<std::uint8_t> b;
  Bytes& I32(std::int32_t v) { return Raw(&v, 4); }
  Bytes& U8(std::uint8_t v) { return Raw(&v, 1); }
  Bytes& F64(double v) { return Raw(&v, 8); }
  Bytes& Raw(const void* p, std::size_t n) {
    auto* c = static_cast<const std::uint8_t*>(p);
    b.insert(b.end(), c, c + n);
    return *this;
  }
};

HRESULT LoadBytes(Settings& settings, std::vector<std::uint8_t> bytes) {
  auto stream = MakeCom<MemoryStream>(std::move(bytes));
  return settings.Load(stream.Get());
}

std::vector<std::uint8_t> SaveBytes(Settings& settings) {
  auto stream = MakeCom<MemoryStream>();
  EXPECT_EQ(settings.Save(stream.Get(), kTrue16), S_OK);
  return stream->Bytes();
}

SpConfig Sample() {
  SpConfig c;
  c.FlowChannel = 4;
  c.VolumeChannel = 5;
  c.DetectionLevel = 2.5;
  c.ForcedExpThres = 1.75;
  c.IncludeNonForced = true;
  c.NoiseFloor = 0.03;
  c.ApplyNoiseFloor = true;
  c.FlowUnitsPrefix = 7;
  return c;
}

TEST(Settings, DefaultStreamIsTheDocumentedFiftySevenBytes) {
  auto settings = MakeCom<Settings>();
  const std::vector<std::uint8_t> expected = {
      0x03, 0x00, 0x00, 0x00,                                                  // version 3
      0x00, 0x00, 0x00, 0x80,                                                  // FlowChannel not set
      0x00, 0x00, 0x00, 0x80,                                                  // VolumeChannel not set
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,                          // DetectionLevel 1.0
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,                          // ForcedExpThres 2.0
      0x00, 0x00, 0x00, 0x00,                                                  // IncludeNonForced
      0x00,                                                                    // ApplyNoiseFloor
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                          // NoiseFloor 0.0
      0x08, 0x00, 0x00, 0x00,                                                  // FlowUnitsPrefix 8
      0x01, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // empty reserved string
  };
  EXPECT_EQ(SaveBytes(*settings), expected);
}

TEST(Settings, SaveThenLoadReproducesTheRecordAndReportsVersionThree) {
  auto written = MakeCom<Settings>();
  written->Record() = Sample();
  written->SetDirty();
  auto bytes = SaveBytes(*written);
  EXPECT_EQ(written->IsDirty(), S_FALSE);  // saved with the clear-dirty flag

  auto read = MakeCom<Settings>();
  EXPECT_FALSE(read->WasLoaded());
  ASSERT_EQ(LoadBytes(*read, bytes), S_OK);
  EXPECT_TRUE(read->Record() == Sample());
  EXPECT_EQ(read->LoadedVersion(), 3);
  EXPECT_TRUE(read->WasLoaded());
  EXPECT_TRUE(read->IsAttached());
  EXPECT_EQ(read->IsDirty(), S_FALSE);
}

TEST(Settings, OlderAndDamagedStreamsLoadWhatTheyHold) {
  const SpConfig before = Sample();
  SpConfig v2 = before;
  v2.FlowChannel = 1;
  v2.VolumeChannel = 2;
  v2.DetectionLevel = 0.5;
  v2.ForcedExpThres = 3.0;
  v2.IncludeNonForced = true;  // stored as 2 below: any non-zero value is true

  const auto version2 = Bytes().I32(2).I32(1).I32(2).F64(0.5).F64(3.0).I32(2).b;
  const auto full = Bytes().I32(3).I32(1).I32(2).F64(0.5).F64(3.0).I32(0).U8(7).F64(0.25).I32(6).b;
  auto cut = [&](std::size_t n) { return std::vector<std::uint8_t>(full.begin(), full.begin() + n); };

  SpConfig cutInDetectionLevel = before;
  cutInDetectionLevel.FlowChannel = 1;
  cutInDetectionLevel.VolumeChannel = 2;
  cutInDetectionLevel.FlowUnitsPrefix = 8;  // the one field a version 3 stream always decides
  SpConfig withoutPrefix = v2;
  withoutPrefix.IncludeNonForced = false;
  withoutPrefix.ApplyNoiseFloor = true;  // byte 7: any non-zero value is true
  withoutPrefix.NoiseFloor = 0.25;
  withoutPrefix.FlowUnitsPrefix = 8;  // a prefix that cannot be read is L/s, not the old value
  SpConfig complete = withoutPrefix;
  complete.FlowUnitsPrefix = 6;

  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    SpConfig expected;
    std::int32_t version;
  };
  const Case cases[] = {
      {"version 2 leaves the newer fields", version2, v2, 2},
      {"version 1 reads nothing more", Bytes().I32(1).I32(9).b, before, 1},
      {"version 0", Bytes().I32(0).b, before, 0},
      {"empty stream", {}, before, 0},
      {"cut inside DetectionLevel", cut(14), cutInDetectionLevel, 3},
      {"cut before FlowUnitsPrefix", cut(41), withoutPrefix, 3},
      {"version 3 without the reserved string", full, complete, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = MakeCom<Settings>();
    s->Record() = before;
    s->SetDirty();
    ASSERT_EQ(LoadBytes(*s, c.bytes), S_OK);
    EXPECT_TRUE(s->Record() == c.expected);
    EXPECT_EQ(s->LoadedVersion(), c.version);
    EXPECT_TRUE(s->WasLoaded());
    EXPECT_EQ(s->IsDirty(), S_FALSE);
  }
}

// The automatic level is the reserved text "DetectionLevel=Auto"; any other text, or none, is a numeric level.
TEST(Settings, AutomaticLevelTravelsInTheReservedTextOfAVersionThreeStream) {
  auto withText = [](const std::u16string& text) {
    const SpConfig c = Sample();
    Bytes b;
    b.I32(3).I32(c.FlowChannel).I32(c.VolumeChannel).F64(c.DetectionLevel).F64(c.ForcedExpThres).I32(1).U8(1);
    b.F64(c.NoiseFloor).I32(c.FlowUnitsPrefix).I32(static_cast<std::int32_t>(0x80000001u));
    const auto n = static_cast<std::int32_t>(text.size());
    b.I32(n).I32(-n).Raw(text.data(), text.size() * 2);
    return b.b;
  };
  auto automatic = MakeCom<Settings>();
  automatic->Record() = Sample();
  automatic->AutoDetectionLevel = true;
  EXPECT_EQ(SaveBytes(*automatic), withText(u"DetectionLevel=Auto"));

  for (const auto& [text, expected] : {std::pair{u"DetectionLevel=Auto", true}, std::pair{u"detectionlevel=auto", true},
                                       std::pair{u"Auto", false}, std::pair{u"", false}}) {
    auto read = MakeCom<Settings>();
    read->AutoDetectionLevel = !expected;
    ASSERT_EQ(LoadBytes(*read, withText(text)), S_OK);
    EXPECT_EQ(read->AutoDetectionLevel, expected) << ToUtf8(FromUtf16(text));
    EXPECT_EQ(read->DetectionLevel, Sample().DetectionLevel);
  }
  // A stream that ends inside the text leaves the switch as it was.
  auto cut = withText(u"DetectionLevel=Auto");
  cut.resize(cut.size() - 4);
  auto read = MakeCom<Settings>();
  read->AutoDetectionLevel = true;
  ASSERT_EQ(LoadBytes(*read, cut), S_OK);
  EXPECT_TRUE(read->AutoDetectionLevel);
}

TEST(Settings, NewerVersionIsRefusedAndChangesNothing) {
  auto s = MakeCom<Settings>();
  s->Record() = Sample();
  s->SetDirty();
  EXPECT_EQ(LoadBytes(*s, Bytes().I32(4).I32(0).I32(0).F64(5.0).F64(5.0).I32(0).b), KYM_E_NEWER_VERSION);
  EXPECT_EQ(static_cast<std::uint32_t>(KYM_E_NEWER_VERSION), 0xA0048205u);
  EXPECT_TRUE(s->Record() == Sample());
  EXPECT_FALSE(s->WasLoaded());
  EXPECT_FALSE(s->IsAttached());
  EXPECT_EQ(s->IsDirty(), S_OK);
  EXPECT_EQ(s->LoadedVersion(), 0);
}

TEST(Settings, RecordEqualityNoticesEveryField) {
  const SpConfig base = Sample();
  const std::vector<void (*)(SpConfig&)> changes = {
      [](SpConfig& c) { c.FlowChannel = 0; },          [](SpConfig& c) { c.VolumeChannel = 0; },
      [](SpConfig& c) { c.DetectionLevel += 1e-12; },  [](SpConfig& c) { c.ForcedExpThres = 2.0; },
      [](SpConfig& c) { c.IncludeNonForced = false; }, [](SpConfig& c) { c.NoiseFloor = 0.0; },
      [](SpConfig& c) { c.ApplyNoiseFloor = false; },  [](SpConfig& c) { c.FlowUnitsPrefix = 8; },
      [](SpConfig& c) { c.AutoDetectionLevel = true; },
  };
  EXPECT_TRUE(base == Sample());
  for (std::size_t i = 0; i < changes.size(); ++i) {
    SpConfig changed = base;
    changes[i](changed);
    EXPECT_FALSE(changed == base) << "field " << i;
  }
}

TEST(Settings, AnswersPersistenceInterfacesOnly) {
  auto s = MakeCom<Settings>();
  Guid id;
  ASSERT_EQ(s->GetClassID(&id), S_OK);
  EXPECT_EQ(id, kSpiroDocumentGuid);
  EXPECT_EQ(id, Guid::Parse("{F346E2BC-9D05-4E49-9B14-70B768A43E92}"));
  for (const Guid& iid : {IUnknown::kIid, IPersist::kIid, IPersistStreamInit::kIid}) {
    ComPtr<IUnknown> face;
    EXPECT_EQ(s->QueryInterface(iid, face.PutVoid()), S_OK);
    EXPECT_TRUE(face);
  }
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(s->QueryInterface(ISpiroDocument::kIid, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  std::uint64_t size = 5;
  EXPECT_EQ(s->GetSizeMax(&size), E_NOTIMPL);
  EXPECT_EQ(s->InitNew(), S_OK);
}

}  // namespace
}  // namespace Spirometry
