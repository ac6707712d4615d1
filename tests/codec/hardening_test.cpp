// Malformed input must be refused cleanly: the bytes come from another
// process, so a crash, over-read or runaway allocation here is a hole. And
// what is well formed decodes without copies of its pieces.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "codec_test_util.h"

// Under ASan, an allocation sized by an unchecked length field (gigabytes)
// aborts the run instead of quietly succeeding on a large machine.
extern "C" const char* __asan_default_options() {
  return "max_allocation_size_mb=256";
}

namespace {
size_t g_allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace codec_test {
namespace {

using flutter::MethodCall;

bool DecodesAsMessage(const Bytes& b) { return MessageCodec().DecodeMessage(b) != nullptr; }
bool DecodesAsCall(const Bytes& b) { return MethodCodec().DecodeMethodCall(b) != nullptr; }
// An envelope that is refused must also leave the result untouched.
bool DecodesAsEnvelope(const Bytes& b) {
  bool ok = false;
  Outcome o = DecodeEnvelope(b, &ok);
  EXPECT_EQ(o.calls, ok ? 1 : 0) << testing::PrintToString(b);
  EXPECT_FALSE(o.not_implemented);
  return ok;
}

template <typename F>
size_t AllocationsOf(F&& run) {
  const size_t before = g_allocations;
  run();
  return g_allocations - before;
}

// Equality ignores the sign of zero, so doubles compare by their bits.
bool SameBits(const V& a, const V& b) {
  const auto* d = std::get_if<double>(&a);
  return d && b.index() == a.index()
             ? std::memcmp(d, &std::get<double>(b), sizeof(double)) == 0
             : a == b;
}

TEST(Hardening, EveryFramingRoundTripsWithoutCopiesAndRefusesCutsAndTrailingBytes) {
  const auto& method = MethodCodec();
  for (const auto& v : Samples()) {
    SCOPED_TRACE(testing::PrintToString(v));
    const Bytes message = Encode(v);
    const Bytes call = *method.EncodeMethodCall(
        MethodCall<V>("\xC3\xA9t\xC3\xA9", std::make_unique<V>(v)));
    const Bytes success = *method.EncodeSuccessEnvelope(&v);
    const Bytes error = *method.EncodeErrorEnvelope("c", "m", &v);

    // Each piece is built once and moved into place: decoding allocates what
    // holding the value takes, plus the unique_ptr (a call's two).
    const size_t held = AllocationsOf([&] { V copy(v); });
    std::unique_ptr<V> decoded;
    EXPECT_LE(AllocationsOf([&] { decoded = MessageCodec().DecodeMessage(message); }), held + 1);
    EXPECT_TRUE(decoded && SameBits(*decoded, v));
    std::unique_ptr<MethodCall<V>> decoded_call;
    EXPECT_LE(AllocationsOf([&] { decoded_call = method.DecodeMethodCall(call); }), held + 2);
    ASSERT_TRUE(decoded_call && decoded_call->arguments());
    EXPECT_EQ(decoded_call->method_name(), "\xC3\xA9t\xC3\xA9");
    EXPECT_TRUE(SameBits(*decoded_call->arguments(), v));
    // The envelope's flag byte moves everything by one: padding must follow.
    for (const Bytes* reply : {&success, &error}) {
      const bool is_error = reply == &error;
      bool ok = false;
      Outcome o;
      // The result keeps a copy of what it is given: the value is held twice.
      EXPECT_LE(AllocationsOf([&] { o = DecodeEnvelope(*reply, &ok); }), 2 * held);
      EXPECT_TRUE(ok && o.calls == 1 && o.success != is_error && o.error == is_error);
      EXPECT_EQ(o.code + "/" + o.message, is_error ? "c/m" : "/");
      EXPECT_EQ(o.has_value, !v.IsNull());
      EXPECT_TRUE(SameBits(o.value, v));
    }

    const std::pair<const Bytes*, bool (*)(const Bytes&)> framings[] = {
        {&message, DecodesAsMessage}, {&call, DecodesAsCall},
        {&success, DecodesAsEnvelope}, {&error, DecodesAsEnvelope}};
    for (const auto& [full, decodes] : framings) {
      // The empty prefix is left out: as a message it is the null value.
      for (size_t n = 1; n < full->size(); ++n) {
        EXPECT_FALSE(decodes(Bytes(full->begin(), full->begin() + n))) << n;
      }
      // An error envelope may take one null as its stack trace, not two.
      EXPECT_EQ(decodes(Cat({*full, {0}})), full == &error);
      EXPECT_FALSE(decodes(Cat({*full, {0, 0}})));
    }
  }
}

TEST(Hardening, LengthsBeyondTheData) {
  const Bytes filler(64, 0);
  for (uint8_t tag : {5, 7, 8, 9, 10, 11, 12, 13, 14}) {
    SCOPED_TRACE(int(tag));
    const Bytes lie = {tag, 255, 0xFF, 0xFF, 0xFF, 0xFF};
    // Alone and nested: calls and replies read their values as messages do.
    EXPECT_FALSE(DecodesAsMessage(Cat({lie, filler})));
    EXPECT_FALSE(DecodesAsMessage(Cat({{12, 1}, lie, filler})));
  }
  // Counts whose byte size wraps to zero in 32-bit arithmetic (counts just
  // one past the data are the truncations of the sample sweep).
  EXPECT_FALSE(DecodesAsMessage({10, 255, 0, 0, 0, 0x20, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_FALSE(DecodesAsMessage({9, 255, 0, 0, 0, 0x40, 0, 0, 1, 2, 3, 4}));
}

TEST(Hardening, NestingDepth) {
  Bytes lists, keys;
  for (int i = 0; i < 100000; ++i) {
    lists.insert(lists.end(), {12, 1});
    keys.insert(keys.end(), {13, 1});  // the key nests deeper
  }
  lists.push_back(0);
  EXPECT_FALSE(DecodesAsMessage(lists));
  EXPECT_FALSE(DecodesAsMessage(keys));

  // Moderate nesting is legitimate and must survive intact.
  V chain(3.5);
  for (int i = 0; i < 100; ++i) {
    chain = i % 2 ? V(EncodableList{V("x"), chain}) : V(EncodableMap{{V(i), chain}});
  }
  EXPECT_EQ(Decoded(Encode(chain)), chain);
  // Many siblings are not depth.
  EXPECT_TRUE(DecodesAsMessage(Encode(V(EncodableList(5000, V(EncodableList{}))))));
}

TEST(Hardening, MalformedCallsAndEnvelopes) {
  // Unknown tags, alone and inside a list.
  for (uint8_t tag : {15, 127, 255}) {
    EXPECT_FALSE(DecodesAsMessage({tag}));
    EXPECT_FALSE(DecodesAsMessage({12, 2, 0, tag}));
  }
  // No method name, or one that is not a string.
  for (const Bytes& b : std::vector<Bytes>{{}, {0, 0}, {8, 1, 'm', 0}}) {
    EXPECT_FALSE(DecodesAsCall(b)) << testing::PrintToString(b);
  }

  // Flags other than 0 and 1; error codes that are not strings; messages and
  // traces that are neither string nor null.
  for (uint8_t flag : {2, 3, 0x80, 0xFF}) {
    EXPECT_FALSE(DecodesAsEnvelope({flag, 0}));
    EXPECT_FALSE(DecodesAsEnvelope({flag, 7, 1, 'E', 0, 0}));
  }
  for (const Bytes& b : std::vector<Bytes>{
           {1, 0, 0, 0}, {1, 8, 1, 'E', 0, 0}, {1, 7, 1, 'E', 1, 0}, {1, 7, 1, 'E', 0, 0, 12, 0}}) {
    EXPECT_FALSE(DecodesAsEnvelope(b)) << testing::PrintToString(b);
  }
  // A null message and a stack trace, which the writer never makes: the
  // message reads as empty, the trace is dropped rather than taken for the
  // details, and only the prefix without it is complete.
  const Bytes traced = {1, 7, 1, 'E', 0, 2, 7, 3, 'a', 't', '1'};
  bool ok = false;
  const Outcome o = DecodeEnvelope(traced, &ok);
  EXPECT_TRUE(ok && o.error && o.message.empty() && o.value == V(false));
  for (size_t n = 0; n < traced.size(); ++n) {
    EXPECT_EQ(DecodesAsEnvelope(Bytes(traced.begin(), traced.begin() + n)), n == 6) << n;
  }

  // An empty message is the null value.
  EXPECT_EQ(Decoded({}), V());
}

}  // namespace
}  // namespace codec_test
