#pragma once
// The classes the registration entry point creates and registers after the static class objects, in this
// order: the document class, the CSV save class, the data-window, flow-volume and report view classes.
// Each is filled in by the file that implements the class; an empty slot registers nothing.
#include "host/com/iunknown.h"

namespace Spirometry {

// Creates the class object with one reference for the caller, or returns null when allocation fails.
using FrameClassCreator = IUnknown* (*)();

enum class FrameClass { kDocument, kCsvSave, kDataView, kFlowVolumeView, kReportView, kCount };

FrameClassCreator& FrameClassSlot(FrameClass which);

// Fills a slot at module load: static Spirometry::FrameClassRegistration gReport(FrameClass::kReportView, &Create);
struct FrameClassRegistration {
  FrameClassRegistration(FrameClass which, FrameClassCreator creator) { FrameClassSlot(which) = creator; }
};

}  // namespace Spirometry
