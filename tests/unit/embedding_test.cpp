// The embedding stand-in driven as the host and the application drive it:
// the host's channels on this (platform) thread, the application's calls
// from a thread of its own, real bytes in between.

#include <flutter/dart_project.h>
#include <flutter/event_channel.h>
#include <flutter/event_stream_handler_functions.h>
#include <flutter/flutter_view_controller.h>
#include <flutter/method_channel.h>
#include <flutter/method_result_functions.h>
#include <flutter/standard_method_codec.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "app_driver.h"
#include "test_support.h"

using flutter::EncodableList;
using flutter::EncodableValue;
using flutter_app::AppMessenger;
using flutter_app::Event;
using flutter_app::Reply;
using test_support::PumpUntil;
using test_support::RunAsApplication;
using Kind = flutter_app::Reply::Kind;

// This program is also an application module: an engine given its path
// loads the running executable and calls this on the application's thread.
// It ignores the engine's stop until the test releases it, and then goes on
// using the messenger.
namespace late_app {
std::atomic<FlutterDesktopAppMessengerRef> messenger{nullptr};
HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
std::atomic<Kind> reply_kind{Kind::kSuccess};
std::atomic<bool> done{false};
}  // namespace late_app

extern "C" __declspec(dllexport) int FlutterDesktopAppMain(
    FlutterDesktopAppMessengerRef messenger, const char*, int, const char**) {
  late_app::messenger = messenger;
  WaitForSingleObject(late_app::release, 30000);
  AppMessenger app(messenger);
  late_app::reply_kind = app.CallMethod("test/late", "late", {}, 500).kind;
  late_app::done = true;
  return 0;
}

namespace {

class EmbeddingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controller_ = std::make_unique<flutter::FlutterViewController>(
        320, 200, flutter::DartProject(test_support::PassiveProjectFolder()));
    ASSERT_NE(controller_->view(), nullptr);
    app_ref_ = test_support::PassiveAppMessenger();
    ASSERT_NE(app_ref_, nullptr);
    auto* messenger = controller_->engine()->messenger();
    const auto* codec = &flutter::StandardMethodCodec::GetInstance();
    method_channel_ =
        std::make_unique<flutter::MethodChannel<>>(messenger, "test/method", codec);
    method_channel_->SetMethodCallHandler(
        [this](const flutter::MethodCall<>& call,
               std::unique_ptr<flutter::MethodResult<>> result) {
          OnMethodCall(call, std::move(result));
        });
    event_channel_ =
        std::make_unique<flutter::EventChannel<>>(messenger, "test/events", codec);
    event_channel_->SetStreamHandler(std::make_unique<flutter::StreamHandlerFunctions<>>(
        [this](const EncodableValue* arguments, std::unique_ptr<flutter::EventSink<>>&& events)
            -> std::unique_ptr<flutter::StreamHandlerError<>> {
          ++listens_;
          if (arguments && *arguments == EncodableValue("refuse")) {
            return std::make_unique<flutter::StreamHandlerError<>>("refused", "not now",
                                                                   nullptr);
          }
          sink_ = std::move(events);
          return nullptr;
        },
        [this](const EncodableValue*) -> std::unique_ptr<flutter::StreamHandlerError<>> {
          ++cancels_;
          sink_.reset();
          return nullptr;
        }));
  }

  void OnMethodCall(const flutter::MethodCall<>& call,
                    std::unique_ptr<flutter::MethodResult<>> result) {
    const std::string& name = call.method_name();
    const EncodableValue args = call.arguments() ? *call.arguments() : EncodableValue();
    calls_.push_back(name);
    if (name == "echo") {
      result->Success(args);
    } else if (name == "error") {
      result->Error("E_TEST", "it failed", EncodableValue(42));
    } else if (name == "drop") {
      // Destroyed unanswered.
    } else if (name == "emit") {
      for (const auto& item : std::get<EncodableList>(args)) {
        if (sink_) sink_->Success(item);
      }
      result->Success(EncodableValue(sink_ != nullptr));
    } else if (name == "end") {
      if (sink_) {
        sink_->Error("E_STREAM", "bad", EncodableValue());
        sink_->EndOfStream();
      }
      result->Success();
    } else if (name == "worker" || name == "platform") {
      // The same host actions, from a worker thread or from this one.
      auto act = [&] {
        // The application's answer, or "none" when nobody serves it.
        method_channel_->InvokeMethod(
            "hello", std::make_unique<EncodableValue>(name),
            std::make_unique<flutter::MethodResultFunctions<>>(
                [this](const EncodableValue* value) {
                  answer_threads_.push_back(GetCurrentThreadId());
                  answers_.push_back(value ? *value : EncodableValue());
                },
                nullptr, [this] { answers_.emplace_back("none"); }));
        controller_->engine()->messenger()->SetMessageHandler(
            "test/" + name, [](const uint8_t*, size_t, const flutter::BinaryReply& reply) {
              auto answer = flutter::StandardMethodCodec::GetInstance().EncodeSuccessEnvelope();
              reply(answer->data(), answer->size());
            });
        result->Success(EncodableValue(name));
      };
      if (name == "worker") {
        std::thread(act).join();
      } else {
        act();
      }
    } else {
      result->NotImplemented();
    }
  }

  // Declared first, so that the channels and the sink go before it.
  std::unique_ptr<flutter::FlutterViewController> controller_;
  FlutterDesktopAppMessengerRef app_ref_ = nullptr;
  std::unique_ptr<flutter::MethodChannel<>> method_channel_;
  std::unique_ptr<flutter::EventChannel<>> event_channel_;
  std::unique_ptr<flutter::EventSink<>> sink_;
  std::vector<std::string> calls_;
  std::vector<EncodableValue> answers_;
  int listens_ = 0, cancels_ = 0;
  std::vector<DWORD> answer_threads_;
};

// Typed lists after strings of 0 to 7 bytes, so that their elements start
// at every offset modulo 8 in a call and in an envelope alike (the codec's
// own tests go through every kind of list).
std::vector<EncodableValue> TypedListsAtEveryOffset() {
  const EncodableValue lists[] = {
      EncodableValue(std::vector<int64_t>{INT64_MIN, -1, INT64_MAX}),
      EncodableValue(std::vector<double>{-0.5, 1e-300, 1.7e308}),
      EncodableValue(std::vector<float>{}),
      EncodableValue(std::vector<int32_t>{INT32_MIN, 0, INT32_MAX}),
  };
  std::vector<EncodableValue> values;
  for (size_t pad = 0; pad < 32; ++pad) {
    values.emplace_back(EncodableList{EncodableValue(std::string(pad % 8, 'p')), lists[pad / 8]});
  }
  return values;
}

TEST_F(EmbeddingTest, CallsKeepOrderEventsComeOnlyWhileListenedBadBytesReachNoHandler) {
  const std::vector<EncodableValue> values = TypedListsAtEveryOffset();
  std::vector<EncodableValue> replies, received;
  std::vector<DWORD> reply_threads;
  std::vector<std::vector<uint8_t>> raw_replies;
  Reply error, dropped, unknown_method, unknown_channel;
  std::vector<Event::Kind> kinds;
  std::vector<Reply> streams;
  DWORD app_thread = 0;
  ASSERT_TRUE(RunAsApplication(app_ref_, [&](AppMessenger& app) {
    app_thread = GetCurrentThreadId();
    // The codec's own tests go through every malformation.
    const std::vector<std::vector<uint8_t>> bad = {
        {},
        {0x07, 0x01, 'x', 0x00, 0x55},  // a call "x", then trailing garbage
    };
    for (const auto& message : bad) {
      for (const char* channel : {"test/method", "test/events"}) {
        std::vector<uint8_t> reply{0xEE};
        EXPECT_TRUE(app.SendRaw(channel, message, &reply));
        raw_replies.push_back(reply);
      }
    }
    // Fired all at once: the replies must come back in the order sent.
    for (const auto& value : values) {
      app.InvokeMethod("test/method", "echo", value, [&](const Reply& reply) {
        reply_threads.push_back(GetCurrentThreadId());
        if (reply.kind == Kind::kSuccess) replies.push_back(reply.value);
      });
    }
    app.RunUntil([&] { return reply_threads.size() >= values.size(); }, 10000);
    error = app.CallMethod("test/method", "error");
    dropped = app.CallMethod("test/method", "drop");
    unknown_method = app.CallMethod("test/method", "Echo");
    unknown_channel = app.CallMethod("test/nobody", "echo");

    auto on_event = [&](const Event& event) {
      kinds.push_back(event.kind);
      received.push_back(event.value);
    };
    auto emit = [&](const EncodableList& items) {
      app.CallMethod("test/method", "emit", EncodableValue(items));
    };
    streams.push_back(app.Cancel("test/events"));
    streams.push_back(app.Listen("test/events", EncodableValue("refuse"), on_event));
    // A second listen replaces the first stream.
    streams.push_back(app.Listen("test/events", EncodableValue(1), on_event));
    streams.push_back(app.Listen("test/events", EncodableValue(2), on_event));
    emit({EncodableValue(1), EncodableValue("two"), EncodableValue(3.5)});
    app.RunUntil([&] { return received.size() >= 3; }, 5000);
    streams.push_back(app.Cancel("test/events"));
    // Listening again works, and the stream's end is seen.
    app.Listen("test/events", EncodableValue(3), on_event);
    emit({EncodableValue(4)});
    app.CallMethod("test/method", "end");
    app.RunUntil([&] { return kinds.size() >= 6; }, 5000);
  }));

  EXPECT_EQ(raw_replies, std::vector<std::vector<uint8_t>>(4));
  // Replies on the application's thread, each exactly once.
  EXPECT_EQ(replies, values);
  EXPECT_EQ(reply_threads, std::vector<DWORD>(values.size(), app_thread));
  EXPECT_EQ(error.kind, Kind::kError);
  EXPECT_EQ(error.error_code + ": " + error.error_message, "E_TEST: it failed");
  EXPECT_EQ(error.value, EncodableValue(42));
  // A result dropped unanswered still answers: empty, not implemented.
  for (const Reply* reply : {&dropped, &unknown_method, &unknown_channel}) {
    EXPECT_EQ(reply->kind, Kind::kNotImplemented);
  }
  // The echoes, error, drop, "Echo", two emits and the end: neither the bad
  // bytes nor the unknown channel reach this handler.
  EXPECT_EQ(calls_.size(), values.size() + 6);

  std::vector<std::string> answered;
  for (const Reply& reply : streams) answered.push_back(reply.error_code + reply.error_message);
  EXPECT_EQ(answered, (std::vector<std::string>{"errorNo active stream to cancel",
                                                "refusednot now", "", "", ""}));
  // The refused listen still counts as listening; then listen-over-listen
  // and the explicit cancel.
  EXPECT_EQ(listens_, 4);
  EXPECT_EQ(cancels_, 3);
  EXPECT_EQ(received, (std::vector<EncodableValue>{EncodableValue(1), EncodableValue("two"),
                                                   EncodableValue(3.5), EncodableValue(4),
                                                   EncodableValue(), EncodableValue()}));
  using E = Event::Kind;
  EXPECT_EQ(kinds, (std::vector<E>{E::kData, E::kData, E::kData, E::kData, E::kError,
                                   E::kEndOfStream}));
}

TEST_F(EmbeddingTest, TheHostIsHeardOnlyFromThePlatformThread) {
  std::vector<EncodableValue> host_calls;
  Reply from_worker, from_platform, worker_channel, platform_channel;
  ASSERT_TRUE(RunAsApplication(app_ref_, [&](AppMessenger& app) {
    // The host calls back a channel the application does not serve yet.
    app.CallMethod("test/method", "platform");
    app.SetMethodCallHandler(
        "test/method", [&](const std::string&, const EncodableValue& arguments) {
          host_calls.push_back(arguments);
          return flutter_app::Answer::Success(
              EncodableValue(std::get<std::string>(arguments) + "!"));
        });
    // The worker's reply is refused, so this one waits in vain.
    from_worker = app.CallMethod("test/method", "worker", {}, 500);
    app.RunPending(200);
    from_platform = app.CallMethod("test/method", "platform");
    app.RunUntil([&] { return !host_calls.empty(); }, 5000);
    worker_channel = app.CallMethod("test/worker", "x");
    platform_channel = app.CallMethod("test/platform", "x");
  }));
  EXPECT_EQ(from_worker.kind, Kind::kTimedOut);
  EXPECT_EQ(from_platform.value, EncodableValue("platform"));
  EXPECT_EQ(host_calls, std::vector<EncodableValue>{EncodableValue("platform")});
  EXPECT_EQ(worker_channel.kind, Kind::kNotImplemented);
  EXPECT_EQ(platform_channel.kind, Kind::kSuccess);
  // The application's answers to the host's calls come back here.
  PumpUntil([&] { return answers_.size() >= 2; }, 5000);
  EXPECT_EQ(answers_,
            (std::vector<EncodableValue>{EncodableValue("none"), EncodableValue("platform!")}));
  EXPECT_EQ(answer_threads_, std::vector<DWORD>{GetCurrentThreadId()});
}

TEST_F(EmbeddingTest, AHandlerThatClosesTheWindowEndsTheQueueAndTheAppsWait) {
  std::string farewell;
  std::vector<std::string> scribbles;
  method_channel_->SetMethodCallHandler(
      [&, said = std::string(64, 'z')](const flutter::MethodCall<>& call,
                                       std::unique_ptr<flutter::MethodResult<>> result) {
        calls_.push_back(call.method_name());
        if (call.method_name() == "close") {
          // As closing the window does: the controller owns the engine.
          controller_.reset();
          // Two blocks of each size, filled as a busy process would, so that
          // whatever still reads freed memory finds garbage.
          for (size_t i = 0; i < 512; ++i) scribbles.emplace_back(16 + i / 2 * 16, '\xFE');
          // The handler's own captures outlive that.
          farewell = said;
        }
        result->Success();
      });
  {
    // Sent from this thread, everything is queued before any of it runs.
    AppMessenger app(app_ref_);
    app.InvokeMethod("test/method", "close", EncodableValue(), nullptr);
    for (int i = 0; i < 20; ++i) {
      app.InvokeMethod("test/method", "echo", EncodableValue(i), nullptr);
    }
  }
  // An application waiting for anything at all: shutting the engine down
  // must end that wait (or this test hangs), not leave it waiting.
  std::thread waiting([&] {
    AppMessenger messenger(app_ref_);
    while (messenger.RunPending(100000) >= 0) {
    }
  });
  // It must be waiting when the window closes: then its messenger is gone.
  Sleep(100);
  PumpUntil([&] { return controller_ == nullptr; }, 5000);
  controller_.reset();  // so that the wait ends even if the handler failed
  waiting.join();
  EXPECT_EQ(calls_, std::vector<std::string>{"close"});
  EXPECT_EQ(farewell, std::string(64, 'z'));
}

TEST(EmbeddingLifecycleTest, AnApplicationLeftBehindOnlyFindsTheEngineStopping) {
  // A start without the application fails cleanly; its messenger is inert,
  // not dangling.
  const std::wstring folder = test_support::PassiveProjectFolder();
  {
    flutter::FlutterViewController failed(
        100, 100, flutter::DartProject(test_support::TempFolder() + L"korvex-missing"));
    EXPECT_EQ(failed.view(), nullptr);
    ASSERT_NE(failed.engine(), nullptr);
    flutter::MethodChannel<> channel(failed.engine()->messenger(), "x",
                                     &flutter::StandardMethodCodec::GetInstance());
    channel.InvokeMethod("y", nullptr);
    channel.SetMethodCallHandler(nullptr);
  }

  const std::wstring assets = folder + L"\\flutter_assets";
  const std::wstring icu = folder + L"\\icudtl.dat";
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = assets.c_str();
  properties.icu_data_path = icu.c_str();
  properties.aot_library_path = program;
  FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(&properties);
  ASSERT_NE(engine, nullptr);
  ASSERT_TRUE(FlutterDesktopEngineRun(engine, nullptr));
  ASSERT_TRUE(PumpUntil([] { return late_app::messenger.load() != nullptr; }, 5000));
  // Waits out the application, then gives up on it.
  FlutterDesktopEngineDestroy(engine);
  EXPECT_FALSE(late_app::done.load());

  // A new engine, likely where the old one was, with a host listening on
  // the channel the late application sends on.
  flutter::FlutterViewController controller(100, 100, flutter::DartProject(folder));
  ASSERT_NE(controller.view(), nullptr);
  int late_calls = 0;
  flutter::MethodChannel<> channel(controller.engine()->messenger(), "test/late",
                                   &flutter::StandardMethodCodec::GetInstance());
  channel.SetMethodCallHandler(
      [&](const flutter::MethodCall<>&, std::unique_ptr<flutter::MethodResult<>> result) {
        ++late_calls;
        result->Success();
      });
  SetEvent(late_app::release);
  ASSERT_TRUE(PumpUntil([] { return late_app::done.load(); }, 5000));
  EXPECT_EQ(late_app::reply_kind.load(), Kind::kTimedOut);
  EXPECT_EQ(late_calls, 0);
}

}  // namespace
