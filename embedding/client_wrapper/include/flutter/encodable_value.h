#ifndef FLUTTER_ENCODABLE_VALUE_H_
#define FLUTTER_ENCODABLE_VALUE_H_

#include <any>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#if __cplusplus >= 202002L || (defined(_MSVC_LANG) && _MSVC_LANG >= 202002L)
#include <compare>
#define FLUTTER_ENCODABLE_VALUE_HAS_SPACESHIP 1
#endif

namespace flutter {

static_assert(sizeof(double) == 8, "EncodableValue requires a 64-bit double");

// A value the codec does not know, carried through a custom serializer.
class CustomEncodableValue {
 public:
  explicit CustomEncodableValue(const std::any& value) : value_(value) {}
  ~CustomEncodableValue() = default;

  operator std::any&() { return value_; }
  operator const std::any&() const { return value_; }

  const std::type_info& type() const noexcept { return value_.type(); }

  // Identity comparison: the contents have no order of their own.
  bool operator==(const CustomEncodableValue& other) const {
    return this == &other;
  }
  bool operator!=(const CustomEncodableValue& other) const {
    return this != &other;
  }
  bool operator<(const CustomEncodableValue& other) const {
    return this < &other;
  }

 private:
  std::any value_;
};

class EncodableValue;

using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue>;

namespace internal {
using EncodableValueVariant = std::variant<std::monostate,
                                           bool,
                                           int32_t,
                                           int64_t,
                                           double,
                                           std::string,
                                           std::vector<uint8_t>,
                                           std::vector<int32_t>,
                                           std::vector<int64_t>,
                                           std::vector<double>,
                                           EncodableList,
                                           EncodableMap,
                                           CustomEncodableValue,
                                           std::vector<float>>;
}  // namespace internal

class EncodableValue : public internal::EncodableValueVariant {
 public:
  using super = internal::EncodableValueVariant;
  using super::super;
  using super::operator=;

  EncodableValue() = default;
  EncodableValue(const EncodableValue&) = default;
  EncodableValue(EncodableValue&&) = default;
  EncodableValue& operator=(const EncodableValue&) = default;
  EncodableValue& operator=(EncodableValue&&) = default;

  // A string literal would otherwise become a bool.
  explicit EncodableValue(const char* string) : super(std::string(string)) {}
  EncodableValue& operator=(const char* other) {
    *this = std::string(other);
    return *this;
  }

  explicit EncodableValue(const CustomEncodableValue& v) : super(v) {}

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

  // An int32 or int64 as 64 bits. Other kinds are a caller's error; they
  // answer 0 here rather than throw across a channel.
  int64_t LongValue() const {
    if (const auto* v = std::get_if<int32_t>(this)) {
      return *v;
    }
    if (const auto* v = std::get_if<int64_t>(this)) {
      return *v;
    }
    return 0;
  }

  // Total order used by EncodableMap: kind first, then value. Written out by
  // hand: the comparison std::variant would synthesise recurses through
  // EncodableList in C++20 and does not compile.
  static int Compare(const EncodableValue& lhs, const EncodableValue& rhs);

  friend bool operator<(const EncodableValue& lhs, const EncodableValue& rhs) {
    return Compare(lhs, rhs) < 0;
  }
  friend bool operator>(const EncodableValue& lhs, const EncodableValue& rhs) {
    return Compare(lhs, rhs) > 0;
  }
  friend bool operator<=(const EncodableValue& lhs, const EncodableValue& rhs) {
    return Compare(lhs, rhs) <= 0;
  }
  friend bool operator>=(const EncodableValue& lhs, const EncodableValue& rhs) {
    return Compare(lhs, rhs) >= 0;
  }
  friend bool operator==(const EncodableValue& lhs, const EncodableValue& rhs) {
    return Compare(lhs, rhs) == 0;
  }
  friend bool operator!=(const EncodableValue& lhs, const EncodableValue& rhs) {
    return Compare(lhs, rhs) != 0;
  }
#ifdef FLUTTER_ENCODABLE_VALUE_HAS_SPACESHIP
  friend std::weak_ordering operator<=>(const EncodableValue& lhs,
                                        const EncodableValue& rhs) {
    const int c = Compare(lhs, rhs);
    return c < 0 ? std::weak_ordering::less
                 : (c > 0 ? std::weak_ordering::greater
                          : std::weak_ordering::equivalent);
  }
#endif
};

namespace internal {

template <typename T>
int CompareScalar(const T& a, const T& b) {
  if constexpr (std::is_floating_point_v<T>) {
    // A NaN sorts after every number and equals only another NaN: a strict
    // weak order, so a map keeps a NaN key apart from the others.
    const bool a_nan = a != a;
    const bool b_nan = b != b;
    if (a_nan || b_nan) {
      return a_nan == b_nan ? 0 : (a_nan ? 1 : -1);
    }
  }
  return a < b ? -1 : (b < a ? 1 : 0);
}

template <typename T>
int CompareSequence(const std::vector<T>& a, const std::vector<T>& b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const int c = CompareScalar(a[i], b[i]);
    if (c != 0) {
      return c;
    }
  }
  return CompareScalar(a.size(), b.size());
}

}  // namespace internal

inline int EncodableValue::Compare(const EncodableValue& lhs,
                                   const EncodableValue& rhs) {
  if (lhs.index() != rhs.index()) {
    return lhs.index() < rhs.index() ? -1 : 1;
  }
  switch (lhs.index()) {
    case 0:
      return 0;
    case 1:
      return internal::CompareScalar(std::get<bool>(lhs), std::get<bool>(rhs));
    case 2:
      return internal::CompareScalar(std::get<int32_t>(lhs),
                                     std::get<int32_t>(rhs));
    case 3:
      return internal::CompareScalar(std::get<int64_t>(lhs),
                                     std::get<int64_t>(rhs));
    case 4:
      return internal::CompareScalar(std::get<double>(lhs),
                                     std::get<double>(rhs));
    case 5:
      return std::get<std::string>(lhs).compare(std::get<std::string>(rhs)) < 0
                 ? -1
                 : (std::get<std::string>(rhs) < std::get<std::string>(lhs)
                        ? 1
                        : 0);
    case 6:
      return internal::CompareSequence(std::get<std::vector<uint8_t>>(lhs),
                                       std::get<std::vector<uint8_t>>(rhs));
    case 7:
      return internal::CompareSequence(std::get<std::vector<int32_t>>(lhs),
                                       std::get<std::vector<int32_t>>(rhs));
    case 8:
      return internal::CompareSequence(std::get<std::vector<int64_t>>(lhs),
                                       std::get<std::vector<int64_t>>(rhs));
    case 9:
      return internal::CompareSequence(std::get<std::vector<double>>(lhs),
                                       std::get<std::vector<double>>(rhs));
    case 10: {
      const auto& a = std::get<EncodableList>(lhs);
      const auto& b = std::get<EncodableList>(rhs);
      const size_t n = a.size() < b.size() ? a.size() : b.size();
      for (size_t i = 0; i < n; ++i) {
        const int c = Compare(a[i], b[i]);
        if (c != 0) {
          return c;
        }
      }
      return internal::CompareScalar(a.size(), b.size());
    }
    case 11: {
      const auto& a = std::get<EncodableMap>(lhs);
      const auto& b = std::get<EncodableMap>(rhs);
      auto i = a.begin();
      auto j = b.begin();
      for (; i != a.end() && j != b.end(); ++i, ++j) {
        int c = Compare(i->first, j->first);
        if (c == 0) {
          c = Compare(i->second, j->second);
        }
        if (c != 0) {
          return c;
        }
      }
      return internal::CompareScalar(a.size(), b.size());
    }
    case 12:
      return internal::CompareScalar(
          static_cast<const void*>(&std::get<CustomEncodableValue>(lhs)),
          static_cast<const void*>(&std::get<CustomEncodableValue>(rhs)));
    case 13:
      return internal::CompareSequence(std::get<std::vector<float>>(lhs),
                                       std::get<std::vector<float>>(rhs));
    default:
      return 0;
  }
}

}  // namespace flutter

#endif  // FLUTTER_ENCODABLE_VALUE_H_
