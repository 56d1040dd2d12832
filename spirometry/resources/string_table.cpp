#include "spirometry/resources/string_table.h"

#include <map>
#include <vector>

namespace Spirometry {

namespace {
const std::map<int, const wchar_t*>& Table() {
  static const std::map<int, const wchar_t*> table = {
      {1, L"%1 Volume%2"},
      {2, L"Invalid Setting"},
      {3,
       L"One or more settings are invalid and need correcting. The invalid settings have been marked with a red "
       L"indicator.\n"
       L"Correct these settings before continuing."},
      {8,
       L"The settings in this file were created by an earlier version of Spirometry and have been updated.\n"
       L"Please check that the updated settings are appropriate."},
      {9, L"Settings"},
      {11, L"Selection"},
      {15, L"Spirometry Settings Updated"},
      {16, L"Overall"},
      {18, L"Non-forced breaths"},
      {20, L"Channel not set."},
      {21, L"No valid selection has been made."},
      {22, L"The selected range must all be within a single block."},
      {23, L"The Spirometry extension requires that a valid selection be made."},
      {26, L"Flow"},
      {27, L"Volume"},
      {28, L"Custom..."},
      {29, L"Spirometry Flow"},
      {30, L"None found"},
      {31, L"Channel %1"},
      {32, L"Time"},
      {34, L"Unable to copy to clipboard at present"},
      {35, L"Error"},
      {36, L"No flow channels found."},
      {37, L"No volume channels found."},
      {38, L"The spirometry extension requires that a valid selection be made."},
      {39, L"The selection is across multiple blocks."},
      {41, L"There is no data in the volume channel."},
      {42, L"There is no data in the flow channel."},
      {43, L"The Spirometry extension requires that a valid selection be made."},
      {45, L"Head scale = %1\nNon-linear compensation = %2"},
      {46, L"Final formula: Flow (%1L/s) = %2 x V %3"},
      {48, L"Calculated volume ratio requires a valid selection."},
      {49, L"Calibration requires a valid selection."},
      {50, L"No valid breath cycles within the same block selected."},
      {53, L"Spirometry"},
      {55, L"Flow head information"},
      {57, L"%1 Flow%2"},
      {58, L"Spirometry"},
      {61, L"&Settings..."},
      {64, L"&Flow-Volume Plot"},
      {67, L"&Report"},
      {70, L"&Data Window"},
      {73, L"The blocks selected have differing units."},
      {76, L"&Copy Spirometry Flow-Volume Plot"},
      {77, L"WARNING: The calculated volume ratio above is invalid."},
      {78, L"Spirometry Flow-Volume Plot"},
      {79, L"Spirometry Data"},
      {80,
       L"A units conversion has been applied to the flow data channel.\nThe flow calculation expects the flow head's "
       L"voltage as it was recorded; please check the calculated flow."},
      {83,
       L"The flow data channel is not recorded in volts.\nThe flow calculation expects the voltage of a flow head "
       L"(V, or V with a prefix such as mV); please check the calculated flow."},
      {84, L"&Print Spirometry Flow-Volume Plot"},
      {87, L"Spirometry Report"},
      {90, L"Breath"},
      {91, L"forced"},
      {92, L"single expiration"},
      {94, L"csv"},
      {95, L"Spirometry Report CSV File"},
      {96, L"Export Spirometry Report requires a valid Spirometry analysis.\nNo data will be saved."},
      {97, L"non-forced"},
      {99, L"Spirometry Volume Updated on Channel %1"},
      {101, L"Spirometry Tidal Volume"},
      {102, L"Minute Ventilation"},
      {103, L"Invalid value"},
      {104, L"Value must be a number between %1 and %2"},
      {3101, L"Spirometry settings are needed: choose the flow and volume channels and the detection settings."},
      {3201, L"The report could not be written to the file\n%1"},
      {22022, L"Invalid Value"},
      {22023, L"Value must be in range %1 to %2."},
  };
  return table;
}
}  // namespace

std::wstring LoadString(int id) {
  auto it = Table().find(id);
  return it == Table().end() ? std::wstring() : std::wstring(it->second);
}

std::wstring FormatText(const std::wstring& pattern, std::initializer_list<std::wstring> args) {
  std::vector<std::wstring> a(args);
  std::wstring out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    wchar_t c = pattern[i];
    if (c != L'%' || i + 1 >= pattern.size()) {
      out += c;
      continue;
    }
    wchar_t n = pattern[i + 1];
    if (n == L'%') {
      out += L'%';
      ++i;
    } else if (n >= L'1' && n <= L'9') {
      std::size_t index = static_cast<std::size_t>(n - L'1');
      if (index < a.size()) out += a[index];
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

std::wstring FormatString(int id, std::initializer_list<std::wstring> args) { return FormatText(LoadString(id), args); }

}  // namespace Spirometry
