#include "gui_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>

namespace velimo::test {

ModalWatcher::ModalWatcher() {
  connect(&timer_, &QTimer::timeout, this, &ModalWatcher::Poll);
  timer_.start(5);
}

ModalWatcher::~ModalWatcher() = default;

std::vector<QString> ModalWatcher::Texts() const {
  std::vector<QString> out;
  for (const Seen& s : seen) out.push_back(s.text);
  return out;
}

bool ModalWatcher::ClickDefault(QMessageBox& box) {
  for (auto which : {QMessageBox::Ok, QMessageBox::Yes}) {
    if (QAbstractButton* b = box.button(which)) {
      b->click();
      return true;
    }
  }
  box.reject();
  return true;
}

void ModalWatcher::Poll() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (!box || !box->isVisible()) return;
  if (!box->property("velimoTestSeen").toBool()) {
    box->setProperty("velimoTestSeen", true);
    seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
  }
  if (answer) {
    answer(*box);
  } else {
    ClickDefault(*box);
  }
}

WorkDir::WorkDir() : old_(QDir::currentPath()) {
  QDir::setCurrent(dir_.path());
}

WorkDir::~WorkDir() {
  QDir::setCurrent(old_);
}

void WorkDir::Write(const QString& name, const QByteArray& content) const {
  QFile f(QDir(dir_.path()).filePath(name));
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(content);
}

QString WorkDir::Read(const QString& name) const {
  QFile f(QDir(dir_.path()).filePath(name));
  return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

QString SaveScreenshot(QWidget& widget, const QString& name) {
  const QDir dir(QStringLiteral(VELIMO_SCREENSHOT_DIR));
  QDir().mkpath(dir.path());
  const QString path = dir.filePath(name + QStringLiteral(".png"));
  widget.grab().save(path, "PNG");
  return path;
}

QString SaveScreenshotPerScreen(QWidget& widget, const QString& name) {
  QString suffix;
  if (const QScreen* s = widget.screen()) {
    suffix = QStringLiteral("_%1x%2_scale%3")
                 .arg(s->size().width())
                 .arg(s->size().height())
                 .arg(s->devicePixelRatio());
  }
  return SaveScreenshot(widget, name + suffix);
}

void SettleLayouts() {
  // A layout's request posts the resizes of its children, whose layouts
  // post theirs: a round per level of nesting, far fewer than these.
  for (int round = 0; round < 16; ++round) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < timeoutMs) QTest::qWait(5);
  return done();
}

}  // namespace velimo::test
