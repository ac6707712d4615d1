#include "context/focused_control.h"

#include <oleauto.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "common/message_wait.h"
#include "common/text_conversion.h"

namespace {

// Touched by the query thread only.
IUIAutomation* uia_instance = nullptr;
bool uia_creation_attempted = false;

struct UiaQuery {
  std::function<void()> run;
  HANDLE done = nullptr;
  // Set by the caller that stopped waiting: a stale query is not run.
  std::atomic<bool> abandoned{false};
  ~UiaQuery() {
    if (done) {
      CloseHandle(done);
    }
  }
};

// Lives as long as the process, like the thread that serves it.
struct UiaQueue {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::shared_ptr<UiaQuery>> queries;
  bool thread_started = false;
};

UiaQueue& Queue() {
  static UiaQueue* queue = new UiaQueue();
  return *queue;
}

void ServeQueries() {
  // UI Automation clients belong in the multithreaded apartment; the thread
  // keeps it for the life of the process, as the instance lives.
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  UiaQueue& queue = Queue();
  for (;;) {
    std::shared_ptr<UiaQuery> query;
    {
      std::unique_lock<std::mutex> lock(queue.mutex);
      queue.wake.wait(lock, [&] { return !queue.queries.empty(); });
      query = std::move(queue.queries.front());
      queue.queries.pop_front();
    }
    if (!query->abandoned) {
      query->run();
    }
    SetEvent(query->done);
  }
}

// The last query given up on, main thread only: while it has not ended,
// the query thread hangs in a target that does not answer.
std::shared_ptr<UiaQuery> given_up;

// Runs |run| on the query thread; true when it ended in time. On false the
// query may still run later, so |run| owns whatever it writes.
bool RunQuery(std::function<void()> run) {
  if (given_up && WaitForSingleObject(given_up->done, 0) != WAIT_OBJECT_0) {
    return false;
  }
  given_up.reset();
  auto query = std::make_shared<UiaQuery>();
  query->run = std::move(run);
  query->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!query->done) {
    return false;
  }
  UiaQueue& queue = Queue();
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    if (!queue.thread_started) {
      try {
        std::thread(ServeQueries).detach();
      } catch (...) {
        return false;
      }
      queue.thread_started = true;
    }
    queue.queries.push_back(query);
  }
  queue.wake.notify_one();
  if (WaitServingSentMessages(query->done, kUiaAnswerTimeoutMs)) {
    return true;
  }
  query->abandoned = true;
  given_up = query;
  return false;
}

IUIAutomationElement* FocusedElement() {
  IUIAutomation* automation = GetUiAutomation();
  IUIAutomationElement* element = nullptr;
  if (!automation || FAILED(automation->GetFocusedElement(&element))) {
    return nullptr;
  }
  return element;
}

bool UiaSaysPassword() {
  IUIAutomationElement* element = FocusedElement();
  if (!element) {
    return false;
  }
  VARIANT value;
  VariantInit(&value);
  const bool password =
      SUCCEEDED(element->GetCurrentPropertyValue(uia::kIsPasswordPropertyId,
                                                 &value)) &&
      value.vt == VT_BOOL && value.boolVal == VARIANT_TRUE;
  VariantClear(&value);
  element->Release();
  return password;
}

std::string UiaSelection() {
  std::string text;
  IUIAutomationElement* element = FocusedElement();
  if (!element) {
    return text;
  }
  IUIAutomationTextPattern* pattern = nullptr;
  if (FAILED(element->GetCurrentPatternAs(
          uia::kTextPatternId, uia::kIidIUIAutomationTextPattern,
          reinterpret_cast<void**>(&pattern))) ||
      !pattern) {
    element->Release();
    return text;
  }
  IUIAutomationTextRangeArray* ranges = nullptr;
  if (FAILED(pattern->GetSelection(&ranges)) || !ranges) {
    pattern->Release();
    element->Release();
    return text;
  }
  int count = 0;
  ranges->get_Length(&count);
  for (int i = 0; i < count; ++i) {
    IUIAutomationTextRange* range = nullptr;
    if (FAILED(ranges->GetElement(i, &range)) || !range) {
      continue;
    }
    BSTR part = nullptr;
    if (SUCCEEDED(range->GetText(-1, &part)) && part) {
      text += Utf8FromUtf16(std::wstring(part, SysStringLen(part)));
      SysFreeString(part);
    }
    range->Release();
  }
  ranges->Release();
  pattern->Release();
  element->Release();
  return text;
}

bool FocusIsPasswordEdit() {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(0, &info) || !info.hwndFocus) {
    return false;
  }
  wchar_t name[16] = {};
  if (GetClassNameW(info.hwndFocus, name, 16) == 0 ||
      _wcsicmp(name, L"Edit") != 0) {
    return false;
  }
  return (GetWindowLongW(info.hwndFocus, GWL_STYLE) & ES_PASSWORD) != 0;
}

}  // namespace

IUIAutomation* GetUiAutomation() {
  if (uia_instance) {
    return uia_instance;
  }
  if (uia_creation_attempted) {
    return nullptr;
  }
  uia_creation_attempted = true;
  void* instance = nullptr;
  if (FAILED(CoCreateInstance(uia::kClsidCuiAutomation, nullptr,
                              CLSCTX_INPROC_SERVER, uia::kIidIUIAutomation,
                              &instance))) {
    return nullptr;
  }
  uia_instance = static_cast<IUIAutomation*>(instance);
  return uia_instance;
}

std::optional<bool> IsPasswordFieldFocused() {
  auto password = std::make_shared<bool>(false);
  const bool answered = RunQuery([password] { *password = UiaSaysPassword(); });
  if ((answered && *password) || FocusIsPasswordEdit()) {
    return true;
  }
  // No answer is no "no": a password field must not be taken for text.
  return answered ? std::optional<bool>(false) : std::nullopt;
}

std::string UiaSelectedText() {
  auto text = std::make_shared<std::string>();
  if (!RunQuery([text] { *text = UiaSelection(); })) {
    return std::string();
  }
  return *text;
}
