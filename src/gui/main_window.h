// The main window on screen, over the form model TForm_main: its declared
// size is its default and its minimum (cut to the screen's free area, where
// the pages then scroll); it may be resized and maximised beyond that, and
// its size is remembered between runs; centred and whole on the screen at
// its first showing;
// the menus, the left column of picture buttons, the page strip with hidden
// tabs drawn as the model says, the two buttons over the lower edge of the
// page area, the status bar and the trace pane.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTabBar>
#include <memory>

#include "gui/control_view.h"

class QStackedWidget;
class QLabel;
class QScrollArea;

namespace velimo::forms {
class TForm_main;
}

namespace velimo::gui {

class ProfileMenu;
class QtPlatform;
class TraceView;

// Paints the page tabs as the model's PageControl1DrawTab describes them.
class PageTabBar : public QTabBar {
  Q_OBJECT
 public:
  PageTabBar(forms::TForm_main& form, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  forms::TForm_main& form_;
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // Layout of the client area.
  static constexpr int kLeftWidth = 200;
  static constexpr int kPageWidth = 800;
  static constexpr int kMemoHeight = 128;

  MainWindow(forms::TForm_main& form, QtPlatform& platform, QWidget* parent = nullptr);
  ~MainWindow() override;

  ControlView& View() { return *view_; }
  QStackedWidget* PageStack() const { return stack_; }
  PageTabBar* TabBar() const { return tabs_; }
  TraceView* Trace() const { return trace_; }
  QScrollArea* BodyScroll() const { return scroll_; }
  // The pages are built when first shown (the window opens faster); this
  // builds every page now, for tools that look at all widgets at once.
  void BuildAllPages();
  bool PageBuilt(int index) const;
  // The "Profile" menu beside "Connection" and its dialogs.
  ProfileMenu* Profiles() const { return profiles_; }
  // The picture of image-list entry index (0 to 5).
  static QPixmap Glyph(int index);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool Intercept(forms::Control& control, forms::ControlProperty property);
  QPixmap Picture(const forms::Control& control, int index) const;
  void BuildMenus();
  void BuildShortcuts();
  QWidget* BuildLeftColumn(QWidget* parent);
  QWidget* BuildPageArea(QWidget* parent);
  QWidget* BuildStatusBar(QWidget* parent);
  void ApplyPageIndex();
  void ApplyStatusBar();
  void ApplyWindowSize();
  // The declared size, cut to what the screen has room for.
  QSize FittedSize(QSize wanted) const;
  // Moves the window, frame and all, inside the screen's available area.
  void KeepOnScreen();
  static QString StatusPanelName(size_t index, const QString& text);
  void ApplyFocus();
  void PlaceOverlayButtons();
  void EnsurePage(int index);

  forms::TForm_main& form_;
  QtPlatform& platform_;
  std::unique_ptr<ControlView> view_;
  QScrollArea* scroll_ = nullptr;
  QWidget* body_ = nullptr;
  QSize frame_extra_;  // the window system's frame round the client area
  bool placed_ = false;
  // The window's default size as last applied, and the pages' declared
  // height, which they keep in a taller window.
  QSize default_size_;
  int declared_body_height_ = 0;
  bool size_applied_ = false;
  QWidget* pane_area_ = nullptr;
  QWidget* page_frame_ = nullptr;
  PageTabBar* tabs_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QWidget* blank_page_ = nullptr;
  std::vector<bool> page_built_;
  // Pages are built once the window has been activated: activation hides
  // every tab, which steps the active page through all of them.
  bool pages_may_build_ = false;
  QWidget* status_bar_ = nullptr;
  // The size the window was last given by this program, until the resize
  // it causes has been seen.
  QSize programmatic_size_;
  std::vector<QLabel*> status_panels_;
  TraceView* trace_ = nullptr;
  bool first_show_done_ = false;
  bool restarting_ = false;
  ProfileMenu* profiles_ = nullptr;
};

}  // namespace velimo::gui
