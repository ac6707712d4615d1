#ifndef FLUTTER_PLUGIN_REGISTRAR_H_CPP_
#define FLUTTER_PLUGIN_REGISTRAR_H_CPP_

#include <flutter_plugin_registrar.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "binary_messenger.h"

namespace flutter {

class Plugin;

// What a plug-in registers its channels and itself with.
class PluginRegistrar {
 public:
  explicit PluginRegistrar(FlutterDesktopPluginRegistrarRef core_registrar);
  virtual ~PluginRegistrar();
  PluginRegistrar(PluginRegistrar const&) = delete;
  PluginRegistrar& operator=(PluginRegistrar const&) = delete;

  BinaryMessenger* messenger() { return messenger_.get(); }

  // Keeps |plugin| alive as long as the registrar.
  void AddPlugin(std::unique_ptr<Plugin> plugin);

 protected:
  FlutterDesktopPluginRegistrarRef registrar() const { return registrar_; }
  void ClearPlugins();

 private:
  FlutterDesktopPluginRegistrarRef registrar_;
  std::unique_ptr<BinaryMessenger> messenger_;
  std::set<std::unique_ptr<Plugin>> plugins_;
};

// A plug-in: owned by its registrar.
class Plugin {
 public:
  virtual ~Plugin() = default;
};

// Keeps one wrapper registrar per core registrar and destroys it with the
// engine.
class PluginRegistrarManager {
 public:
  static PluginRegistrarManager* GetInstance();

  PluginRegistrarManager(PluginRegistrarManager const&) = delete;
  PluginRegistrarManager& operator=(PluginRegistrarManager const&) = delete;

  template <class T>
  T* GetRegistrar(FlutterDesktopPluginRegistrarRef registrar_ref) {
    auto insert_result =
        registrars_.emplace(registrar_ref, std::make_unique<T>(registrar_ref));
    auto& registrar_pair = *(insert_result.first);
    FlutterDesktopPluginRegistrarSetDestructionHandler(registrar_pair.first,
                                                       OnRegistrarDestroyed);
    return static_cast<T*>(registrar_pair.second.get());
  }

  void Reset() { registrars_.clear(); }

 private:
  PluginRegistrarManager();
  using WrapperMap = std::map<FlutterDesktopPluginRegistrarRef,
                              std::unique_ptr<PluginRegistrar>>;
  static void OnRegistrarDestroyed(FlutterDesktopPluginRegistrarRef registrar);
  WrapperMap* registrars() { return &registrars_; }
  WrapperMap registrars_;
};

}  // namespace flutter

#endif  // FLUTTER_PLUGIN_REGISTRAR_H_CPP_
