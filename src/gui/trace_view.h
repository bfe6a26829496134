// The trace pane on screen: white fixed-pitch text on black, wrapped at any
// character at the pane's width, vertical scroll bar only. Lines arrive
// from the pane model in batches: the first change arms a short timer and
// everything that piles up until it fires is drawn at once, so a flood of
// received lines repaints a few times a second, not once per line.
#pragma once

#include <QPlainTextEdit>
#include <QTimer>

namespace velimo::trace {
class TracePane;
}

namespace velimo::gui {

class TraceView : public QPlainTextEdit {
  Q_OBJECT
 public:
  static constexpr int kBatchMs = 40;

  TraceView(trace::TracePane& pane, QWidget* parent = nullptr);
  ~TraceView() override;

  // Draws what has piled up now instead of at the next batch.
  void Flush();
  // Tells the pane model how many characters fit on a line when the pane
  // is `pixels` wide, before it has been laid out (while hidden, say): the
  // model counts wrapped lines even for a pane nobody sees.
  void AssumeWidth(int pixels);
  // How many batches have been drawn (for tests and the benchmark).
  int BatchesDrawn() const { return batches_; }
  // As tall as its minimum by default: a window laid out at its declared
  // size gives the pane that much, and only a taller window more.
  QSize sizeHint() const override { return {QPlainTextEdit::sizeHint().width(), minimumHeight()}; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void TellWidth();
  void TellCharacters(int viewportPixels);

  trace::TracePane& pane_;
  QTimer batch_;
  int batches_ = 0;
};

}  // namespace velimo::gui
