#include "spirometry/document/settings_message.h"

#include <gtest/gtest.h>

#include "spirometry/document/ispiro_document.h"

namespace Spirometry {
namespace {

TEST(SettingsMessageClass, BuildsTheFiftySixByteRecord) {
  auto cls = MakeCom<SettingsMessageClass>();
  const MessageValue values[] = {
      {L"ForcedExpThres", 1.5}, {L"DetectionLevel", 2.0},  {L"IncludeNonForced", 1.0}, {L"FlowChannel", 3.0},
      {L"VolumeChannel", 4.0},  {L"FlowUnitsPrefix", 7.0}, {L"NoiseFloor", 0.25},      {L"ApplyNoiseFloor", 1.0},
  };
  std::vector<std::uint8_t> record;
  ASSERT_EQ(cls->BuildMessage(0x00030002u, 8, values, &record), S_OK);
  const std::vector<std::uint8_t> expected = {
      0x02, 0x00, 0x03, 0x00,                          // message id (namespace 3, local 2)
      0x00, 0x00, 0x00, 0x00,                          // reserved
      0x33, 0x21, 0x22, 0x13,                          // layout tag 0x13222133
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,  // ForcedExpThres 1.5
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,  // DetectionLevel 2.0
      0x01, 0x00, 0x00, 0x00,                          // IncludeNonForced
      0x03, 0x00, 0x00, 0x00,                          // FlowChannel
      0x04, 0x00, 0x00, 0x00,                          // VolumeChannel
      0x07, 0x00, 0x00, 0x00,                          // FlowUnitsPrefix
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD0, 0x3F,  // NoiseFloor 0.25
      0x01, 0x00, 0x00, 0x00,                          // ApplyNoiseFloor
  };
  EXPECT_EQ(record, expected);

  auto decoded = DecodeSettingsMessage(record.data(), static_cast<std::int32_t>(record.size()));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->FlowUnitsPrefix, 7);
  EXPECT_EQ(decoded->NoiseFloor, 0.25);
  EXPECT_TRUE(decoded->ApplyNoiseFloor);
}

TEST(SettingsMessageClass, ValuesNotGivenAreZeroAndBadOnesAreRefused) {
  auto cls = MakeCom<SettingsMessageClass>();
  const MessageValue some[] = {{L"detectionlevel", 3.0}, {L"VolumeChannel", 1.0}};
  std::vector<std::uint8_t> record;
  ASSERT_EQ(cls->BuildMessage(2, 2, some, &record), S_OK);
  auto v = DecodeSettingsMessage(record.data(), static_cast<std::int32_t>(record.size()));
  ASSERT_TRUE(v);
  EXPECT_EQ(v->DetectionLevel, 3.0);
  EXPECT_EQ(v->VolumeChannel, 1);
  EXPECT_EQ(v->ForcedExpThres, 0.0);
  EXPECT_EQ(v->FlowChannel, 0);
  EXPECT_EQ(v->FlowUnitsPrefix, 0);
  EXPECT_FALSE(v->IncludeNonForced);

  for (const MessageValue bad :
       {MessageValue{L"ViewType", 1.0}, MessageValue{L"FlowChannel", 1.5}, MessageValue{L"FlowUnitsPrefix", 1e12}}) {
    std::vector<std::uint8_t> refused = {1, 2, 3};
    EXPECT_EQ(cls->BuildMessage(2, 1, &bad, &refused), E_INVALIDARG);
    EXPECT_TRUE(refused.empty());
  }
}

// The automatic level is carried in one more int32 only when the script names it.
TEST(SettingsMessageClass, CarriesTheAutomaticLevelOnlyWhenNamed) {
  auto cls = MakeCom<SettingsMessageClass>();
  struct Case {
    std::vector<MessageValue> values;
    std::size_t bytes;
    std::optional<bool> automatic;
  };
  const Case cases[] = {
      {{{L"DetectionLevel", 2.0}}, 56, std::nullopt},
      {{{L"DetectionLevel", 2.0}, {L"AutoDetectionLevel", 1.0}}, 60, true},
      {{{L"autodetectionlevel", 0.0}, {L"DetectionLevel", 2.0}}, 60, false},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> record;
    ASSERT_EQ(cls->BuildMessage(2, static_cast<std::int32_t>(c.values.size()), c.values.data(), &record), S_OK);
    ASSERT_EQ(record.size(), c.bytes);
    const auto size = static_cast<std::int32_t>(record.size());
    EXPECT_EQ(DecodeAutomaticLevel(record.data(), size), c.automatic);
    ASSERT_TRUE(DecodeSettingsMessage(record.data(), size));
    EXPECT_EQ(DecodeSettingsMessage(record.data(), size)->DetectionLevel, 2.0);
  }
}

TEST(SettingsMessageClass, DescribesItselfToTheHost) {
  auto cls = MakeCom<SettingsMessageClass>();
  Guid ns;
  std::int32_t local = -1;
  ASSERT_EQ(cls->GetMessageId(&ns, &local), S_OK);
  EXPECT_EQ(ns, kSpiroDocumentGuid);
  EXPECT_EQ(local, 2);
  std::wstring name, group, description;
  ASSERT_EQ(cls->GetClassRecord(&name, &group, &description), S_OK);
  EXPECT_EQ(name, L"SpirometrySettings");
  EXPECT_EQ(group, L"Spirometry");
  EXPECT_EQ(description, L"Sets the spirometry settings found in the Spirometry Settings Dialog");

  struct Param {
    const wchar_t* name;
    std::int32_t type;
    const wchar_t* description;
  };
  const Param params[] = {
      {L"ForcedExpThres", MessageParamType::kDouble, L"ForcedExpThres - forced expiration threshold (in L/s)"},
      {L"DetectionLevel", MessageParamType::kDouble, L"DetectionLevel - fraction of full range"},
      {L"IncludeNonForced", MessageParamType::kBool,
       L"IncludeNonForced - include non-forced breaths in Spirometry report"},
      {L"FlowChannel", MessageParamType::kInt32, L"FlowChannel - flow channel"},
      {L"VolumeChannel", MessageParamType::kInt32, L"VolumeChannel - volume channel"},
      {L"FlowUnitsPrefix", MessageParamType::kInt32,
       L"FlowUnitsPrefix - flow calculation output units prefix ( 6 => uL/s, 7 => mL/s, 8 => L/s,)"},
      {L"NoiseFloor", MessageParamType::kDouble,
       L"NoiseFloor - flow values less than this in absolute value are clamped to 0 (L/s)"},
      {L"ApplyNoiseFloor", MessageParamType::kBool,
       L"ApplyNoiseFloor - if true clamp flows values to zero if outside the noisefloor"},
  };
  std::int32_t count = 0;
  ASSERT_EQ(cls->GetParamCount(&count), S_OK);
  ASSERT_EQ(count, 8);
  std::wstring text;
  ASSERT_EQ(cls->GetParamDescriptionText(&text), S_OK);
  EXPECT_NE(text.find(L"ViewType"), std::wstring::npos);
  for (std::int32_t i = 0; i < count; ++i) {
    std::wstring n, d;
    std::int32_t type = 0;
    double def = -1.0;
    ASSERT_EQ(cls->GetParam(i, &n, &type, &d, &def), S_OK);
    EXPECT_EQ(n, params[i].name);
    EXPECT_EQ(type, params[i].type);
    EXPECT_EQ(d, params[i].description);
    EXPECT_EQ(def, 0.0);
    EXPECT_NE(text.find(std::wstring(L", ") + n), std::wstring::npos);
  }
  std::wstring n, d;
  std::int32_t type = 0;
  double def = 0;
  EXPECT_EQ(cls->GetParam(8, &n, &type, &d, &def), E_INVALIDARG);
}

TEST(SettingsMessages, RecordsReadBackWithWholeWordBooleans) {
  SpConfig v;
  v.ForcedExpThres = 1.25;
  v.DetectionLevel = 0.5;
  v.IncludeNonForced = true;
  v.FlowChannel = 2;
  v.VolumeChannel = 3;
  v.FlowUnitsPrefix = 6;
  v.NoiseFloor = 0.5;
  v.ApplyNoiseFloor = false;

  auto five = EncodeFiveValueMessage(1, v);
  ASSERT_EQ(five.size(), 40u);
  auto read = DecodeFiveValueMessage(five.data(), 40);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->ForcedExpThres, 1.25);
  EXPECT_EQ(read->VolumeChannel, 3);
  EXPECT_EQ(read->FlowUnitsPrefix, 8);  // the older message knows no units
  EXPECT_EQ(read->NoiseFloor, 0.0);
  EXPECT_FALSE(DecodeFiveValueMessage(five.data(), 39));

  auto full = EncodeSettingsMessage(2, v);
  full[53] = 1;  // ApplyNoiseFloor 0x100: true although its low byte is 0
  full[28] = 0;  // IncludeNonForced 0
  auto decoded = DecodeSettingsMessage(full.data(), 56);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->ApplyNoiseFloor);
  EXPECT_FALSE(decoded->IncludeNonForced);
  EXPECT_FALSE(DecodeSettingsMessage(full.data(), 55));
}

}  // namespace
}  // namespace Spirometry
