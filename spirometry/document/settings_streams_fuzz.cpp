// Feeds arbitrary bytes as the stored settings of a recording, the way a damaged .kymo file presents them
// when it is opened: the spirometry document's settings stream and the settings streams of the flow and
// volume calculations on channels 2 and 3 (the first two bytes say where the three parts split). Opening,
// choosing channels and analysing must not crash, leak or overrun, and the document must end with
// settings within their ranges.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "host/frame/host_document.h"
#include "spirometry/calc/calc_class_ids.h"
#include "spirometry/document/ispiro_document.h"
#include "spirometry/document/ispiro_results.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/extension/test_host.h"

namespace {

std::shared_ptr<kymora::DataFile> Recording(std::vector<std::uint8_t> document, std::vector<std::uint8_t> flow,
                                            std::vector<std::uint8_t> volume) {
  auto file = std::make_shared<kymora::DataFile>();
  file->AddChannel(L"Raw flow");
  file->AddChannel(L"Flow");
  file->AddChannel(L"Volume");
  file->AddBlock(0.01, 800);
  kymora::Samples volts(800);
  for (std::size_t i = 0; i < volts.size(); ++i) volts[i] = static_cast<float>(0.02 * std::sin(i * 0.0314));
  file->SetSamples(0, 0, L"V", 0.2, std::move(volts));
  file->channels[1].calculation = kymora::StoredCalculation{Spirometry::kSpFlowClassId, std::move(flow)};
  file->channels[2].calculation = kymora::StoredCalculation{Spirometry::kSpVolClassId, std::move(volume)};
  file->documentStreams[Spirometry::kSpiroDocumentGuid.ToString()] = std::move(document);
  file->selection = {true, {0, 0}, {800, 0}};
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static auto registry = Spirometry::testing::InstallModuleClasses();
  IUnknown* documentClass = Spirometry::FrameClassSlot(Spirometry::FrameClass::kDocument)();
  registry->RegisterClassObject(documentClass);
  documentClass->Release();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t first = std::min<std::size_t>(data[0], size - 2),
                    second = std::min<std::size_t>(data[1], size - 2 - first);
  const std::uint8_t* body = data + 2;
  const std::uint8_t* end = data + size;
  auto file = Recording({body, body + first}, {body + first, body + first + second}, {body + first + second, end});
  auto silent = [](const std::wstring&, const std::wstring&, std::uint32_t) { return 1; };
  std::vector<std::string> warnings;
  auto host = kymora::HostDocument::FromFile(file, "fuzz.kymo", silent, &warnings);
  auto document = host->Frame().Document(Spirometry::kSpiroDocumentGuid);
  if (!document) return 0;
  auto results = document->As<ISpiroResults>();
  if (!results) std::abort();
  Bool16 ok = kFalse16;
  std::wstring message;
  results->EnsureAnalysis(&ok, &message);
  Spirometry::SpiroSettingsRecord settings{};
  results->GetSettings(&settings);
  if (!(settings.DetectionLevel >= 0.01 && settings.DetectionLevel <= 10.0) ||
      !(settings.ForcedExpThres >= 0.1 && settings.ForcedExpThres <= 10.0) ||
      !(settings.NoiseFloor >= 0.0 && std::isfinite(settings.NoiseFloor)) ||
      !(settings.FlowUnitsPrefix >= 6 && settings.FlowUnitsPrefix <= 8))
    std::abort();
  return 0;
}
