#include "soak_support.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "keyboard_harness.h"
#include "test_support.h"

namespace test_support {

SoakTarget::SoakTarget() {
  std::wstring command = L"\"" + ProgramFolder() + L"\\soak_target.exe\" " +
                        std::to_wstring(GetCurrentProcessId());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &process_)) {
    process_ = {};
    return;
  }
  PumpUntil([&] {
    window_ = FindWindowW(L"KorvexSoakTarget", nullptr);
    edit_ = window_ ? GetWindow(window_, GW_CHILD) : nullptr;
    return edit_ != nullptr;
  }, 15000);
  Focus();
  PumpUntil([] { return false; }, 500);
}

SoakTarget::~SoakTarget() {
  if (!process_.hProcess) {
    return;
  }
  if (window_) {
    PostMessageW(window_, WM_CLOSE, 0, 0);
  }
  if (WaitForSingleObject(process_.hProcess, 5000) != WAIT_OBJECT_0) {
    TerminateProcess(process_.hProcess, 1);
  }
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
}

void SoakTarget::Focus() {
  Xdo("search --name '^korvex-soak-target$' windowfocus --sync");
}

std::wstring SoakTarget::Text() const {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(edit_, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000,
                      &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(edit_, WM_GETTEXT, length + 1,
                      reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL, 5000,
                      &copied);
  text.resize(copied);
  return text;
}

void SoakTarget::Clear() {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""),
                      SMTO_NORMAL, 5000, &ignored);
}

Diff Compare(const std::wstring& expected, const std::wstring& actual) {
  const int n = static_cast<int>(expected.size());
  const int m = static_cast<int>(actual.size());
  // Myers' algorithm, keeping each step's furthest reaching paths.
  const int max = n + m;
  std::vector<int> v(2 * max + 2, 0);
  std::vector<std::vector<int>> trace;
  int steps = -1;
  for (int d = 0; d <= max && steps < 0; ++d) {
    trace.push_back(v);
    for (int k = -d; k <= d; k += 2) {
      int x = (k == -d || (k != d && v[max + k - 1] < v[max + k + 1]))
                  ? v[max + k + 1]
                  : v[max + k - 1] + 1;
      int y = x - k;
      while (x < n && y < m && expected[x] == actual[y]) {
        ++x;
        ++y;
      }
      v[max + k] = x;
      if (x >= n && y >= m) {
        steps = d;
        break;
      }
    }
  }
  std::vector<std::pair<int, wchar_t>> removed, added;  // position, unit
  int x = n, y = m;
  for (int d = steps; d > 0; --d) {
    const std::vector<int>& previous = trace[d];
    const int k = x - y;
    const bool down = k == -d || (k != d && previous[max + k - 1] < previous[max + k + 1]);
    const int prev_k = down ? k + 1 : k - 1;
    const int prev_x = previous[max + prev_k];
    const int prev_y = prev_x - prev_k;
    while (x > prev_x && y > prev_y) {
      --x;
      --y;
    }
    if (down) {
      added.push_back({y - 1, actual[y - 1]});
    } else {
      removed.push_back({x - 1, expected[x - 1]});
    }
    x = prev_x;
    y = prev_y;
  }
  Diff diff;
  std::vector<bool> matched(added.size(), false);
  for (const auto& [position, unit] : removed) {
    bool moved = false;
    for (size_t i = 0; i < added.size() && !moved; ++i) {
      if (!matched[i] && added[i].second == unit &&
          std::abs(added[i].first - position) <= 8) {
        matched[i] = moved = true;
      }
    }
    moved ? ++diff.reordered : ++diff.lost;
  }
  for (size_t i = 0; i < added.size(); ++i) {
    if (matched[i]) continue;
    const int at = added[i].first;
    const bool same_as_neighbour =
        (at > 0 && actual[at - 1] == added[i].second) ||
        (at + 1 < m && actual[at + 1] == added[i].second);
    same_as_neighbour ? ++diff.doubled : ++diff.other;
  }
  return diff;
}

void PrintFirstDifference(const char* who, const std::wstring& expected,
                          const std::wstring& actual) {
  std::printf("%s: expected %zu units, the edit holds %zu\n", who,
              expected.size(), actual.size());
  auto show = [](const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
      out += c == L'\r' ? std::string("\\r")
             : c == L'\n' ? std::string("\\n")
             : c == L'\t' ? std::string("\\t")
             : c < 0x80   ? std::string(1, static_cast<char>(c))
                          : std::string("?");
    }
    return out;
  };
  for (size_t i = 0; i <= expected.size() && i <= actual.size(); ++i) {
    if (i == expected.size() || i == actual.size() || expected[i] != actual[i]) {
      const size_t from = i > 20 ? i - 20 : 0;
      std::printf("%s: first difference at %zu:\n  expected \"%s\"\n  actual   \"%s\"\n",
                  who, i, show(expected.substr(from, 40)).c_str(),
                  show(actual.substr(from, 40)).c_str());
      return;
    }
  }
}

size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(),
                       reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof(counters));
  // The private commit, which Windows also reports as PrivateUsage; Wine
  // fills in only this field.
  return counters.PagefileUsage;
}

}  // namespace test_support
