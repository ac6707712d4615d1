#ifndef FLUTTER_ENGINE_H_
#define FLUTTER_ENGINE_H_

#include <flutter_windows.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "binary_messenger.h"
#include "dart_project.h"
#include "plugin_registry.h"

namespace flutter {

class BinaryMessengerImpl;

// An engine instance running one application.
class FlutterEngine : public PluginRegistry {
 public:
  explicit FlutterEngine(const DartProject& project);
  virtual ~FlutterEngine();
  FlutterEngine(FlutterEngine const&) = delete;
  FlutterEngine& operator=(FlutterEngine const&) = delete;

  // Starts the application at its default entry point, or at the
  // project's named one.
  bool Run();
  bool Run(const char* entry_point);

  void ShutDown();

  std::chrono::nanoseconds ProcessMessages();

  void ReloadSystemFonts();

  FlutterDesktopPluginRegistrarRef GetRegistrarForPlugin(
      const std::string& plugin_name) override;

  // Null after shut-down.
  BinaryMessenger* messenger();

 private:
  friend class FlutterViewController;

  // Hands the engine to a view controller, which then owns it.
  FlutterDesktopEngineRef RelinquishEngine();

  FlutterDesktopEngineRef engine_ = nullptr;
  std::unique_ptr<BinaryMessenger> messenger_;
  bool owns_engine_ = true;
  bool has_been_run_ = false;
  std::string entry_point_;
};

}  // namespace flutter

#endif  // FLUTTER_ENGINE_H_
