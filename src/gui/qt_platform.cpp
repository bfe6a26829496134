#include "gui/qt_platform.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <exception>
#include <thread>

#include "gui/latin1.h"
#include "util/precise_pause.h"
#include "util/restart.h"

namespace velimo::gui {

namespace {

// A tick runs guarded as the operator's handlers do: an error it raises
// (a log line that cannot be written, say) goes to the default error
// report and the program goes on. Escaping into Qt's event loop it would
// end the program.
class QtTimer : public PlatformTimer {
 public:
  QtTimer(Platform& platform, std::function<void()> onTick) {
    QObject::connect(&timer_, &QTimer::timeout, [&platform, fn = std::move(onTick)] {
      if (fn) RunGuarded(platform, fn);
    });
  }
  void Start(int intervalMs) override { timer_.start(intervalMs > 0 ? intervalMs : 1); }
  void Stop() override { timer_.stop(); }
  bool Active() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
};

// Keeps the count of open boxes right however exec() is left, and while
// the window shows itself busy puts the arrow over the box, which waits for
// the operator, not for the modem.
struct BoxCounter {
  BoxCounter(int& n, bool busy) : n_(n), busy_(busy) {
    ++n_;
    if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~BoxCounter() {
    if (busy_) QApplication::restoreOverrideCursor();
    --n_;
  }
  BoxCounter(const BoxCounter&) = delete;
  BoxCounter& operator=(const BoxCounter&) = delete;
  int& n_;
  bool busy_;
};

}  // namespace

QtPlatform::QtPlatform() {
  start_new_instance = [] { return StartDetached(OwnRestartCommand()) > 0; };
}

QtPlatform::~QtPlatform() = default;

QWidget* QtPlatform::DialogParent() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (owner_ && owner_->isVisible()) return owner_;
  return QApplication::activeWindow();
}

bool QtPlatform::ModalOpen() const {
  return QApplication::activeModalWidget() != nullptr;
}

void QtPlatform::ShowMessage(std::string_view text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle), ToQt(text),
                  QMessageBox::Ok, DialogParent());
  box.setTextFormat(Qt::PlainText);
  box.setObjectName(QStringLiteral("VelimoMessage"));
  BoxCounter count(open_boxes_, Busy());
  box.exec();  // nested event loop: port events and timers are served
}

bool QtPlatform::Confirm(std::string_view text) {
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(kApplicationTitle), ToQt(text),
                  QMessageBox::Yes | QMessageBox::No, DialogParent());
  box.setTextFormat(Qt::PlainText);
  box.setObjectName(QStringLiteral("VelimoConfirm"));
  // The questions are asked before something that cannot be undone (a
  // reset, stopping an apply): the default answer, and the focus, are No,
  // so a stray Return or Space changes nothing. Escape and the close box
  // answer No too; only No stops the action asked for.
  box.setDefaultButton(QMessageBox::No);
  box.button(QMessageBox::No)->setFocus();
  box.setEscapeButton(QMessageBox::No);
  BoxCounter count(open_boxes_, Busy());
  box.exec();
  return box.clickedButton() != box.button(QMessageBox::No);
}

void QtPlatform::ShowError(std::string_view text) {
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), ToQt(text),
                  QMessageBox::Ok, DialogParent());
  box.setTextFormat(Qt::PlainText);
  box.setObjectName(QStringLiteral("VelimoError"));
  BoxCounter count(open_boxes_, Busy());
  box.exec();
}

void QtPlatform::Pause(int ms) {
  // Blocks the user-interface thread on purpose: received bytes wait in the
  // driver's queue and no timer fires meanwhile.
  PrecisePause(ms);
}

LocalDateTime QtPlatform::Now() {
  const QDateTime now = QDateTime::currentDateTime();
  const QDate d = now.date();
  const QTime t = now.time();
  return LocalDateTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()};
}

int64_t QtPlatform::MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

namespace {

// A descriptor watched by the event loop, modal loops included; its
// callback (device arrival and removal, a finished port search) runs
// guarded as a timer's tick does.
class NotifierWatch : public PlatformWatch {
 public:
  NotifierWatch(Platform& platform, int fd, std::function<void()> onReady)
      : notifier_(fd, QSocketNotifier::Read), on_ready_(std::move(onReady)) {
    QObject::connect(&notifier_, &QSocketNotifier::activated, [this, &platform] {
      if (on_ready_) RunGuarded(platform, on_ready_);
    });
  }

 private:
  QSocketNotifier notifier_;
  std::function<void()> on_ready_;
};

}  // namespace

std::unique_ptr<PlatformWatch> QtPlatform::WatchReadable(int fd, std::function<void()> onReady) {
  if (fd < 0) return nullptr;
  return std::make_unique<NotifierWatch>(*this, fd, std::move(onReady));
}

std::unique_ptr<PlatformTimer> QtPlatform::CreateTimer(std::function<void()> onTick) {
  return std::make_unique<QtTimer>(*this, std::move(onTick));
}

void QtPlatform::RestartApplication() {
  if (start_new_instance) start_new_instance();
  if (before_restart) before_restart();
  // Ends every running event loop, nested ones included, without closing the
  // main window, so its close handler (the settings writer) does not run.
  QCoreApplication::exit(0);
}

void QtPlatform::BeginBusy() {
  if (busy_depth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtPlatform::EndBusy() {
  if (busy_depth_ == 0) return;
  if (--busy_depth_ == 0) QApplication::restoreOverrideCursor();
}

void RunGuarded(Platform& platform, const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    platform.ShowError(DefaultErrorText(e.what()));
  } catch (...) {
    platform.ShowError(DefaultErrorText("Unknown error"));
  }
}

}  // namespace velimo::gui
