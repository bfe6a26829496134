#include "gui/main_window.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmapCache>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionTab>
#include <QTimer>
#include <QVBoxLayout>

#include "forms/controls/mnemonics.h"
#include "forms/form_main.h"
#include "gui/accessibility.h"
#include "gui/latin1.h"
#include "gui/profile_window.h"
#include "gui/qt_platform.h"
#include "gui/trace_view.h"

namespace velimo::gui {

using forms::Control;
using forms::ControlKind;
using forms::ControlProperty;

namespace {

constexpr int kPaneMargin = 10;
// The status bar panel that tells the link's state.
constexpr size_t kConnectionPanel = 1;
constexpr int kLoadWidth = 100;
constexpr int kFactoryWidth = 140;
constexpr int kOverlayHeight = 28;
constexpr int kOverlayGap = 6;
constexpr int kFrameSettleMs = 1000;
constexpr int kFrameSettleStepMs = 25;

// The right-hand area: the page strip, with the two buttons lying over the
// lower edge of its page area.
class PaneArea : public QWidget {
 public:
  using QWidget::QWidget;
  std::function<void()> on_resize;

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    if (on_resize) on_resize();
  }
};

// A status-bar panel: at least its declared width, wider when its text
// needs it and the bar has room (a Linux device name is longer than a
// COM name), and cut in the middle beyond that, the whole text then in its
// tooltip. A screen reader always gets the whole text.
class StatusPanelLabel : public QLabel {
 public:
  StatusPanelLabel(int declaredWidth, QWidget* parent)
      : QLabel(parent), declared_width_(declaredWidth) {
    setMinimumWidth(declaredWidth);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  }

  void SetPanelText(const QString& text) {
    setText(text);
    updateGeometry();
    UpdateTip();
  }
  bool Elided() const { return TextWidth() > contentsRect().width(); }

  QSize sizeHint() const override {
    const QSize hint = QLabel::sizeHint();
    return {std::max(declared_width_, TextWidth() + 2 * frameWidth()), hint.height()};
  }
  QSize minimumSizeHint() const override { return {declared_width_, QLabel::sizeHint().height()}; }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    UpdateTip();
  }
  void paintEvent(QPaintEvent* event) override {
    if (!Elided()) {
      QLabel::paintEvent(event);
      return;
    }
    QFrame::paintEvent(event);
    QPainter p(this);
    const QRect r = contentsRect().adjusted(kPad, 0, -kPad, 0);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter,
               fontMetrics().elidedText(text(), Qt::ElideMiddle, r.width()));
  }

 private:
  static constexpr int kPad = 2;
  int TextWidth() const { return fontMetrics().horizontalAdvance(text()) + 2 * kPad + 2; }
  void UpdateTip() { setToolTip(Elided() ? text() : QString()); }

  int declared_width_;
};

const forms::LayoutNode* FindNode(const forms::LayoutNode& root, const Control& control) {
  if (root.type == forms::NodeType::Control && root.control == &control) return &root;
  for (const auto& child : root.children) {
    if (const forms::LayoutNode* found = FindNode(child, control)) return found;
  }
  return nullptr;
}

ViewMetrics MainMetrics() {
  ViewMetrics m;
  m.page_margin = kPaneMargin;
  // A page's own save-all sits just right of " Load" and "Factory Default".
  m.bottom_reserved = kPaneMargin + kLoadWidth + kOverlayGap + kFactoryWidth + kOverlayGap;
  m.button_height = kOverlayHeight;
  return m;
}

}  // namespace

// ---------------------------------------------------------------------------
// PageTabBar

PageTabBar::PageTabBar(forms::TForm_main& form, QWidget* parent) : QTabBar(parent), form_(form) {
  setDrawBase(false);
  setExpanding(false);
}

void PageTabBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor face = palette().color(QPalette::Button);
  const QColor text = palette().color(QPalette::ButtonText);
  for (int i = 0; i < count(); ++i) {
    if (!isTabVisible(i)) continue;
    const QRect r = tabRect(i);
    const forms::TabDrawing d = form_.PageControl1DrawTab(i, i == currentIndex());
    const QColor fill = d.system_face ? face : QColor(d.brush.r, d.brush.g, d.brush.b);
    if (d.outlined) {
      p.setPen(text);
      p.setBrush(fill);
      p.drawRect(r.adjusted(0, 0, -1, -1));
    } else {
      p.fillRect(r, fill);
    }
    p.setPen(text);
    const QFontMetrics fm(font());
    p.drawText(r.topLeft() + QPoint(d.text_dx, d.text_dy + fm.ascent()), ToQt(d.text));
  }
}

// ---------------------------------------------------------------------------
// MainWindow

MainWindow::MainWindow(forms::TForm_main& form, QtPlatform& platform, QWidget* parent)
    : QMainWindow(parent),
      form_(form),
      platform_(platform),
      view_(std::make_unique<ControlView>(platform, MainMetrics())) {
  // A desktop window: it opens at its declared size, which is also the
  // least it takes, and may be resized and maximised beyond it.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  platform_.SetOwnerWindow(this);
  view_->AddNames(form_.FrameLayout());
  view_->pictures = [this](const Control& c, int index) { return Picture(c, index); };
  view_->intercept = [this](Control& c, ControlProperty p) { return Intercept(c, p); };

  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("central"));
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  // Left column and pages keep the size they have in a window of the
  // declared size; on a screen too small for that the window shrinks to
  // what fits and they scroll, the status bar and trace pane staying in view.
  scroll_ = new QScrollArea(central);
  scroll_->setObjectName(QStringLiteral("bodyScroll"));
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  auto* body = new QWidget;
  body_ = body;
  body->setObjectName(QStringLiteral("body"));
  auto* row = new QHBoxLayout(body);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(BuildLeftColumn(body), 0, Qt::AlignTop);
  row->addWidget(BuildPageArea(body), 1);
  scroll_->setWidget(body);
  column->addWidget(scroll_, 1);
  column->addWidget(BuildStatusBar(central));
  trace_ = new TraceView(*form_.Memo.Pane(), central);
  // At least its declared height; a taller window gives it the rest.
  trace_->setMinimumHeight(kMemoHeight);
  column->addWidget(trace_);
  setCentralWidget(central);
  BuildMenus();
  BuildShortcuts();
  // Containers hand the focus on; only what the operator works with takes it.
  scroll_->setFocusPolicy(Qt::NoFocus);
  tabs_->setFocusPolicy(Qt::NoFocus);
  // A wheel turned over a list or spin box while the page scrolls moves
  // the page, not the value: the value changes by wheel only with focus.
  qApp->installEventFilter(this);

  view_->Bind(form_.Memo, trace_);
  view_->Bind(form_.StatusBar1, status_bar_);
  view_->Bind(form_.Window, this);

  // The port's event thread wakes the user-interface thread through a
  // posted call; the batch then runs here, also inside a message box's
  // nested loop, never inside a pause.
  form_.ComPortEnvBoard.SetWakeHook([this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          try {
            form_.ComPortEnvBoard.ProcessPendingEvents();
          } catch (...) {
            // The port's event processing reports nothing to the operator.
          }
        },
        Qt::QueuedConnection);
  });
}

MainWindow::~MainWindow() {
  try {
    form_.FormDestroy();
  } catch (...) {
    // Ending anyway; the port component closes itself when destroyed.
  }
  form_.ComPortEnvBoard.SetWakeHook(nullptr);
  platform_.SetOwnerWindow(nullptr);
}

QPixmap MainWindow::Glyph(int index) {
  static const char* const kFiles[] = {
      ":/velimo/glyph0_info.png",   ":/velimo/glyph1_info_selected.png",
      ":/velimo/glyph2_lora.png",   ":/velimo/glyph3_lora_selected.png",
      ":/velimo/glyph4_serial.png", ":/velimo/glyph5_serial_selected.png",
  };
  if (index < 0 || index >= forms::ImageList1::kCount) return {};
  // Decoded once; every navigation swaps the three glyphs.
  const QString file = QString::fromLatin1(kFiles[index]);
  QPixmap pm;
  if (!QPixmapCache::find(file, &pm)) {
    pm = QPixmap(file);
    QPixmapCache::insert(file, pm);
  }
  return pm;
}

QPixmap MainWindow::Picture(const Control& control, int index) const {
  if (control.Kind() == ControlKind::Image) {
    if (&control == &form_.Img_S_PinMap) return QPixmap(QStringLiteral(":/velimo/pinmap.png"));
    return {};
  }
  if (index >= 0) return Glyph(index);
  // The buttons' own pictures, shown only while no model is selected.
  if (&control == &form_.Btn_Left_Info) return Glyph(forms::ImageList1::kInfoNormal);
  if (&control == &form_.Btn_Left_LoRa) return Glyph(forms::ImageList1::kLoRaNormal);
  if (&control == &form_.Btn_Left_Serial) return Glyph(forms::ImageList1::kSerialNormal);
  return {};
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  const std::vector<int> top_keys = forms::MenuMnemonics(form_.MainMenu1);
  for (size_t t = 0; t < form_.MainMenu1.size(); ++t) {
    forms::TMenuItem* top = form_.MainMenu1[t];
    QMenu* menu = bar->addMenu(QString());
    menu->setObjectName(QString::fromLatin1(top->Name()) + QStringLiteral("_menu"));
    view_->BindAction(*top, menu->menuAction(), top_keys[t]);
    const std::vector<int> keys = forms::MenuMnemonics(top->items);
    for (size_t i = 0; i < top->items.size(); ++i)
      view_->BindAction(*top->items[i], menu->addAction(QString()), keys[i]);
    if (top == &form_.Connection1)
      profiles_ = new ProfileMenu(form_, bar, menu->menuAction(), this);
  }
}

void MainWindow::BuildShortcuts() {
  // F10 opens the menu bar, as on the desktops our operators come from.
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
  f10->setObjectName(QStringLiteral("menuBarShortcut"));
  connect(f10, &QShortcut::activated, this, [this] {
    for (QAction* a : menuBar()->actions()) {
      if (a->isVisible() && a->isEnabled()) {
        menuBar()->setActiveAction(a);
        return;
      }
    }
  });
  // Ctrl+1 ... Ctrl+3: the sections in the order of their buttons.
  const forms::Control* sections[] = {&form_.Btn_Left_Info, &form_.Btn_Left_LoRa,
                                      &form_.Btn_Left_Serial};
  for (int i = 0; i < 3; ++i) {
    const QKeySequence keys(QKeyCombination(Qt::ControlModifier, Qt::Key(Qt::Key_1 + i)));
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setObjectName(QStringLiteral("sectionShortcut%1").arg(i + 1));
    const forms::Control* section = sections[i];
    connect(shortcut, &QShortcut::activated, this, [this, section] {
      auto* button = qobject_cast<QAbstractButton*>(view_->WidgetOf(*section));
      if (button && button->isEnabled() && button->isVisible()) button->click();
    });
    if (QWidget* w = view_->WidgetOf(*section)) {
      const QString text = keys.toString(QKeySequence::NativeText);
      w->setToolTip(w->accessibleName() + QStringLiteral(" (") + text + QStringLiteral(")"));
      w->setAccessibleDescription(text);
    }
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Wheel) {
    auto* w = qobject_cast<QWidget*>(watched);
    const bool value_box =
        qobject_cast<QComboBox*>(watched) || qobject_cast<QAbstractSpinBox*>(watched);
    if (w && value_box && !w->hasFocus() && w->window() == this && scroll_->isAncestorOf(w)) {
      QCoreApplication::sendEvent(scroll_->viewport(), event);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

QWidget* MainWindow::BuildLeftColumn(QWidget* parent) {
  const forms::LayoutNode* node = FindNode(form_.FrameLayout(), form_.Panel_Left_Main);
  QWidget* left = node ? view_->Build(*node, parent) : new QWidget(parent);
  left->setFixedWidth(kLeftWidth);
  if (auto* l = qobject_cast<QBoxLayout*>(left->layout())) {
    l->setSpacing(0);
    l->addStretch(1);
  }
  return left;
}

QWidget* MainWindow::BuildPageArea(QWidget* parent) {
  auto* pane = new PaneArea(parent);
  pane_area_ = pane;
  view_->Bind(form_.PaneLogMain, pane);

  auto* frame = new QFrame(pane);
  page_frame_ = frame;
  frame->setFrameShape(QFrame::StyledPanel);
  auto* fl = new QVBoxLayout(frame);
  fl->setContentsMargins(1, 1, 1, 1);
  fl->setSpacing(0);
  tabs_ = new PageTabBar(form_, frame);
  tabs_->setObjectName(QStringLiteral("PageControl1_tabs"));
  stack_ = new QStackedWidget(frame);
  fl->addWidget(tabs_);
  fl->addWidget(stack_, 1);
  view_->Bind(form_.PageControl1, frame);

  // Each page waits as an empty stand-in until it is first shown.
  for (const forms::LayoutNode& page : form_.Pages()) {
    auto* pending = new QWidget(stack_);
    stack_->addWidget(pending);
    // The page's own state (its tab above all) is followed from the start.
    if (page.control) view_->Bind(*page.control, pending);
    page_built_.push_back(false);
    tabs_->addTab(page.control ? ToQt(page.control->Caption()) : QString());
  }
  blank_page_ = new QWidget(stack_);
  blank_page_->setObjectName(QStringLiteral("noPage"));
  stack_->addWidget(blank_page_);
  for (int i = 0; i < form_.PageControl1.PageCount(); ++i)
    Intercept(*form_.PageControl1.pages[static_cast<size_t>(i)], ControlProperty::TabVisible);
  connect(tabs_, &QTabBar::tabBarClicked, this, [this](int index) {
    view_->Guard([&] { form_.PageControl1.SetActivePageIndex(index); });
  });
  ApplyPageIndex();

  // " Load" and "Factory Default" over the lower edge of the page area.
  for (Control* c : {static_cast<Control*>(&form_.Btn_S_CurrentStatus),
                     static_cast<Control*>(&form_.Btn_FactoryReset)}) {
    if (const forms::LayoutNode* node = FindNode(form_.FrameLayout(), *c))
      view_->Build(*node, pane);
  }
  pane->on_resize = [this] { PlaceOverlayButtons(); };
  return pane;
}

void MainWindow::PlaceOverlayButtons() {
  const QRect area = pane_area_->rect();
  // The pages keep their declared size at the top left of a larger window.
  const int height =
      declared_body_height_ > 0 ? std::min(area.height(), declared_body_height_) : area.height();
  page_frame_->setGeometry(kPaneMargin / 2, 4, std::min(kPageWidth, area.width() - kPaneMargin),
                           height - 8);
  // On the same line as a page's own save-all, at the page's lower edge
  // (the pages sit in the frame with a one-pixel border).
  const QRect pages = page_frame_->geometry().adjusted(1, 1, -1, -1);
  const int y = pages.bottom() + 1 - kPaneMargin - kOverlayHeight;
  int x = pages.left() + kPaneMargin;
  if (QWidget* load = view_->WidgetOf(form_.Btn_S_CurrentStatus)) {
    load->setGeometry(x, y, kLoadWidth, kOverlayHeight);
    load->raise();
  }
  x += kLoadWidth + kOverlayGap;
  if (QWidget* factory = view_->WidgetOf(form_.Btn_FactoryReset)) {
    factory->setGeometry(x, y, kFactoryWidth, kOverlayHeight);
    factory->raise();
  }
}

QWidget* MainWindow::BuildStatusBar(QWidget* parent) {
  auto* bar = new QFrame(parent);
  bar->setFrameShape(QFrame::NoFrame);
  bar->setProperty(kRoleProperty, static_cast<int>(QAccessible::StatusBar));
  auto* l = new QHBoxLayout(bar);
  l->setContentsMargins(0, 2, 0, 2);
  l->setSpacing(2);
  for (int i = 0; i < form_.StatusBar1.PanelCount(); ++i) {
    auto* panel =
        new StatusPanelLabel(form_.StatusBar1.Panels()[static_cast<size_t>(i)].width, bar);
    panel->setObjectName(QStringLiteral("StatusBar1_Panel%1").arg(i));
    panel->setTextFormat(Qt::PlainText);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    l->addWidget(panel);
    status_panels_.push_back(panel);
  }
  l->addStretch(1);
  status_bar_ = bar;
  return bar;
}

void MainWindow::ApplyStatusBar() {
  const auto& panels = form_.StatusBar1.Panels();
  for (size_t i = 0; i < panels.size() && i < status_panels_.size(); ++i) {
    auto* panel = static_cast<StatusPanelLabel*>(status_panels_[i]);
    const QString text = ToQt(panels[i].text);
    const bool changed = panel->text() != text;
    panel->SetPanelText(text);
    panel->setAccessibleName(StatusPanelName(i, text));
    // The link's state changes without the operator's doing (an adapter
    // pulled, found again, a modem that stops answering): spoken at once.
    if (changed && i == kConnectionPanel) Announce(panel);
  }
}

QString MainWindow::StatusPanelName(size_t index, const QString& text) {
  // What each panel tells, for a screen reader: the model, the link, and a
  // spare panel that stays empty.
  static const char* const kRoles[] = {"Model", "Connection", "Status"};
  const QString role = QString::fromLatin1(index < std::size(kRoles) ? kRoles[index] : kRoles[2]);
  const QString value = text.trimmed();
  return value.isEmpty() ? role : role + QStringLiteral(": ") + value;
}

bool MainWindow::PageBuilt(int index) const {
  return index >= 0 && index < static_cast<int>(page_built_.size()) &&
         page_built_[static_cast<size_t>(index)];
}

void MainWindow::EnsurePage(int index) {
  if (!pages_may_build_) return;
  if (index < 0 || index >= static_cast<int>(page_built_.size()) || PageBuilt(index)) return;
  page_built_[static_cast<size_t>(index)] = true;
  // Built from the model as it is now: every state it holds is applied.
  QWidget* pending = stack_->widget(index);
  const bool current = stack_->currentIndex() == index;
  QWidget* page = view_->Build(form_.Pages()[static_cast<size_t>(index)], stack_);
  stack_->insertWidget(index, page);
  stack_->removeWidget(pending);
  delete pending;
  if (current) stack_->setCurrentIndex(index);
}

void MainWindow::BuildAllPages() {
  pages_may_build_ = true;
  for (int i = 0; i < static_cast<int>(page_built_.size()); ++i) EnsurePage(i);
}

void MainWindow::ApplyPageIndex() {
  if (!stack_ || !blank_page_) return;
  const int index = form_.PageControl1.ActivePageIndex();
  if (index >= 0 && index < stack_->count() - 1) {
    EnsurePage(index);
    stack_->setCurrentIndex(index);
    const QSignalBlocker block(tabs_);
    tabs_->setCurrentIndex(index);
  } else {
    // No active page: an empty page area.
    stack_->setCurrentWidget(blank_page_);
  }
  tabs_->update();
}

void MainWindow::ApplyWindowSize() {
  const int w = form_.Window.Width();
  const int h = form_.Window.Height();
  if (w <= 0 || h <= 0) return;
  // The left column and the pages get the room a window of the declared
  // size gives them, wherever the window is.
  const int chrome = menuBar()->sizeHint().height() + status_bar_->sizeHint().height() +
                     (form_.Memo.Visible() ? kMemoHeight : 0);
  declared_body_height_ = std::max(0, h - chrome);
  body_->setMinimumSize(w, declared_body_height_);
  const QSize fitted = FittedSize(QSize(w, h));
  const QSize before = default_size_;
  // Read before the new minimum can grow the window.
  const QSize added = before.isValid() ? (size() - before).expandedTo(QSize(0, 0)) : QSize(0, 0);
  default_size_ = fitted;
  // The declared size (as much of it as the screen has room for) is the
  // window's default and its minimum; the operator may make it larger.
  setMinimumSize(fitted);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  // With the trace pane shown the pages keep their height and the pane
  // takes what is left; without it the page area does.
  const bool cut = fitted.width() < w;
  const int bar = cut ? style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_) : 0;
  scroll_->setMaximumHeight(form_.Memo.Visible() ? declared_body_height_ + bar : QWIDGETSIZE_MAX);
  if (!isMaximized() && !isFullScreen()) {
    QSize target = fitted;
    if (!size_applied_) {
      // The size the operator left the window at in the last run, known
      // once the activation has read the settings file.
      if (form_.WindowWidth > 0 && form_.WindowHeight > 0)
        target = QSize(form_.WindowWidth, form_.WindowHeight);
    } else {
      // What the operator added beyond the default stays added.
      target = fitted + added;
    }
    target =
        target.expandedTo(fitted).boundedTo(FittedSize(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)));
    // A size this program chose (the stored one fitted to a small screen,
    // say) is not the operator's: it must not replace what is stored.
    programmatic_size_ = target;
    resize(target);
  }
  size_applied_ = first_show_done_;
  // The pane spans the window's width, shown or not.
  if (trace_) trace_->AssumeWidth(fitted.width());
  if (first_show_done_) KeepOnScreen();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (!size_applied_ || isMaximized() || isFullScreen() || isMinimized()) return;
  if (programmatic_size_.isValid() && size() == programmatic_size_) {
    programmatic_size_ = QSize();
    return;
  }
  programmatic_size_ = QSize();
  // Remembered only when it differs from the default, so a window never
  // resized leaves the settings file as it was.
  const bool own = size() != default_size_;
  form_.WindowWidth = own ? width() : 0;
  form_.WindowHeight = own ? height() : 0;
}

QSize MainWindow::FittedSize(QSize wanted) const {
  const QScreen* s = screen();
  if (!s) return wanted;
  // The frame the window system draws round the window needs room too.
  const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : frame_extra_;
  const QSize room = s->availableGeometry().size() - frame;
  return wanted.boundedTo(room.expandedTo(QSize(1, 1)));
}

void MainWindow::KeepOnScreen() {
  const QScreen* s = screen();
  if (!s) return;
  const QRect avail = s->availableGeometry();
  const QRect outer = frameGeometry();
  QPoint at = outer.topLeft();
  at.setX(
      std::clamp(at.x(), avail.left(), std::max(avail.left(), avail.right() + 1 - outer.width())));
  at.setY(
      std::clamp(at.y(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - outer.height())));
  if (at != outer.topLeft()) move(at);
}

void MainWindow::ApplyFocus() {
  Control* c = form_.Window.ActiveControl();
  if (!c) return;
  // A control on a page not yet shown: that page is built first.
  for (Control* p = c; p; p = p->Parent()) {
    if (p->Kind() != ControlKind::Page) continue;
    const auto& pages = form_.PageControl1.pages;
    const auto it = std::find(pages.begin(), pages.end(), p);
    if (it != pages.end()) EnsurePage(static_cast<int>(it - pages.begin()));
    break;
  }
  if (QWidget* w = view_->WidgetOf(*c)) w->setFocus(Qt::OtherFocusReason);
}

bool MainWindow::Intercept(Control& control, ControlProperty property) {
  // The profile items are usable exactly while "Disconnect" is.
  if (&control == &form_.Disconnect1 && property == ControlProperty::Enabled && profiles_)
    profiles_->SetConnected(form_.Disconnect1.Enabled() && !form_.Disconnect1.Held());
  if (&control == &form_.Window) {
    switch (property) {
      case ControlProperty::Text:
        setWindowTitle(ToQt(control.Caption()));
        break;
      case ControlProperty::Size:
        ApplyWindowSize();
        break;
      case ControlProperty::Focus:
        ApplyFocus();
        break;
      default:
        break;
    }
    return true;
  }
  if (&control == &form_.PageControl1) {
    if (property == ControlProperty::ItemIndex) {
      ApplyPageIndex();
      return true;
    }
    return property != ControlProperty::Visible && property != ControlProperty::Enabled;
  }
  if (&control == &form_.StatusBar1) {
    if (property == ControlProperty::Text) {
      if (!status_panels_.empty()) ApplyStatusBar();
      return true;
    }
    return false;
  }
  if (control.Kind() == ControlKind::Page) {
    const auto& pages = form_.PageControl1.pages;
    const auto it = std::find(pages.begin(), pages.end(), &control);
    const int index = it == pages.end() ? -1 : static_cast<int>(it - pages.begin());
    if (!tabs_ || index < 0 || index >= tabs_->count())
      return property == ControlProperty::TabVisible || property == ControlProperty::Visible;
    switch (property) {
      case ControlProperty::TabVisible: {
        tabs_->setTabVisible(index, static_cast<forms::TPage&>(control).TabVisible());
        bool any = false;
        for (int i = 0; i < tabs_->count(); ++i) any = any || tabs_->isTabVisible(i);
        // With every tab hidden the strip shows no tabs at all.
        tabs_->setVisible(any);
        return true;
      }
      case ControlProperty::Text:
        tabs_->setTabText(index, ToQt(control.Caption()));
        return false;
      case ControlProperty::Visible:
        return true;
      default:
        return false;
    }
  }
  return false;
}

void MainWindow::showEvent(QShowEvent* event) {
  if (!first_show_done_) {
    first_show_done_ = true;
    // The activation sequence runs once, before the window is first drawn:
    // settings, model, trace options and the window's size.
    view_->Guard([this] { form_.FormActivate(); });
    pages_may_build_ = true;
    ApplyPageIndex();
    if (QScreen* s = screen()) {
      const QRect avail = s->availableGeometry();
      move(avail.center() - QPoint(width() / 2, height() / 2));
    }
  }
  QMainWindow::showEvent(event);
  if (!placed_) {
    placed_ = true;
    // Only now does the window system tell how wide its frame is: the
    // window shrinks by it where it has to, and is centred again, whole.
    frame_extra_ = frameGeometry().size() - geometry().size();
    ApplyWindowSize();
    if (QScreen* s = screen()) {
      const QRect avail = s->availableGeometry();
      const QSize outer = frameGeometry().size();
      move(avail.topLeft() +
           QPoint((avail.width() - outer.width()) / 2, (avail.height() - outer.height()) / 2));
    }
    KeepOnScreen();
    // A window manager may put its frame round the window only a moment
    // later: look a few times, and fit once more when it has.
    auto* settle = new QTimer(this);
    settle->setInterval(kFrameSettleStepMs);
    connect(settle, &QTimer::timeout, this, [this, settle, looks = 0]() mutable {
      const QSize frame = frameGeometry().size() - geometry().size();
      if (frame != frame_extra_) {
        frame_extra_ = frame;
        ApplyWindowSize();
      }
      if (++looks * kFrameSettleStepMs >= kFrameSettleMs) settle->deleteLater();
    });
    settle->start();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  bool may_close = true;
  view_->Guard([&] { may_close = form_.FormClose(); });
  if (may_close) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace velimo::gui
