// Decoding builds each piece of a value once and moves it into place: it
// allocates what holding the value takes, and nothing for copies of it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "codec_test_util.h"

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

template <typename F>
size_t AllocationsOf(F&& run) {
  const size_t before = g_allocations;
  run();
  return g_allocations - before;
}

// Strings past the short-string buffer, typed lists, maps and lists, with
// the deepest pieces seven levels down.
EncodableValue Nested() {
  EncodableValue value(EncodableMap{{V("name"), V(std::string(40, 'n'))},
                                    {V("ids"), V(std::vector<int64_t>{1, 2, 3})},
                                    {V("ratio"), V(std::vector<double>{0.5})}});
  for (char level = 'a'; level < 'g'; ++level) {
    value = V(EncodableList{V(std::string(32, level)), value, V(std::vector<uint8_t>{1, 2})});
  }
  return value;
}

TEST(DecodeCopies, EveryFramingAllocatesOnlyWhatTheValueHolds) {
  const EncodableValue value = Nested();
  const size_t held = AllocationsOf([&] { EncodableValue copy(value); });

  const Bytes message = Encode(value);
  std::unique_ptr<EncodableValue> decoded;
  // One more: the unique_ptr.
  EXPECT_LE(AllocationsOf([&] { decoded = MessageCodec().DecodeMessage(message); }),
            held + 1);
  EXPECT_EQ(*decoded, value);

  const Bytes call_bytes = *MethodCodec().EncodeMethodCall(
      flutter::MethodCall<EncodableValue>("m", std::make_unique<EncodableValue>(value)));
  std::unique_ptr<flutter::MethodCall<EncodableValue>> call;
  // Two more: the call and the unique_ptr of its arguments.
  EXPECT_LE(AllocationsOf([&] { call = MethodCodec().DecodeMethodCall(call_bytes); }),
            held + 2);
  EXPECT_EQ(*call->arguments(), value);

  int matched = 0;
  flutter::MethodResultFunctions<EncodableValue> result(
      [&](const EncodableValue* v) { matched += v && *v == value; },
      [&](const std::string&, const std::string&, const EncodableValue* v) {
        matched += v && *v == value;
      },
      nullptr);
  // DecodeResponseEnvelope, the application side's way, is measured inside.
  for (const Bytes& envelope : {*MethodCodec().EncodeSuccessEnvelope(&value),
                                 *MethodCodec().EncodeErrorEnvelope("E", "m", &value)}) {
    EXPECT_LE(AllocationsOf([&] {
                MethodCodec().DecodeAndProcessResponseEnvelope(envelope.data(), envelope.size(),
                                                               &result);
              }),
              held);
  }
  EXPECT_EQ(matched, 2);
}

}  // namespace
}  // namespace codec_test
