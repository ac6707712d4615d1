#ifndef KORVEX_TESTS_BENCH_SOAK_SUPPORT_H_
#define KORVEX_TESTS_BENCH_SOAK_SUPPORT_H_

// What the long runs share: the second program with its editor, what the
// editor holds against what it should, and the host's private bytes.

#include <windows.h>

#include <cstddef>
#include <string>

namespace test_support {

// soak_target.exe, started and shown; closed with the object.
class SoakTarget {
 public:
  SoakTarget();
  ~SoakTarget();
  bool ready() const { return edit_ != nullptr; }
  HWND edit() const { return edit_; }
  // Gives its editor the X focus.
  void Focus();
  // What its editor holds; the editor is another process's.
  std::wstring Text() const;
  void Clear();

 private:
  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
};

struct Diff {
  int lost = 0;
  int doubled = 0;
  int reordered = 0;
  int other = 0;
  int total() const { return lost + doubled + reordered + other; }
};

// Classifies the differences of the shortest edit script: a unit missing
// is lost, one more equal to its neighbour is doubled, a unit missing here
// and found again within a few places is reordered.
Diff Compare(const std::wstring& expected, const std::wstring& actual);

// Prints where the two first part, prefixed with |who|.
void PrintFirstDifference(const char* who, const std::wstring& expected,
                          const std::wstring& actual);

// This process's private commit.
size_t PrivateBytes();

}  // namespace test_support

#endif  // KORVEX_TESTS_BENCH_SOAK_SUPPORT_H_
