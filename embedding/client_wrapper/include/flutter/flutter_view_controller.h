#ifndef FLUTTER_VIEW_CONTROLLER_H_
#define FLUTTER_VIEW_CONTROLLER_H_

#include <flutter_windows.h>
#include <windows.h>

#include <memory>
#include <optional>

#include "dart_project.h"
#include "flutter_engine.h"
#include "flutter_view.h"

namespace flutter {

// Runs an engine with a view. After a failed start engine() is still set
// but view() is null.
class FlutterViewController {
 public:
  explicit FlutterViewController(int width,
                                 int height,
                                 const DartProject& project);
  virtual ~FlutterViewController();
  FlutterViewController(FlutterViewController const&) = delete;
  FlutterViewController& operator=(FlutterViewController const&) = delete;

  FlutterEngine* engine() const { return engine_.get(); }
  FlutterView* view() const { return view_.get(); }

  void ForceRedraw();

  // A value only when the engine consumed the message.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND hwnd,
                                                  UINT message,
                                                  WPARAM wparam,
                                                  LPARAM lparam);

 private:
  std::shared_ptr<FlutterEngine> engine_;
  FlutterDesktopViewControllerRef controller_ = nullptr;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter

#endif  // FLUTTER_VIEW_CONTROLLER_H_
