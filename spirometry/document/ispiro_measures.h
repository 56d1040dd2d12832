#pragma once
// The measures of the spirometry document's analysis, described by the document itself: how many measures
// there are of each kind, what each one is (its key, title, unit and how a table shows it) and its value
// for one item of that kind. A front end walks them without knowing them in advance, so a new measure
// needs no new interface.
//
// Implemented by the extension's spirometry document; obtained by QueryInterface on it (the same object that
// answers ISpiroResults). Called on the host's user-interface thread. Every out-pointer must be non-null
// (E_POINTER otherwise). The strings of a SpiroMeasureInfo are the extension's own (UTF-8, NUL-terminated)
// and stay valid while the extension is loaded.
#include <cstdint>

#include "host/com/iunknown.h"

namespace Spirometry {

// What a measure is of. The items of a kind are numbered from 0, in time order.
enum SpiroMeasureKind : std::int32_t {
  kMeasureOfBreath = 0,     // items: the breaths of the analysis
  kMeasureOfManoeuvre = 1,  // items: the forced manoeuvres, one per forced breath
  kMeasureOfTest = 2,       // one item: the test the forced manoeuvres make
  kMeasureOfAnalysis = 3,   // one item: the sums over every breath of the analysis
  kMeasureKindCount = 4
};

// The unit of a measure's number. Volumes are in litres and flows in litres per second whatever the
// channels' unit prefixes; a front end shows them multiplied by the factor of its FlowUnitsPrefix.
enum SpiroMeasureUnit : std::int32_t {
  kUnitNone = 0,
  kUnitLitres = 1,
  kUnitLitresPerSecond = 2,
  kUnitSeconds = 3,
  kUnitPercent = 4,
  kUnitHertz = 5
};

// Where a front end shows a measure (bits of SpiroMeasureInfo::Outputs).
enum SpiroMeasureOutput : std::uint32_t {
  kShowInJson = 1,     // a member of the item's JSON object
  kShowInCsv = 2,      // a column of the CSV files
  kShowInTable = 4,    // a column of the terminal table
  kShowInSection = 8,  // a row of the report's section of the clinical standard
};

struct SpiroMeasureInfo {
  const char* Key;        // the member name in JSON: "FEV1", "TimeZero"
  const char* Title;      // a column's or row's title without its unit: "Time zero"
  const char* Short;      // the terminal table's column title without its unit: "t0"
  std::int32_t Unit;      // SpiroMeasureUnit
  std::int32_t Digits;    // how a table writes the number: significant digits ("%.*g"), or decimals when Fixed
  Bool16 Fixed;           // Digits are decimals ("%.*f")
  std::int32_t Width;     // the terminal table's column width; negative: left-aligned
  std::uint32_t Outputs;  // SpiroMeasureOutput bits
};

// What a value is.
enum SpiroValueType : std::int32_t {
  kValueAbsent = 0,   // the measure does not apply to this item: no member, an empty cell
  kValueMissing = 1,  // it applies but could not be measured: null, an empty cell, "-"
  kValueNumber = 2,   // a number in the measure's unit (not a number when the data held none)
  kValueCount = 3,    // a whole number
  kValueYesNo = 4,    // Number is 1 (yes) or 0 (no)
  kValueLetter = 5,   // Number is the code of one ASCII letter (a grade)
};

struct SpiroMeasureValue {
  std::int32_t Type;  // SpiroValueType
  double Number;
};

}  // namespace Spirometry

struct ISpiroMeasures : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{8C2D5A17-4E3B-4F90-9A61-D07B2E5C8F34}");

  // in: a SpiroMeasureKind. out: how many measures of that kind there are (the same in every call).
  // E_INVALIDARG for an unknown kind.
  virtual HRESULT GetMeasureCount(std::int32_t kind, std::int32_t* count) = 0;  // slot 3
  // in: kind, 0-based index. out: what the measure is. E_INVALIDARG outside the kind's measures.
  virtual HRESULT GetMeasureInfo(std::int32_t kind, std::int32_t index,
                                 Spirometry::SpiroMeasureInfo* info) = 0;  // slot 4
  // in: kind. out: how many items of that kind the current analysis has (call ISpiroResults::EnsureAnalysis
  // first; no breaths and no manoeuvres without one). The forced manoeuvres are measured on the volume
  // channel when first asked for after each analysis.
  virtual HRESULT GetItemCount(std::int32_t kind, std::int32_t* count) = 0;  // slot 5
  // in: kind, measure index, item index. out: the measure's value for that item. E_INVALIDARG outside the
  // measures or the items.
  virtual HRESULT GetMeasureValue(std::int32_t kind, std::int32_t index, std::int32_t item,
                                  Spirometry::SpiroMeasureValue* value) = 0;  // slot 6
};
