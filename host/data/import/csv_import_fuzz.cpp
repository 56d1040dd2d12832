// Feeds arbitrary bytes to the CSV importer, once as they would come without options and once with --rate
// and --range, and checks what a caller relies on: a success is a consistent file, a refusal names the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/data/import/recording_importer.h"

using namespace kymora::import;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ImportOptions plain;
  ImportOptions withRate;
  withRate.rateHz = 250.0;
  withRate.ranges[1] = 2.0;
  for (const auto* options : {&plain, &withRate}) {
    auto result = ImportCsvText(text, "fuzz.csv", *options);
    if (result) {
      const auto& file = result->file;
      if (file.Check() || file.ChannelCount() < 1 || file.BlockCount() < 1) std::abort();
      for (const auto& block : file.blocks)
        if (block.length < 1) std::abort();
    } else if (result.ErrorMessage().rfind("fuzz.csv", 0) != 0) {
      std::abort();
    }
  }
  return 0;
}
