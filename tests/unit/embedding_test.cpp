// The embedding stand-in driven as the host and the application drive it:
// the host's channels on this (platform) thread, the application's calls
// from a thread of its own, real bytes in between.

#include <flutter/dart_project.h>
#include <flutter/encodable_value.h>
#include <flutter/event_channel.h>
#include <flutter/event_stream_handler_functions.h>
#include <flutter/flutter_view_controller.h>
#include <flutter/method_channel.h>
#include <flutter/method_result_functions.h>
#include <flutter/standard_method_codec.h>
#include <flutter_app/app_messenger.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app_driver.h"
#include "test_support.h"

using flutter::EncodableList;
using flutter::EncodableValue;
using flutter_app::AppMessenger;
using flutter_app::Event;
using flutter_app::Reply;
using test_support::PumpUntil;

// This program is also an application module: an engine given its path
// loads the running executable and calls this on the application's thread.
// It ignores the engine's stop until the test releases it, and then goes on
// using the messenger.
namespace late_app {
std::atomic<FlutterDesktopAppMessengerRef> messenger{nullptr};
HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
std::atomic<int> reply_kind{-1};
std::atomic<int> run_pending{0};
std::atomic<bool> done{false};
}  // namespace late_app

extern "C" __declspec(dllexport) int FlutterDesktopAppMain(
    FlutterDesktopAppMessengerRef messenger, const char*, int, const char**) {
  late_app::messenger = messenger;
  WaitForSingleObject(late_app::release, 30000);
  AppMessenger app(messenger);
  app.SetMethodCallHandler("test/late",
                           [](const std::string&, const EncodableValue&) {
                             return flutter_app::Answer::Success();
                           });
  late_app::reply_kind =
      static_cast<int>(app.CallMethod("test/late", "late", {}, 500).kind);
  late_app::run_pending = app.RunPending(0);
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
    platform_thread_ = GetCurrentThreadId();
    auto* messenger = controller_->engine()->messenger();
    const auto* codec = &flutter::StandardMethodCodec::GetInstance();

    method_channel_ = std::make_unique<flutter::MethodChannel<>>(
        messenger, "test/method", codec);
    method_channel_->SetMethodCallHandler(
        [this](const flutter::MethodCall<>& call,
               std::unique_ptr<flutter::MethodResult<>> result) {
          OnMethodCall(call, std::move(result));
        });

    event_channel_ = std::make_unique<flutter::EventChannel<>>(
        messenger, "test/events", codec);
    event_channel_->SetStreamHandler(
        std::make_unique<flutter::StreamHandlerFunctions<>>(
            [this](const EncodableValue* arguments,
                   std::unique_ptr<flutter::EventSink<>>&& events)
                -> std::unique_ptr<flutter::StreamHandlerError<>> {
              ++listens_;
              listen_arguments_ = arguments ? *arguments : EncodableValue();
              if (listen_arguments_ == EncodableValue("refuse")) {
                return std::make_unique<flutter::StreamHandlerError<>>(
                    "refused", "not now", nullptr);
              }
              sink_ = std::move(events);
              return nullptr;
            },
            [this](const EncodableValue*)
                -> std::unique_ptr<flutter::StreamHandlerError<>> {
              ++cancels_;
              sink_.reset();
              return nullptr;
            }));
  }

  void TearDown() override {
    method_channel_.reset();
    event_channel_.reset();
    sink_.reset();
    controller_.reset();
  }

  // Host side of "test/method".
  void OnMethodCall(const flutter::MethodCall<>& call,
                    std::unique_ptr<flutter::MethodResult<>> result) {
    handler_threads_.push_back(GetCurrentThreadId());
    const std::string& name = call.method_name();
    const EncodableValue args =
        call.arguments() ? *call.arguments() : EncodableValue();
    calls_.push_back(name);
    if (name == "echo") {
      echoed_.push_back(args);
      result->Success(args);
    } else if (name == "error") {
      result->Error("E_TEST", "it failed", EncodableValue(42));
    } else if (name == "drop") {
      // Destroyed unanswered.
    } else if (name == "emit") {
      if (sink_) {
        for (const auto& item : std::get<EncodableList>(args)) {
          sink_->Success(item);
        }
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
        if (sink_) {
          sink_->Success(EncodableValue(name));
        }
        method_channel_->InvokeMethod("hello",
                                      std::make_unique<EncodableValue>(name));
        controller_->engine()->messenger()->SetMessageHandler(
            "test/" + name,
            [](const uint8_t*, size_t, const flutter::BinaryReply& reply) {
              auto answer = flutter::StandardMethodCodec::GetInstance()
                                .EncodeSuccessEnvelope();
              reply(answer->data(), answer->size());
            });
        result->Success(EncodableValue(name));
      };
      if (name == "worker") {
        std::thread(act).join();
      } else {
        act();
      }
    } else if (name == "ping") {
      // The host calls the application back and waits for its answer.
      method_channel_->InvokeMethod(
          "pong", std::make_unique<EncodableValue>(args),
          std::make_unique<flutter::MethodResultFunctions<>>(
              [this](const EncodableValue* value) {
                pong_thread_ = GetCurrentThreadId();
                pong_reply_ = value ? *value : EncodableValue();
              },
              nullptr, [this] { pong_reply_ = EncodableValue("none"); }));
      result->Success();
    } else {
      result->NotImplemented();
    }
  }

  // Takes blocks of many sizes and fills them, as a busy process would, so
  // that whatever still reads freed memory finds garbage.
  void ScribbleOverFreedMemory() {
    for (size_t size = 16; size <= 4096; size += 16) {
      for (int i = 0; i < 2; ++i) {
        scribbles_.emplace_back(size, '\xFE');
      }
    }
  }

  // Runs |body| as the application, on a thread of its own, while this
  // thread serves the platform side.
  void RunApplication(const std::function<void(AppMessenger&)>& body) {
    ASSERT_TRUE(test_support::RunAsApplication(app_ref_, body));
  }

  std::unique_ptr<flutter::FlutterViewController> controller_;
  FlutterDesktopAppMessengerRef app_ref_ = nullptr;
  DWORD platform_thread_ = 0;
  std::unique_ptr<flutter::MethodChannel<>> method_channel_;
  std::unique_ptr<flutter::EventChannel<>> event_channel_;
  std::unique_ptr<flutter::EventSink<>> sink_;
  std::vector<std::string> calls_;
  std::vector<EncodableValue> echoed_;
  std::vector<DWORD> handler_threads_;
  int listens_ = 0;
  int cancels_ = 0;
  EncodableValue listen_arguments_;
  DWORD pong_thread_ = 0;
  EncodableValue pong_reply_;
  std::vector<std::string> scribbles_;
};

TEST_F(EmbeddingTest, MethodCallsCrossThreadsInOrderWithEveryKindOfReply) {
  std::vector<int> order;
  std::vector<DWORD> reply_threads;
  Reply error, dropped, unknown_method, unknown_channel;
  DWORD app_thread = 0;
  RunApplication([&](AppMessenger& app) {
    app_thread = GetCurrentThreadId();
    // Fired all at once: the replies must come back in the order sent.
    int pending = 50;
    for (int i = 0; i < 50; ++i) {
      app.InvokeMethod("test/method", "echo", EncodableValue(i),
                       [&, i](const Reply& reply) {
                         reply_threads.push_back(GetCurrentThreadId());
                         if (reply.kind == Reply::Kind::kSuccess &&
                             reply.value == EncodableValue(i)) {
                           order.push_back(i);
                         }
                         --pending;
                       });
    }
    app.RunUntil([&] { return pending == 0; }, 10000);
    error = app.CallMethod("test/method", "error");
    dropped = app.CallMethod("test/method", "drop");
    unknown_method = app.CallMethod("test/method", "Echo");
    unknown_channel = app.CallMethod("test/nobody", "echo");
  });

  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(order[i], i);
  }
  for (DWORD id : reply_threads) {
    EXPECT_EQ(id, app_thread);
  }
  for (DWORD id : handler_threads_) {
    EXPECT_EQ(id, platform_thread_);
  }
  EXPECT_NE(app_thread, platform_thread_);
  EXPECT_EQ(error.kind, Reply::Kind::kError);
  EXPECT_EQ(error.error_code, "E_TEST");
  EXPECT_EQ(error.error_message, "it failed");
  EXPECT_EQ(error.value, EncodableValue(42));
  // A result dropped unanswered still answers: empty, not implemented.
  EXPECT_EQ(dropped.kind, Reply::Kind::kNotImplemented);
  EXPECT_EQ(unknown_method.kind, Reply::Kind::kNotImplemented);
  EXPECT_EQ(unknown_channel.kind, Reply::Kind::kNotImplemented);
  // Fifty echoes, error, drop and "Echo"; the unknown channel never reaches
  // this handler.
  EXPECT_EQ(calls_.size(), 53u);
}

TEST_F(EmbeddingTest, MalformedBytesAreAnsweredEmptyAndHarmless) {
  std::vector<std::vector<uint8_t>> replies;
  Reply after;
  RunApplication([&](AppMessenger& app) {
    const std::vector<std::vector<uint8_t>> bad = {
        {},
        {0x07},                          // string without its size
        {0x07, 0xff, 0xff, 0xff, 0xff, 0x7f},  // size beyond the message
        {0x03, 1, 0, 0, 0, 0x00},        // name is not a string
        {0x07, 0x01, 'x', 0x00, 0x55},   // trailing garbage
        {0x0c, 0xff, 0xff, 0xff, 0xff, 0xff},  // list count lies
    };
    for (const auto& message : bad) {
      std::vector<uint8_t> reply{0xEE};
      EXPECT_TRUE(app.SendRaw("test/method", message, &reply));
      replies.push_back(reply);
      EXPECT_TRUE(app.SendRaw("test/events", message, &reply));
      replies.push_back(reply);
    }
    after = app.CallMethod("test/method", "echo", EncodableValue("still"));
  });
  ASSERT_EQ(replies.size(), 12u);
  for (const auto& reply : replies) {
    EXPECT_TRUE(reply.empty());
  }
  EXPECT_TRUE(calls_.size() == 1 && calls_[0] == "echo");
  EXPECT_EQ(after.value, EncodableValue("still"));
}

TEST_F(EmbeddingTest, EventsArriveOnlyWhileListenedAndStreamsRestart) {
  std::vector<EncodableValue> received;
  std::vector<Event::Kind> kinds;
  Reply cancel_unlistened, refused, first_listen, second_listen, cancel;
  Reply emitted_unlistened, emitted_listened, emitted_after_cancel;
  RunApplication([&](AppMessenger& app) {
    auto on_event = [&](const Event& event) {
      kinds.push_back(event.kind);
      received.push_back(event.value);
    };
    cancel_unlistened = app.Cancel("test/events");
    emitted_unlistened = app.CallMethod(
        "test/method", "emit", EncodableValue(EncodableList{EncodableValue(0)}));
    refused = app.Listen("test/events", EncodableValue("refuse"), on_event);
    first_listen = app.Listen("test/events", EncodableValue(1), on_event);
    // A second listen replaces the first stream.
    second_listen = app.Listen("test/events", EncodableValue(2), on_event);
    emitted_listened = app.CallMethod(
        "test/method", "emit",
        EncodableValue(EncodableList{EncodableValue(1), EncodableValue("two"),
                                     EncodableValue(3.5)}));
    app.RunUntil([&] { return received.size() >= 3; }, 5000);
    cancel = app.Cancel("test/events");
    emitted_after_cancel = app.CallMethod(
        "test/method", "emit", EncodableValue(EncodableList{EncodableValue(9)}));
    app.RunPending(200);
    // Listening again works, and the stream's end is seen.
    app.Listen("test/events", EncodableValue(3), on_event);
    app.CallMethod("test/method", "emit",
                   EncodableValue(EncodableList{EncodableValue(4)}));
    app.CallMethod("test/method", "end");
    app.RunUntil([&] { return kinds.size() >= 6; }, 5000);
  });

  EXPECT_EQ(cancel_unlistened.kind, Reply::Kind::kError);
  EXPECT_EQ(cancel_unlistened.error_message, "No active stream to cancel");
  EXPECT_EQ(emitted_unlistened.value, EncodableValue(false));
  EXPECT_EQ(refused.kind, Reply::Kind::kError);
  EXPECT_EQ(refused.error_code, "refused");
  EXPECT_EQ(first_listen.kind, Reply::Kind::kSuccess);
  EXPECT_EQ(second_listen.kind, Reply::Kind::kSuccess);
  EXPECT_EQ(emitted_listened.value, EncodableValue(true));
  EXPECT_EQ(cancel.kind, Reply::Kind::kSuccess);
  EXPECT_EQ(emitted_after_cancel.value, EncodableValue(false));
  EXPECT_EQ(listens_, 4);
  // The refused listen still counts as listening; then listen-over-listen
  // and the explicit cancel.
  EXPECT_EQ(cancels_, 3);
  ASSERT_EQ(received.size(), 6u);
  EXPECT_EQ(received[0], EncodableValue(1));
  EXPECT_EQ(received[1], EncodableValue("two"));
  EXPECT_EQ(received[2], EncodableValue(3.5));
  EXPECT_EQ(received[3], EncodableValue(4));
  EXPECT_EQ(kinds[4], Event::Kind::kError);
  EXPECT_EQ(kinds[5], Event::Kind::kEndOfStream);
}

TEST_F(EmbeddingTest, HostCallsTheApplicationAndGetsItsAnswerOnThePlatformThread) {
  std::vector<std::string> app_calls;
  RunApplication([&](AppMessenger& app) {
    app.SetMethodCallHandler(
        "test/method",
        [&](const std::string& method, const EncodableValue& args) {
          app_calls.push_back(method);
          return flutter_app::Answer::Success(
              EncodableValue(std::get<std::string>(args) + "!"));
        });
    app.CallMethod("test/method", "ping", EncodableValue("hello"));
    app.RunUntil([&] { return !app_calls.empty(); }, 5000);
    app.RunPending(100);
  });
  PumpUntil([&] { return !pong_reply_.IsNull(); }, 5000);
  ASSERT_EQ(app_calls.size(), 1u);
  EXPECT_EQ(app_calls[0], "pong");
  EXPECT_EQ(pong_reply_, EncodableValue("hello!"));
  EXPECT_EQ(pong_thread_, platform_thread_);

  // With nobody serving the channel the host hears "not implemented".
  pong_reply_ = EncodableValue();
  RunApplication([&](AppMessenger& app) {
    app.CallMethod("test/method", "ping", EncodableValue("again"));
  });
  PumpUntil([&] { return !pong_reply_.IsNull(); }, 5000);
  EXPECT_EQ(pong_reply_, EncodableValue("none"));
}

// Every kind of typed list, empty and not, each after a string of 0 to 7
// bytes, so that its elements start at every offset modulo 8 in a call and
// in an envelope alike.
std::vector<EncodableValue> TypedListsAtEveryOffset() {
  using I32 = std::numeric_limits<int32_t>;
  using I64 = std::numeric_limits<int64_t>;
  const EncodableValue lists[] = {
      EncodableValue(std::vector<uint8_t>{}),
      EncodableValue(std::vector<uint8_t>{0, 0x7F, 0x80, 0xFF}),
      EncodableValue(std::vector<int32_t>{}),
      EncodableValue(std::vector<int32_t>{I32::min(), -1, 0, I32::max()}),
      EncodableValue(std::vector<int64_t>{}),
      EncodableValue(std::vector<int64_t>{I64::min(), -1, I64::max()}),
      EncodableValue(std::vector<float>{}),
      EncodableValue(std::vector<float>{-1.5f, 3.4e38f, 1e-45f}),
      EncodableValue(std::vector<double>{}),
      EncodableValue(std::vector<double>{-0.5, 1e-300, 1.7e308}),
  };
  std::vector<EncodableValue> values;
  for (size_t pad = 0; pad < 8; ++pad) {
    for (const auto& list : lists) {
      values.emplace_back(
          EncodableList{EncodableValue(std::string(pad, 'p')), list});
    }
  }
  return values;
}

TEST_F(EmbeddingTest, TypedListsCrossTheChannelAtEveryAlignmentBothWays) {
  const std::vector<EncodableValue> values = TypedListsAtEveryOffset();
  std::vector<EncodableValue> replies;
  std::vector<EncodableValue> events;
  RunApplication([&](AppMessenger& app) {
    app.Listen("test/events", EncodableValue(),
               [&](const Event& event) { events.push_back(event.value); });
    for (const auto& value : values) {
      replies.push_back(app.CallMethod("test/method", "echo", value).value);
    }
    app.CallMethod("test/method", "emit",
                   EncodableValue(EncodableList(values.begin(), values.end())));
    app.RunUntil([&] { return events.size() >= values.size(); }, 5000);
  });
  // Calls decoded on the platform thread; replies and events on the
  // application's.
  EXPECT_EQ(echoed_, values);
  EXPECT_EQ(replies, values);
  EXPECT_EQ(events, values);
}

// What this process writes to its standard error while |run| runs.
std::string StandardErrorOf(const std::function<void()>& run) {
  const std::wstring path = test_support::TempFilePath(L"err");
  FILE* file = nullptr;
  _wfopen_s(&file, path.c_str(), L"wb");
  std::fflush(stderr);
  const int saved = _dup(2);
  _dup2(_fileno(file), 2);
  run();
  std::fflush(stderr);
  _dup2(saved, 2);
  _close(saved);
  std::fclose(file);
  const std::string text = test_support::ReadFileBytes(path);
  DeleteFileW(path.c_str());
  return text;
}

TEST_F(EmbeddingTest, TheHostIsHeardOnlyFromThePlatformThread) {
  std::vector<EncodableValue> events;
  std::vector<EncodableValue> host_calls;
  Reply from_worker, from_platform, worker_channel, platform_channel;
  const std::string errors = StandardErrorOf([&] {
    RunApplication([&](AppMessenger& app) {
      app.Listen("test/events", EncodableValue(),
                 [&](const Event& event) { events.push_back(event.value); });
      app.SetMethodCallHandler(
          "test/method",
          [&](const std::string&, const EncodableValue& arguments) {
            host_calls.push_back(arguments);
            return flutter_app::Answer::Success();
          });
      // The worker's reply is refused, so this one waits in vain.
      from_worker = app.CallMethod("test/method", "worker", {}, 500);
      app.RunPending(200);
      from_platform = app.CallMethod("test/method", "platform");
      app.RunUntil([&] { return !events.empty() && !host_calls.empty(); },
                   5000);
      worker_channel = app.CallMethod("test/worker", "x");
      platform_channel = app.CallMethod("test/platform", "x");
    });
  });
  EXPECT_EQ(from_worker.kind, Reply::Kind::kTimedOut);
  EXPECT_EQ(from_platform.value, EncodableValue("platform"));
  EXPECT_EQ(events, std::vector<EncodableValue>{EncodableValue("platform")});
  EXPECT_EQ(host_calls,
            std::vector<EncodableValue>{EncodableValue("platform")});
  EXPECT_EQ(worker_channel.kind, Reply::Kind::kNotImplemented);
  EXPECT_EQ(platform_channel.kind, Reply::Kind::kSuccess);
  for (const char* refusal :
       {"FlutterDesktopMessengerSend refused on channel \"test/events\"",
        "FlutterDesktopMessengerSend refused on channel \"test/method\"",
        "FlutterDesktopMessengerSendResponse refused on channel "
        "\"test/method\"",
        "FlutterDesktopMessengerSetCallback refused on channel "
        "\"test/worker\""}) {
    EXPECT_NE(errors.find(refusal), std::string::npos) << refusal;
  }
}

TEST_F(EmbeddingTest, AHandlerThatClosesTheWindowEndsTheRestOfTheQueue) {
  std::string farewell;
  method_channel_->SetMethodCallHandler(
      [&, said = std::string(64, 'z')](
          const flutter::MethodCall<>& call,
          std::unique_ptr<flutter::MethodResult<>> result) {
        calls_.push_back(call.method_name());
        if (call.method_name() == "close") {
          // As closing the window does: the controller owns the engine.
          controller_.reset();
          ScribbleOverFreedMemory();
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
  PumpUntil([&] { return controller_ == nullptr; }, 5000);
  EXPECT_EQ(controller_, nullptr);
  EXPECT_EQ(calls_, std::vector<std::string>{"close"});
  EXPECT_EQ(farewell, std::string(64, 'z'));
}

TEST(EmbeddingLifecycleTest, ShutDownReleasesAWaitingApplication) {
  auto controller = std::make_unique<flutter::FlutterViewController>(
      100, 100, flutter::DartProject(test_support::PassiveProjectFolder()));
  ASSERT_NE(controller->view(), nullptr);
  FlutterDesktopAppMessengerRef app_ref = test_support::PassiveAppMessenger();
  ASSERT_NE(app_ref, nullptr);
  // An application waiting for anything at all: shutting the engine down
  // must end that wait, not hang.
  std::atomic<bool> stopped{false};
  std::thread waiting([&] {
    AppMessenger messenger(app_ref);
    while (messenger.RunPending(100000) >= 0) {
    }
    stopped = true;
  });
  Sleep(100);
  const DWORD start = GetTickCount();
  controller.reset();
  waiting.join();
  EXPECT_TRUE(stopped.load());
  EXPECT_LT(GetTickCount() - start, 3000u);
}

TEST(EmbeddingLifecycleTest, AnApplicationLeftBehindOnlyFindsTheEngineStopping) {
  const std::wstring folder = test_support::PassiveProjectFolder();
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
  ASSERT_TRUE(PumpUntil([] { return late_app::messenger.load() != nullptr; },
                        5000));
  // Waits out the application, then gives up on it.
  FlutterDesktopEngineDestroy(engine);

  // A new engine, likely where the old one was, with a host listening on
  // the channel the late application sends on.
  flutter::FlutterViewController controller(
      100, 100, flutter::DartProject(folder));
  ASSERT_NE(controller.view(), nullptr);
  int late_calls = 0;
  flutter::MethodChannel<> channel(controller.engine()->messenger(),
                                   "test/late",
                                   &flutter::StandardMethodCodec::GetInstance());
  channel.SetMethodCallHandler(
      [&](const flutter::MethodCall<>&,
          std::unique_ptr<flutter::MethodResult<>> result) {
        ++late_calls;
        result->Success();
      });

  SetEvent(late_app::release);
  ASSERT_TRUE(PumpUntil([] { return late_app::done.load(); }, 5000));
  EXPECT_EQ(late_app::reply_kind.load(),
            static_cast<int>(Reply::Kind::kTimedOut));
  EXPECT_EQ(late_app::run_pending.load(), -1);
  EXPECT_EQ(late_calls, 0);
}

TEST(EmbeddingLifecycleTest, AStartWithoutTheApplicationFailsCleanly) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  flutter::FlutterViewController controller(
      100, 100, flutter::DartProject(std::wstring(folder) + L"korvex-missing"));
  EXPECT_EQ(controller.view(), nullptr);
  ASSERT_NE(controller.engine(), nullptr);
  // A messenger left over from the failed start is inert, not dangling.
  flutter::MethodChannel<> channel(controller.engine()->messenger(), "x",
                                   &flutter::StandardMethodCodec::GetInstance());
  channel.InvokeMethod("y", nullptr);
  channel.SetMethodCallHandler(nullptr);
}

TEST(EmbeddingLifecycleTest, ShippedApplicationReceivesItsArguments) {
  const std::wstring log_path = test_support::TempFilePath(L"kvx");
  DeleteFileW(log_path.c_str());
  SetEnvironmentVariableW(L"KORVEX_APP_LOG", log_path.c_str());
  {
    flutter::DartProject project(test_support::OutputFolder() + L"\\data");
    project.set_dart_entrypoint_arguments(
        {"--autostart", "C:\\docs\\отчёт.kvd", "", "two words"});
    flutter::FlutterViewController controller(200, 100, project);
    ASSERT_NE(controller.view(), nullptr);
    PumpUntil(
        [&] {
          return test_support::ReadFileBytes(log_path).find("fileOpenReady ") !=
                 std::string::npos;
        },
        5000);
  }
  SetEnvironmentVariableW(L"KORVEX_APP_LOG", nullptr);
  const std::string log = test_support::ReadFileBytes(log_path);
  DeleteFileW(log_path.c_str());
  EXPECT_EQ(log,
            "start main\n"
            "argc 4\n"
            "arg --autostart\n"
            "arg C:\\\\docs\\\\отчёт.kvd\n"
            "arg\n"
            "arg two words\n"
            // Nobody serves the host's channels in this test.
            "call fileOpenReady\n"
            "fileOpenReady notImplemented\n"
            "stop\n");
}

TEST(EmbeddingLifecycleTest, PluginsRegisterAndTheWindowManagerShowsTheWindow) {
  auto controller = std::make_unique<flutter::FlutterViewController>(
      100, 100, flutter::DartProject(test_support::PassiveProjectFolder()));
  ASSERT_NE(controller->view(), nullptr);
  FlutterDesktopAppMessengerRef app_ref = test_support::PassiveAppMessenger();
  HWND view = controller->view()->GetNativeWindow();
  EXPECT_NE(GetWindowLongPtrW(view, GWL_STYLE) & WS_CHILD, 0);
  HWND top = CreateWindowExW(0, L"STATIC", L"runner", WS_OVERLAPPEDWINDOW, 0,
                             0, 400, 300, nullptr, nullptr, nullptr, nullptr);
  SetParent(view, top);
  // The engine gives top-level messages back unless a plug-in takes them.
  EXPECT_FALSE(
      controller->HandleTopLevelWindowProc(top, WM_SIZE, 0, 0).has_value());

  const std::pair<const wchar_t*, const char*> plugins[] = {
      {L"emoji_picker_flutter_plugin.dll",
       "EmojiPickerFlutterPluginCApiRegisterWithRegistrar"},
      {L"file_selector_windows_plugin.dll",
       "FileSelectorWindowsRegisterWithRegistrar"},
      {L"screen_retriever_windows_plugin.dll",
       "ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar"},
      {L"share_plus_plugin.dll", "SharePlusWindowsPluginCApiRegisterWithRegistrar"},
      {L"tray_manager_plugin.dll", "TrayManagerPluginRegisterWithRegistrar"},
      {L"url_launcher_windows_plugin.dll",
       "UrlLauncherWindowsRegisterWithRegistrar"},
      {L"window_manager_plugin.dll", "WindowManagerPluginRegisterWithRegistrar"},
  };
  std::vector<HMODULE> modules;
  for (const auto& plugin : plugins) {
    HMODULE module = LoadLibraryW(
        (test_support::OutputFolder() + L"\\" + plugin.first).c_str());
    ASSERT_NE(module, nullptr) << plugin.second;
    auto do_register = reinterpret_cast<void (*)(FlutterDesktopPluginRegistrarRef)>(
        reinterpret_cast<void*>(GetProcAddress(module, plugin.second)));
    ASSERT_NE(do_register, nullptr) << plugin.second;
    do_register(controller->engine()->GetRegistrarForPlugin(plugin.second));
    modules.push_back(module);
  }

  Reply before, show, after;
  std::atomic<bool> done{false};
  std::thread app([&] {
    AppMessenger messenger(app_ref);
    before = messenger.CallMethod("window_manager", "isVisible");
    show = messenger.CallMethod("window_manager", "show");
    after = messenger.CallMethod("window_manager", "isVisible");
    done = true;
  });
  PumpUntil([&] { return done.load(); }, 10000);
  app.join();
  EXPECT_EQ(before.value, EncodableValue(false));
  EXPECT_EQ(show.kind, Reply::Kind::kSuccess);
  EXPECT_EQ(after.value, EncodableValue(true));
  EXPECT_TRUE(IsWindowVisible(top));

  SetParent(view, HWND_MESSAGE);
  // The plug-ins go with the engine, before their libraries.
  controller.reset();
  for (HMODULE module : modules) {
    FreeLibrary(module);
  }
  DestroyWindow(top);
}

}  // namespace
