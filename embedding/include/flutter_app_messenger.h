#ifndef FLUTTER_APP_MESSENGER_H_
#define FLUTTER_APP_MESSENGER_H_

// The application side of the channels. The application module
// ("data\app.so") and tests acting as the application use it; the host never
// does. Deliveries to the application run on whichever thread calls
// FlutterDesktopAppMessengerRunPending: the application's own thread.

#include <stddef.h>
#include <stdint.h>

#include "flutter_export.h"
#include "flutter_windows.h"

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct FlutterDesktopAppMessenger* FlutterDesktopAppMessengerRef;

// The reply owed to a message the platform sent with a reply.
typedef struct FlutterDesktopAppResponse FlutterDesktopAppResponse;

// A message from the platform (an event, or a call of the host's). |response|
// is null when the platform awaits no reply; otherwise answer it once with
// FlutterDesktopAppMessengerSendResponse.
typedef void (*FlutterDesktopAppMessageCallback)(
    const char* channel,
    const uint8_t* message,
    size_t message_size,
    FlutterDesktopAppResponse* response,
    void* user_data);

// The platform's reply; empty when no handler answered.
typedef void (*FlutterDesktopAppReplyCallback)(const uint8_t* reply,
                                               size_t reply_size,
                                               void* user_data);

// What "data\app.so" exports as "FlutterDesktopAppMain"; the engine calls it
// on the application's thread and the application returns from it once
// FlutterDesktopAppMessengerRunPending reports the engine stopping.
typedef int (*FlutterDesktopAppMainFunction)(FlutterDesktopAppMessengerRef messenger,
                                     const char* entrypoint,
                                     int argc,
                                     const char** argv);

FLUTTER_EXPORT FlutterDesktopAppMessengerRef
FlutterDesktopEngineGetAppMessenger(FlutterDesktopEngineRef engine);

// |reply| may be null. False once the engine is stopping.
FLUTTER_EXPORT bool FlutterDesktopAppMessengerSend(
    FlutterDesktopAppMessengerRef messenger,
    const char* channel,
    const uint8_t* message,
    size_t message_size,
    FlutterDesktopAppReplyCallback reply,
    void* user_data);

// A null callback removes the channel's handler.
FLUTTER_EXPORT void FlutterDesktopAppMessengerSetCallback(
    FlutterDesktopAppMessengerRef messenger,
    const char* channel,
    FlutterDesktopAppMessageCallback callback,
    void* user_data);

FLUTTER_EXPORT void FlutterDesktopAppMessengerSendResponse(
    FlutterDesktopAppMessengerRef messenger,
    FlutterDesktopAppResponse* response,
    const uint8_t* data,
    size_t data_size);

// Runs pending deliveries on the calling thread, waiting up to |timeout_ms|
// for the first. Returns how many ran, or -1 once the engine is stopping
// and nothing is left.
FLUTTER_EXPORT int FlutterDesktopAppMessengerRunPending(
    FlutterDesktopAppMessengerRef messenger,
    uint32_t timeout_ms);

#if defined(__cplusplus)
}  // extern "C"
#endif

#endif  // FLUTTER_APP_MESSENGER_H_
