// The focused control through the product's real CoCreateInstance. Wine has no
// UI Automation server, so a test implementation is registered under the
// published class id in the apartment the queries run in.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "context/focused_control.h"
#include "keyboard_harness.h"
#include "test_support.h"

using flutter_app::AppMessenger;
using namespace test_support;

// The test implementation fills the slots of the project's own declarations;
// the SDK's interfaces have many more.
#if !defined(_MSC_VER)

namespace {

// What the test implementation answers; set by the test between calls.
struct Script {
  // The step that breaks (0 the focused element, 1 its text pattern, 2 the
  // selection) and how: E_FAIL, or S_OK with no object.
  int broken = -1;
  HRESULT broken_by = E_FAIL;
  VARTYPE type = VT_BOOL;
  bool password = false;
  std::vector<std::wstring> ranges = {};
  int failing_range = -1;  // GetElement fails here
  int failing_text = -1;   // GetText fails here
  HANDLE hold = nullptr;   // a hung target: GetFocusedElement waits on it
};
Script script;
std::atomic<int> live_objects{0}, instances_created{0}, hung_queries{0};
std::atomic<bool> focus_query_returned{false};
HANDLE focus_query_entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);

#define NOT_CALLED(name) \
  HRESULT STDMETHODCALLTYPE name() override { return E_NOTIMPL; }

// One class plays every part the product meets, one object per part: the
// factory, the automation instance, the focused element, its text pattern,
// the selection, and each range of it (|index_| into script.ranges).
class Fake : public IClassFactory,
             public IUIAutomation,
             public IUIAutomationElement,
             public IUIAutomationTextPattern,
             public IUIAutomationTextRangeArray,
             public IUIAutomationTextRange {
 public:
  explicit Fake(int index = -1) : index_(index) { ++live_objects; }
  virtual ~Fake() { --live_objects; }
  // Only the factory and the automation instance are asked for one.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    *out = riid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    if (riid == IID_IUnknown || riid == uia::kIidIUIAutomation) {
      *out = static_cast<IUIAutomation*>(this);
    }
    return *out ? AddRef(), S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // COM asks the instance for the interface itself.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** out) override {
    ++instances_created;
    *out = static_cast<IUIAutomation*>(new Fake());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  NOT_CALLED(CompareElements) NOT_CALLED(CompareRuntimeIds) NOT_CALLED(GetRootElement)
  NOT_CALLED(ElementFromHandle) NOT_CALLED(ElementFromPoint) NOT_CALLED(SetFocus)
  NOT_CALLED(GetRuntimeId) NOT_CALLED(FindFirst) NOT_CALLED(FindAll) NOT_CALLED(FindText)
  NOT_CALLED(FindFirstBuildCache) NOT_CALLED(FindAllBuildCache) NOT_CALLED(BuildUpdatedCache)
  NOT_CALLED(GetCurrentPropertyValueEx) NOT_CALLED(GetCachedPropertyValue) NOT_CALLED(Clone)
  NOT_CALLED(GetCachedPropertyValueEx) NOT_CALLED(RangeFromPoint) NOT_CALLED(RangeFromChild)
  NOT_CALLED(Compare) NOT_CALLED(CompareEndpoints) NOT_CALLED(ExpandToEnclosingUnit)
  NOT_CALLED(FindAttribute) NOT_CALLED(GetAttributeValue) NOT_CALLED(GetBoundingRectangles)
  NOT_CALLED(GetEnclosingElement)

  HRESULT STDMETHODCALLTYPE GetFocusedElement(IUIAutomationElement** element) override {
    if (script.hold) {
      focus_query_returned = false;
      ++hung_queries;
      SetEvent(focus_query_entered);
      WaitForSingleObject(script.hold, 4 * kUiaAnswerTimeoutMs);
      focus_query_returned = true;
    }
    *element = script.broken == 0 ? nullptr : new Fake();
    return script.broken == 0 ? script.broken_by : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCurrentPropertyValue(int id, VARIANT* value) override {
    if (id != uia::kIsPasswordPropertyId) return E_INVALIDARG;
    value->vt = script.type;
    // As a boolean, or -1 in a 4-byte integer.
    value->lVal = script.type != VT_BOOL ? -1 : script.password ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCurrentPatternAs(int id, REFIID riid, void** pattern) override {
    *pattern = nullptr;
    if (id != uia::kTextPatternId || riid != uia::kIidIUIAutomationTextPattern) return E_INVALIDARG;
    if (script.broken == 1) return script.broken_by;
    *pattern = static_cast<IUIAutomationTextPattern*>(new Fake());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSelection(IUIAutomationTextRangeArray** ranges) override {
    *ranges = script.broken == 2 ? nullptr : new Fake();
    return script.broken == 2 ? script.broken_by : S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Length(int* length) override {
    *length = static_cast<int>(script.ranges.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetElement(int index, IUIAutomationTextRange** range) override {
    *range = index == script.failing_range ? nullptr : new Fake(index);
    return *range ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE GetText(int max_length, BSTR* text) override {
    *text = nullptr;
    if (index_ == script.failing_text || max_length != -1) return E_FAIL;
    const std::wstring& range = script.ranges.at(index_);
    *text = SysAllocStringLen(range.data(), static_cast<UINT>(range.size()));
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
  int index_;
};

// Registers the class in the multithreaded apartment once: its thread keeps
// it for good (a revocation while a query holds the instance hangs Wine).
bool RegisterFakeServer() {
  static const bool registered = [] {
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread([done] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      auto* factory = new Fake();
      DWORD cookie = 0;
      if (SUCCEEDED(CoRegisterClassObject(
              uia::kClsidCuiAutomation, static_cast<IClassFactory*>(factory),
              CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie))) {
        SetEvent(done);
      }
      factory->Release();
      Sleep(INFINITE);
    }).detach();
    return WaitForSingleObject(done, 5000) == WAIT_OBJECT_0;
  }();
  return registered;
}

// The reply's value as text: "true", "false", "none" or the string.
std::string Answer(KeyboardHarness& h, AppMessenger& app, const char* method) {
  const flutter_app::Reply reply = h.Call(app, method);
  if (reply.kind != flutter_app::Reply::Kind::kSuccess) return "<failed>";
  if (const bool* value = std::get_if<bool>(&reply.value)) return *value ? "true" : "false";
  if (const std::string* value = std::get_if<std::string>(&reply.value)) return *value;
  return std::holds_alternative<std::monostate>(reply.value) ? "none" : "<other>";
}

}  // namespace

TEST(FocusedControlTest, PasswordAndSelectionThroughUiAutomation) {
  ASSERT_TRUE(RegisterFakeServer());
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  // A local "EDIT": the class name in capitals.
  const WNDCLASSW upper = {0, DefWindowProcW, 0, 0, GetModuleHandleW(nullptr),
                           nullptr, nullptr, nullptr, nullptr, L"EDIT"};
  RegisterClassW(&upper);
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    auto password = [&] { return Answer(h, app, "isPasswordFieldFocused"); };
    auto selected = [&] { return Answer(h, app, "uiaSelectedText"); };

    // A hung target: the reply comes when the wait gives up, and a sent
    // message (as a hook call reaches the main thread) is served while the
    // query still hangs, not after the wait.
    script = {.password = true, .hold = CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool sent_served = false;
    std::thread sender([&] {
      sent_served = WaitForSingleObject(focus_query_entered, 10000) == WAIT_OBJECT_0 &&
                    SendMessageTimeoutW(h.edit(), WM_NULL, 0, 0, SMTO_NORMAL,
                                        kUiaAnswerTimeoutMs / 2, nullptr);
    });
    // Asked again while that one still hangs: no answer at once, not after
    // a wait of its own behind it (five waits outlast the hang, and the
    // query asked after it hangs again).
    for (int i = 0; i < 6; ++i) EXPECT_EQ(password(), "none");
    EXPECT_EQ(hung_queries, 1);
    SetEvent(script.hold);
    sender.join();
    EXPECT_TRUE(sent_served);
    // Once the target answers again, so does the query thread.
    PumpUntil([] { return focus_query_returned.load(); }, 5000);
    app.RunPending(100);  // the query's last steps after the target returned
    script.hold = nullptr;
    EXPECT_EQ(password(), "true");
    script.password = false;
    // A "no" leaves the answer to the focused control's style, for "Edit"
    // in any letter case only.
    for (const wchar_t* name : {L"EDIT", L"STATIC"}) {
      HWND control = nullptr;
      h.OnMain([&] {
        control = CreateWindowExW(0, name, L"", WS_CHILD | WS_VISIBLE | ES_PASSWORD, 0, 0,
                                  50, 20, GetParent(h.edit()), nullptr, upper.hInstance,
                                  nullptr);
        SetFocus(control);
      });
      EXPECT_EQ(password(), name[1] == L'D' ? "true" : "false") << name;
      h.OnMain([&] { DestroyWindow(control); });
    }
    script.type = VT_I4;  // -1, but not a boolean
    EXPECT_EQ(password(), "false");

    // A failing range or text is left out; the others still count.
    script = {.ranges = {L"ab", L"\U0001F600c"}};
    const std::pair<int, int> failing[] = {{-1, -1}, {0, -1}, {-1, 1}};
    const char* const kept[] = {"ab\xf0\x9f\x98\x80" "c", "\xf0\x9f\x98\x80" "c", "ab"};
    for (int i = 0; i < 3; ++i) {
      std::tie(script.failing_range, script.failing_text) = failing[i];
      EXPECT_EQ(selected(), kept[i]) << i;
    }
    // Each step broken by a failure, then by a success without an object.
    for (int step = 0; step < 6; ++step) {
      script.broken = step / 2, script.broken_by = step % 2 ? S_OK : E_FAIL;
      EXPECT_EQ(selected(), "") << step;
    }
    EXPECT_EQ(live_objects, 2);  // the registered factory and the one instance
  }));
  EXPECT_EQ(instances_created, 1);
  // The local "EDIT" would shadow the system's edit control for later tests.
  UnregisterClassW(L"EDIT", upper.hInstance);
}

// Run in a process of its own: creation is tried once per process.
TEST(UiaUnavailableTest, CreationFailsOnceAndTheEditStyleAnswers) {
  if (instances_created > 0) GTEST_SKIP() << "needs a process of its own";
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    EXPECT_EQ(Answer(h, app, "isPasswordFieldFocused"), "false");
    RegisterFakeServer();  // not tried again
    h.OnMain([&] {
      SetWindowLongW(h.edit(), GWL_STYLE, GetWindowLongW(h.edit(), GWL_STYLE) | ES_PASSWORD);
    });
    EXPECT_EQ(Answer(h, app, "isPasswordFieldFocused"), "true");
  }));
  EXPECT_EQ(instances_created, 0);
}

#endif  // !defined(_MSC_VER)
