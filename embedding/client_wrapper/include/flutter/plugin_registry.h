#ifndef FLUTTER_PLUGIN_REGISTRY_H_
#define FLUTTER_PLUGIN_REGISTRY_H_

#include <flutter_plugin_registrar.h>

#include <string>

namespace flutter {

// Hands out a registrar per plug-in name.
class PluginRegistry {
 public:
  PluginRegistry() = default;
  virtual ~PluginRegistry() = default;
  PluginRegistry(PluginRegistry const&) = delete;
  PluginRegistry& operator=(PluginRegistry const&) = delete;

  virtual FlutterDesktopPluginRegistrarRef GetRegistrarForPlugin(
      const std::string& plugin_name) = 0;
};

}  // namespace flutter

#endif  // FLUTTER_PLUGIN_REGISTRY_H_
