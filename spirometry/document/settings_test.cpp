#include "spirometry/document/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>
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

TEST(Settings, OlderStreamsLoadWhatTheyHold) {
  const SpConfig before = Sample();
  SpConfig v2 = before;
  v2.FlowChannel = 1;
  v2.VolumeChannel = 2;
  v2.DetectionLevel = 20.0;  // an earlier program's level: the document brings it into range on opening
  v2.ForcedExpThres = 3.0;
  v2.IncludeNonForced = true;  // stored as 2 below: any non-zero value is true

  const auto version2 = Bytes().I32(2).I32(1).I32(2).F64(20.0).F64(3.0).I32(2).b;
  const auto full = Bytes().I32(3).I32(1).I32(2).F64(0.5).F64(3.0).I32(0).U8(7).F64(0.25).I32(6).b;
  SpConfig withoutPrefix = v2;
  withoutPrefix.DetectionLevel = 0.5;
  withoutPrefix.IncludeNonForced = false;
  withoutPrefix.ApplyNoiseFloor = true;  // byte 7: any non-zero value is true
  withoutPrefix.NoiseFloor = 0.25;
  withoutPrefix.FlowUnitsPrefix = 8;  // a stream without a prefix is in L/s, whatever the old value was
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
      {"version 1 holds nothing more", Bytes().I32(1).b, before, 1},
      {"version 0", Bytes().I32(0).b, before, 0},
      {"version 3 without a prefix", std::vector<std::uint8_t>(full.begin(), full.end() - 4), withoutPrefix, 3},
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

// A stream cut inside its fields, with bytes after them, or holding a value this program never stores is
// damage: refused whole, and nothing changes.
TEST(Settings, DamagedStreamsAreRefusedWhole) {
  auto v3 = [](std::int32_t flow, double level, double threshold, double noiseFloor, std::int32_t prefix) {
    return Bytes().I32(3).I32(flow).I32(1).F64(level).F64(threshold).I32(0).U8(0).F64(noiseFloor).I32(prefix).b;
  };
  const auto good = v3(0, 1.0, 2.0, 0.0, 8);
  auto cut = [&](std::size_t n) { return std::vector<std::uint8_t>(good.begin(), good.begin() + n); };
  auto withTail = [](std::vector<std::uint8_t> b, std::vector<std::uint8_t> tail) {
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
  };
  const double inf = HUGE_VAL, nan = std::nan("");
  const std::pair<const char*, std::vector<std::uint8_t>> cases[] = {
      {"empty", {}},
      {"cut inside the version", cut(3)},
      {"cut to 5 bytes", cut(5)},
      {"cut inside DetectionLevel", cut(14)},
      {"cut inside the noise floor", cut(40)},
      {"cut inside the prefix", cut(43)},
      {"cut inside the reserved text", withTail(good, {0x01, 0x00, 0x00, 0x80, 0x02})},
      {"a reserved text without its marker", withTail(good, Bytes().I32(0).I32(0).I32(0).b)},
      {"version 3 and a byte more",
       withTail(good, Bytes().I32(static_cast<std::int32_t>(0x80000001u)).I32(0).I32(0).U8(0).b)},
      {"version 0 with fields", withTail(Bytes().I32(0).b, std::vector<std::uint8_t>(good.begin() + 4, good.end()))},
      {"version -1", Bytes().I32(-1).b},
      {"version 2 and a byte more", Bytes().I32(2).I32(0).I32(1).F64(1).F64(2).I32(0).U8(0).b},
      {"version 2 level of no size", Bytes().I32(2).I32(0).I32(1).F64(0).F64(2).I32(0).b},
      {"version 2 level above 100 %", Bytes().I32(2).I32(0).I32(1).F64(100.5).F64(2).I32(0).b},
      {"version 2 threshold infinite", Bytes().I32(2).I32(0).I32(1).F64(1).F64(inf).I32(0).b},
      {"negative channel", v3(-2, 1.0, 2.0, 0.0, 8)},
      {"level below 0.01 %", v3(0, 0.0099, 2.0, 0.0, 8)},
      {"level above 10 %", v3(0, 10.01, 2.0, 0.0, 8)},
      {"level NaN", v3(0, nan, 2.0, 0.0, 8)},
      {"threshold below 0.1", v3(0, 1.0, 0.099, 0.0, 8)},
      {"threshold above 10", v3(0, 1.0, 10.5, 0.0, 8)},
      {"negative noise floor", v3(0, 1.0, 2.0, -0.1, 8)},
      {"infinite noise floor", v3(0, 1.0, 2.0, inf, 8)},
      {"prefix 5", v3(0, 1.0, 2.0, 0.0, 5)},
      {"prefix 9", v3(0, 1.0, 2.0, 0.0, 9)},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    auto s = MakeCom<Settings>();
    s->Record() = Sample();
    s->SetDirty();
    EXPECT_EQ(LoadBytes(*s, bytes), E_FAIL);
    EXPECT_TRUE(s->Record() == Sample());
    EXPECT_FALSE(s->WasLoaded());
    EXPECT_EQ(s->IsDirty(), S_OK);
    EXPECT_EQ(s->LoadedVersion(), 0);
  }
  // The edges of the ranges are values this program stores.
  for (const auto& edge : {v3(kChannelNotSet, 0.01, 0.1, 0.0, 6), v3(0, 10.0, 10.0, 1e300, 7)}) {
    auto s = MakeCom<Settings>();
    EXPECT_EQ(LoadBytes(*s, edge), S_OK);
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
  // Written: the automatic level and the standard's report section, each when on, joined by ';'.
  for (const auto& [automatic, standard, text] :
       {std::tuple{true, false, u"DetectionLevel=Auto"}, std::tuple{false, true, u"StandardReport=On"},
        std::tuple{true, true, u"DetectionLevel=Auto;StandardReport=On"}}) {
    auto s = MakeCom<Settings>();
    s->Record() = Sample();
    s->AutoDetectionLevel = automatic;
    s->StandardReport = standard;
    EXPECT_EQ(SaveBytes(*s), withText(text));
  }

  // Read: entries in any case and order; others are passed over.
  struct Read {
    const char16_t* text;
    bool automatic, standard;
  };
  for (const Read& r :
       {Read{u"DetectionLevel=Auto", true, false}, Read{u"detectionlevel=auto", true, false},
        Read{u"Auto", false, false}, Read{u"", false, false},
        Read{u"standardreport=on;DetectionLevel=Auto", true, true}, Read{u"Later=1;StandardReport=On;", false, true}}) {
    auto read = MakeCom<Settings>();
    read->AutoDetectionLevel = !r.automatic;
    read->StandardReport = !r.standard;
    ASSERT_EQ(LoadBytes(*read, withText(r.text)), S_OK);
    EXPECT_EQ(read->AutoDetectionLevel, r.automatic) << ToUtf8(FromUtf16(r.text));
    EXPECT_EQ(read->StandardReport, r.standard) << ToUtf8(FromUtf16(r.text));
    EXPECT_EQ(read->DetectionLevel, Sample().DetectionLevel);
  }
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
      [](SpConfig& c) { c.FlowChannel = 0; },           [](SpConfig& c) { c.VolumeChannel = 0; },
      [](SpConfig& c) { c.DetectionLevel += 1e-12; },   [](SpConfig& c) { c.ForcedExpThres = 2.0; },
      [](SpConfig& c) { c.IncludeNonForced = false; },  [](SpConfig& c) { c.NoiseFloor = 0.0; },
      [](SpConfig& c) { c.ApplyNoiseFloor = false; },   [](SpConfig& c) { c.FlowUnitsPrefix = 8; },
      [](SpConfig& c) { c.AutoDetectionLevel = true; }, [](SpConfig& c) { c.StandardReport = true; },
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
