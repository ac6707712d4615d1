#ifndef FLUTTER_DART_PROJECT_H_
#define FLUTTER_DART_PROJECT_H_

#include <windows.h>

#include <string>
#include <vector>

namespace flutter {

enum class GpuPreference {
  NoPreference,
  LowPowerPreference,
};

// Where the application's files are, and what its entry point receives.
class DartProject {
 public:
  // |path| is the folder of the assets, ICU data and AOT library: absolute,
  // or relative to the executable's folder.
  explicit DartProject(const std::wstring& path) {
    assets_path_ = path + L"\\flutter_assets";
    icu_data_path_ = path + L"\\icudtl.dat";
    aot_library_path_ = path + L"\\app.so";
  }
  ~DartProject() = default;

  void set_dart_entrypoint(const std::string& entrypoint) {
    if (entrypoint.empty()) {
      return;
    }
    dart_entrypoint_ = entrypoint;
  }
  const std::string& dart_entrypoint() const { return dart_entrypoint_; }

  void set_dart_entrypoint_arguments(std::vector<std::string> arguments) {
    dart_entrypoint_arguments_ = std::move(arguments);
  }
  const std::vector<std::string>& dart_entrypoint_arguments() const {
    return dart_entrypoint_arguments_;
  }

  void set_gpu_preference(GpuPreference gpu_preference) {
    gpu_preference_ = gpu_preference;
  }
  GpuPreference gpu_preference() const { return gpu_preference_; }

 private:
  friend class FlutterEngine;
  friend class FlutterViewController;

  const std::wstring& assets_path() const { return assets_path_; }
  const std::wstring& icu_data_path() const { return icu_data_path_; }
  const std::wstring& aot_library_path() const { return aot_library_path_; }

  std::wstring assets_path_;
  std::wstring icu_data_path_;
  std::wstring aot_library_path_;
  std::string dart_entrypoint_;
  std::vector<std::string> dart_entrypoint_arguments_;
  GpuPreference gpu_preference_ = GpuPreference::NoPreference;
};

}  // namespace flutter

#endif  // FLUTTER_DART_PROJECT_H_
