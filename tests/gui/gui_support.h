// Helpers of the GUI tests: answering the modal message boxes that the
// program opens (each runs its own nested loop, so the answer comes from a
// timer), a working directory of the test's own, screenshots.
#pragma once

#include <QDir>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <ostream>
#include <vector>

#include "support/test_limits.h"

class QWidget;

// Failure messages show a QString as text.
inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}

namespace velimo::test {

class ModalWatcher : public QObject {
 public:
  struct Seen {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
  };

  ModalWatcher();
  ~ModalWatcher() override;

  // Decides about an open box; returns true once it has answered it, false
  // to look again a moment later. The default clicks OK, or Yes.
  std::function<bool(QMessageBox& box)> answer;

  std::vector<Seen> seen;
  std::vector<QString> Texts() const;

  static bool ClickDefault(QMessageBox& box);

 private:
  void Poll();
  QTimer timer_;
};

// Runs the test in a fresh empty working directory (settings file, logs).
class WorkDir {
 public:
  WorkDir();
  ~WorkDir();
  QString Path() const { return dir_.path(); }
  void Write(const QString& name, const QByteArray& content) const;
  QString Read(const QString& name) const;

 private:
  QTemporaryDir dir_;
  QString old_;
};

// The same, with the screen's size and scale in the name, for pictures
// taken on each of the test screens.
QString SaveScreenshotPerScreen(QWidget& widget, const QString& name);
// Writes widget's picture to <build>/screenshots/<name>.png; returns the path.
QString SaveScreenshot(QWidget& widget, const QString& name);

// Serves events until done() or the time is up; returns done(). What a
// test waits for with it is a condition; the bound is generous and reached
// only when the condition never holds.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = kGenerousMs);
// Delivers the events already posted (layout requests, the window
// system's resizes) and those they post in turn, without waiting for time
// to pass: what a layout does on its own events has been done when it
// returns.
void SettleLayouts();

}  // namespace velimo::test
