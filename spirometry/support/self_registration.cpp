#include "spirometry/support/self_registration.h"

namespace Qor {

namespace {
// Constant-initialised, so the heads are null before any static constructor of the module runs.
ClassObjectNode* gClassHead = nullptr;
MessageNode* gMessageHead = nullptr;
}  // namespace

ClassObjectNode::ClassObjectNode(Getter getter) : mGetter(getter), mNext(gClassHead) { gClassHead = this; }
ClassObjectNode* ClassObjectNode::Head() { return gClassHead; }

MessageNode::MessageNode(Getter getter) : mGetter(getter), mNext(gMessageHead) { gMessageHead = this; }
MessageNode* MessageNode::Head() { return gMessageHead; }

}  // namespace Qor
