#include "include/flutter/flutter_engine.h"

#include <iostream>
#include <vector>

#include "binary_messenger_impl.h"

namespace flutter {

FlutterEngine::FlutterEngine(const DartProject& project) {
  FlutterDesktopEngineProperties c_properties = {};
  c_properties.assets_path = project.assets_path().c_str();
  c_properties.icu_data_path = project.icu_data_path().c_str();
  c_properties.aot_library_path = project.aot_library_path().c_str();
  c_properties.dart_entrypoint = project.dart_entrypoint().c_str();
  c_properties.gpu_preference =
      static_cast<FlutterDesktopGpuPreference>(project.gpu_preference());

  const std::vector<std::string>& arguments =
      project.dart_entrypoint_arguments();
  std::vector<const char*> argv;
  argv.reserve(arguments.size());
  for (const auto& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  c_properties.dart_entrypoint_argc = static_cast<int>(argv.size());
  c_properties.dart_entrypoint_argv = argv.empty() ? nullptr : argv.data();

  engine_ = FlutterDesktopEngineCreate(&c_properties);
  if (engine_) {
    messenger_ = std::make_unique<BinaryMessengerImpl>(
        FlutterDesktopEngineGetMessenger(engine_));
  }
  entry_point_ = project.dart_entrypoint();
}

FlutterEngine::~FlutterEngine() {
  ShutDown();
}

bool FlutterEngine::Run() {
  return Run(entry_point_.empty() ? nullptr : entry_point_.c_str());
}

bool FlutterEngine::Run(const char* entry_point) {
  if (!engine_) {
    std::cerr << "Cannot run an engine that failed creation." << std::endl;
    return false;
  }
  if (has_been_run_) {
    std::cerr << "Cannot run an engine more than once." << std::endl;
    return false;
  }
  has_been_run_ = FlutterDesktopEngineRun(engine_, entry_point);
  if (!has_been_run_) {
    std::cerr << "Failed to start engine." << std::endl;
  }
  return has_been_run_;
}

void FlutterEngine::ShutDown() {
  if (engine_ && owns_engine_) {
    FlutterDesktopEngineDestroy(engine_);
  }
  engine_ = nullptr;
}

std::chrono::nanoseconds FlutterEngine::ProcessMessages() {
  return std::chrono::nanoseconds(
      engine_ ? FlutterDesktopEngineProcessMessages(engine_) : 0);
}

void FlutterEngine::ReloadSystemFonts() {
  if (engine_) {
    FlutterDesktopEngineReloadSystemFonts(engine_);
  }
}

FlutterDesktopPluginRegistrarRef FlutterEngine::GetRegistrarForPlugin(
    const std::string& plugin_name) {
  if (!engine_) {
    std::cerr << "Cannot get plugin registrar on an engine that isn't running."
              << std::endl;
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(engine_, plugin_name.c_str());
}

BinaryMessenger* FlutterEngine::messenger() {
  return messenger_.get();
}

FlutterDesktopEngineRef FlutterEngine::RelinquishEngine() {
  owns_engine_ = false;
  return engine_;
}

}  // namespace flutter
