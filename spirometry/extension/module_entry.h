#pragma once
// The module's registration entry point and the host registries it reaches.
#include "host/com/com_ptr.h"
#include "host/frame/iclass_registry.h"
#include "host/frame/imessage_registry.h"

extern "C" __attribute__((visibility("default"))) int DllRegisterClassObjects();

namespace Spirometry {

// The host's class and message registries, created once per module under a lock; null when the host does
// not offer them (then registrations through them do not happen).
IClassRegistry* ClassRegistry();
IMessageRegistry* MessageRegistry();

}  // namespace Spirometry
