#pragma once

#include <string>

#include "platform/ui/Types.h"

namespace launcher {

// What the launcher window reports to its owner.
class LauncherEvents {
 public:
  virtual ~LauncherEvents() = default;
  // WM_DESTROY: the handles are already forgotten.
  virtual void onLauncherDestroyed() = 0;
  virtual void onActionButton() = 0;
  // After the box toggled itself.
  virtual void onCheckBox() = 0;
  virtual void onProgressTimer() = 0;
  // The restart timer is one-shot: it is stopped before this call.
  virtual void onRestartTimer() = 0;
};

// The small fixed window with status line, error line, progress bar, check
// box "Качать звуки" and the action button. UI thread only.
class LauncherWindow {
 public:
  enum class Timer : unsigned { Progress = 1, Restart = 2 };
  // The progress poll while a file downloads.
  static constexpr unsigned progressPeriodMs = 300;
  static constexpr int Width = 320;
  static constexpr int Height = 168;

  explicit LauncherWindow(LauncherEvents& events);
  ~LauncherWindow();
  LauncherWindow(const LauncherWindow&) = delete;
  LauncherWindow& operator=(const LauncherWindow&) = delete;

  // Makes the window (hidden) and its controls; an older window is destroyed
  // after the new one exists.
  void create();
  void destroy();
  bool exists() const { return window_ != nullptr; }

  void show();
  void hide();
  bool isVisible() const;
  void redraw();

  void setStatus(const std::string& text);
  std::string status() const;
  void setError(const std::string& text);
  std::string error() const;
  void setButtonCaption(const std::string& text);
  std::string buttonCaption() const;
  void setButtonEnabled(bool enabled);
  void setChecked(bool checked);
  bool isChecked() const;
  void setCheckEnabled(bool enabled);
  bool isCheckEnabled() const;
  void setProgressRange(int low, int high);
  void setProgressPos(int pos);
  void setProgressMarquee(bool on);
  void showProgress(bool shown);
  bool isProgressShown() const;

  // A timer of the same kind is replaced.
  void setTimer(Timer timer, unsigned ms);
  void killTimer(Timer timer);

  platform::ui::WindowHandle window() const { return window_; }
  platform::ui::WindowHandle statusLine() const { return status_; }
  platform::ui::WindowHandle errorLine() const { return error_; }
  platform::ui::WindowHandle progressBar() const { return progress_; }
  platform::ui::WindowHandle checkBox() const { return check_; }
  platform::ui::WindowHandle actionButton() const { return button_; }

 private:
  platform::ui::LResult handle(platform::ui::WindowHandle w, unsigned msg, platform::ui::WParam wp,
                               platform::ui::LParam lp);
  void forget();

  LauncherEvents& events_;
  platform::ui::WindowHandle window_ = nullptr;
  platform::ui::WindowHandle status_ = nullptr;
  platform::ui::WindowHandle error_ = nullptr;
  platform::ui::WindowHandle progress_ = nullptr;
  platform::ui::WindowHandle check_ = nullptr;
  platform::ui::WindowHandle button_ = nullptr;
};

}  // namespace launcher
