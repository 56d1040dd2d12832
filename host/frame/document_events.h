#pragma once
// The host document's event set and its codes, and the host's command ids that views handle.
#include "host/com/guid.h"

namespace HostEvents {
// Events the host raises on the documents attached to a data file.
constexpr Guid kDocumentEventSet = Guid::Parse("{3A7D80F0-59D6-11D3-80AE-005004AD3C53}");
// The selection, the channels or the data may have changed.
constexpr std::int32_t kChanged = 0;
// Calculations or settings changed in a way that needs detection to run again.
constexpr std::int32_t kRecalculate = 4;
// The document has been set up on its data file (raised once, after any stored stream was loaded).
constexpr std::int32_t kInitial = static_cast<std::int32_t>(0x80000000u);
}  // namespace HostEvents

namespace HostCommands {
constexpr std::uint32_t kCopy = 0x80010008;
constexpr std::uint32_t kPrint = 0x8001000B;
constexpr std::uint32_t kPrintSetup = 0x8001000C;
// Print preview of the view's printout (the desktop host's File > Print Preview).
constexpr std::uint32_t kPrintPreview = 0x8001000D;
// Notification asking a view for its preferred size.
constexpr std::uint32_t kSizeQuery = 0x80080002;
}  // namespace HostCommands

// The kind of persistent object a document is asked for when the host stores it with the data file.
constexpr std::int32_t kPersistKindStream = 2;
// Send flag: deliver the message now instead of queueing it.
constexpr std::uint32_t kSendImmediately = 0x20;
