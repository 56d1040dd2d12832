#include "host/frame/document_frame.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/calc/channel_data.h"
#include "host/com/binary_stream.h"
#include "host/com/memory_stream.h"
#include "host/frame/document_events.h"
#include "host/frame/host_registry.h"

using namespace kymora;

namespace {
constexpr Guid kDocType = Guid::Parse("{11111111-0000-0000-0000-0000000000D0}");
constexpr Guid kViewId = Guid::Parse("{11111111-0000-0000-0000-0000000000E0}");
std::vector<std::string>* gLog = nullptr;
void Log(std::string s) {
  if (gLog) gLog->push_back(std::move(s));
}

class FakeSettings final : public ComObject<IPersistStreamInit> {
 public:
  std::int32_t value = 0;
  HRESULT GetClassID(Guid* id) override {
    *id = kDocType;
    return S_OK;
  }
  HRESULT IsDirty() override { return S_FALSE; }
  HRESULT Load(IStream* s) override {
    BinaryStream b(s);
    std::int32_t v = 0;
    b.ReadInt32(v);
    if (!b.Ok() || v < 0) return E_FAIL;
    value = v;
    return S_OK;
  }
  HRESULT Save(IStream* s, Bool16) override { return BinaryStream(s).WriteInt32(value).Status(); }
  HRESULT GetSizeMax(std::uint64_t*) override { return E_NOTIMPL; }
  HRESULT InitNew() override { return S_OK; }
};

class FakeDoc final : public ComObject<ICustomDocument> {
 public:
  explicit FakeDoc(IHostDocument* host) : host(host) {}
  ComPtr<IHostDocument> host;
  ComPtr<FakeSettings> settings = MakeCom<FakeSettings>();
  HRESULT GetDocumentType(Guid* t) override {
    *t = kDocType;
    return S_OK;
  }
  HRESULT OnEvent(const Guid&, std::int32_t code) override {
    Log("doc event " + std::to_string(code) + " settings " + std::to_string(settings->value));
    return S_OK;
  }
  HRESULT ExecuteCommand(std::uint32_t id) override {
    if (id != 42) return S_FALSE;
    Log("doc command 42");
    std::int32_t record[2] = {7, 0};
    host->PostMessage(this, record, sizeof record, 0);  // queued: handled after this command
    Log("posted");
    return host->OpenView(kViewId, this);
  }
  HRESULT UpdateCommand(std::uint32_t, Bool16*) override { return S_FALSE; }
  HRESULT HandleMessage(const void* r, std::int32_t size) override {
    std::int32_t id;
    std::memcpy(&id, r, 4);
    Log("doc message " + std::to_string(id) + " size " + std::to_string(size));
    if (size >= 16) {
      double a;
      std::memcpy(&a, static_cast<const char*>(r) + 8, 8);
      Log("A=" + std::to_string(a));
    }
    return S_OK;
  }
  HRESULT GetPersistentObject(std::int32_t kind, IPersist** out) override {
    *out = nullptr;
    if (kind != kPersistKindStream) return S_FALSE;
    return settings->QueryInterface(IPersist::kIid, reinterpret_cast<void**>(out));
  }
  HRESULT Close() override {
    host.Reset();
    Log("doc closed");
    return S_OK;
  }
};

class FakeDocClass final : public ComObject<ICustomDocClass> {
 public:
  HRESULT GetClassInfo(Guid* id, std::wstring* name, Guid* type) override {
    *id = Guid{};
    *name = L"FakeDoc";
    *type = kDocType;
    return S_OK;
  }
  HRESULT CreateDocument(IHostDocument* host, ICustomDocument** doc) override {
    *doc = MakeCom<FakeDoc>(host).Detach();
    return S_OK;
  }
  HRESULT AddMenus(IMenuService*) override { return S_OK; }
};

class FakeView final : public ComObject<IDocView> {
 public:
  HRESULT Setup() override {
    Log("view setup");
    return S_OK;
  }
  HRESULT OnEvent(const Guid&, std::int32_t code) override {
    Log("view event " + std::to_string(code));
    return S_OK;
  }
  HRESULT ExecuteCommand(std::uint32_t) override { return S_FALSE; }
  HRESULT GetCommandText(std::uint32_t, std::wstring*) override { return S_FALSE; }
  HRESULT GetPreferredSize(std::int32_t* w, std::int32_t* h) override {
    *w = 300;
    *h = 200;
    return S_OK;
  }
  HRESULT Close() override {
    Log("view closed");
    return S_OK;
  }
};

class FakeViewClass final : public ComObject<IDocViewClass> {
 public:
  HRESULT GetViewInfo(Guid* id, std::wstring* name, Guid* category) override {
    *id = kViewId;
    *name = L"Fake view";
    *category = Guid{};
    return S_OK;
  }
  HRESULT CreateView(ICustomDocument*, IHostDocument*, IDocView** view) override {
    *view = MakeCom<FakeView>().Detach();
    return S_OK;
  }
};

// A message "Poke" with one double A (default 0) in a 16-byte record: id, reserved, A.
class FakeMessageClass final : public ComObject<IMessageClass> {
 public:
  HRESULT GetMessageId(Guid* ns, std::int32_t* local) override {
    *ns = kDocType;
    *local = 3;
    return S_OK;
  }
  HRESULT GetClassRecord(std::wstring* name, std::wstring* group, std::wstring* description) override {
    *name = L"Poke";
    *group = L"Fake";
    *description = L"Pokes the fake document";
    return S_OK;
  }
  HRESULT GetParamCount(std::int32_t* n) override {
    *n = 1;
    return S_OK;
  }
  HRESULT GetParam(std::int32_t i, std::wstring* name, std::int32_t* type, std::wstring* d, double* def) override {
    if (i != 0) return E_INVALIDARG;
    *name = L"A";
    *type = MessageParamType::kDouble;
    *d = L"A - a number";
    *def = 0;
    return S_OK;
  }
  HRESULT BuildMessage(std::uint32_t id, std::int32_t count, const MessageValue* values,
                       std::vector<std::uint8_t>* record) override {
    double a = 0;
    for (std::int32_t i = 0; i < count; ++i) {
      if (std::wstring(values[i].name) != L"A") return E_INVALIDARG;
      a = values[i].value;
    }
    record->assign(16, 0);
    std::memcpy(record->data(), &id, 4);
    std::memcpy(record->data() + 8, &a, 8);
    return S_OK;
  }
  HRESULT GetParamDescriptionText(std::wstring* t) override {
    *t = L"A";
    return S_OK;
  }
};

struct DocumentFrameTest : ::testing::Test {
  std::vector<std::string> log;
  std::vector<std::wstring> boxes;
  ComPtr<HostRegistry> registry = MakeCom<HostRegistry>();
  std::shared_ptr<DataFile> file = std::make_shared<DataFile>();
  ComPtr<ChannelData> data;
  ComPtr<DocumentFrame> frame;
  void SetUp() override {
    gLog = &log;
    registry->RegisterClassObject(MakeCom<FakeDocClass>().Get());
    registry->RegisterClassObject(MakeCom<FakeViewClass>().Get());
    registry->RegisterMessageClass(0, MakeCom<FakeMessageClass>().Get());
    data = MakeCom<ChannelData>(file, HostServices{});
    frame = MakeCom<DocumentFrame>(data.Get(), registry.Get(),
                                   [this](const std::wstring& t, const std::wstring&, std::uint32_t) {
                                     boxes.push_back(t);
                                     return 1;
                                   });
  }
  void TearDown() override {
    frame->Shutdown();
    data->Shutdown();
    gLog = nullptr;
  }
};
}  // namespace

TEST_F(DocumentFrameTest, CreatesOneDocumentPerTypeLoadingItsStreamBeforeTheInitialEvent) {
  file->documentStreams[kDocType.ToString()] = {5, 0, 0, 0};
  auto doc = frame->Document(kDocType);
  ASSERT_TRUE(doc) << doc.ErrorMessage();
  auto again = frame->Document(kDocType);
  EXPECT_EQ(doc->Get(), again->Get());
  EXPECT_EQ(log, (std::vector<std::string>{"doc event -2147483648 settings 5"}));
  // A loaded stream counts as attached: it is written back on save.
  static_cast<FakeDoc*>(doc->Get())->settings->value = 9;
  ASSERT_TRUE(frame->StoreDocumentStreams(*file));
  EXPECT_EQ(file->documentStreams[kDocType.ToString()], (std::vector<std::uint8_t>{9, 0, 0, 0}));
  EXPECT_FALSE(frame->Document(Guid::Parse("{99999999-0000-0000-0000-000000000000}")));
}

TEST_F(DocumentFrameTest, UnreadableStreamIsKeptAndReported) {
  std::vector<std::uint8_t> damaged = {0xFF, 0xFF, 0xFF, 0xFF};
  file->documentStreams[kDocType.ToString()] = damaged;
  ASSERT_TRUE(frame->Document(kDocType));
  EXPECT_EQ(boxes.size(), 1u);
  ASSERT_TRUE(frame->StoreDocumentStreams(*file));
  EXPECT_EQ(file->documentStreams[kDocType.ToString()], damaged) << "not attached, so not overwritten";
}

TEST_F(DocumentFrameTest, CommandsQueueMessagesAndEventsReachDocumentsBeforeViews) {
  auto doc = frame->Document(kDocType);
  log.clear();
  EXPECT_EQ(frame->ExecuteCommand(41), S_FALSE);
  EXPECT_EQ(frame->ExecuteCommand(42), S_OK);
  EXPECT_EQ(frame->IsViewOpen(kViewId, doc->Get()), S_OK);
  frame->RaiseHostEvent(HostEvents::kChanged);
  EXPECT_EQ(log, (std::vector<std::string>{"doc command 42", "posted", "view setup", "doc message 7 size 8",
                                           "doc event 0 settings 0", "view event 0"}));
}

TEST_F(DocumentFrameTest, ScriptMessagesAreBuiltByTheirClassAndSentAtOnce) {
  ASSERT_TRUE(frame->Document(kDocType));
  log.clear();
  ASSERT_TRUE(frame->SendScriptMessage(L"Poke", {{L"A", 2.5}}));
  ASSERT_TRUE(frame->SendScriptMessage(L"Poke", {}));
  std::uint16_t index = 0;
  frame->GetNamespaceIndex(kDocType, &index);
  auto id = std::to_string((index << 16) | 3);
  EXPECT_EQ(log, (std::vector<std::string>{"doc message " + id + " size 16", "A=2.500000",
                                           "doc message " + id + " size 16", "A=0.000000"}));
  EXPECT_FALSE(frame->SendScriptMessage(L"Poke", {{L"B", 1}}));
  EXPECT_FALSE(frame->SendScriptMessage(L"Nudge", {}));
}

TEST_F(DocumentFrameTest, ShutdownClosesViewsThenDocuments) {
  auto doc = frame->Document(kDocType);
  frame->ExecuteCommand(42);
  log.clear();
  frame->Shutdown();
  EXPECT_EQ(log, (std::vector<std::string>{"view closed", "doc closed"}));
  EXPECT_FALSE(frame->Document(kDocType));
}
