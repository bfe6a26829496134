// The widget builder: one widget per declaration node, laid out as the
// window definitions place them, and one function per kind of control.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "forms/controls/accessible_names.h"
#include "forms/form_connect.h"
#include "gui/control_view.h"
#include "gui/latin1.h"
#include "gui/qt_platform.h"

namespace velimo::gui {

using forms::Control;
using forms::ControlKind;
using forms::LayoutNode;
using forms::NodeType;

namespace {

// A panel: a group, a sub-panel or a header strip. Clicking it runs the
// panel's click handler (the "[Device]" strips count clicks this way).
class PanelFrame : public QFrame {
 public:
  PanelFrame(Control& control, ControlView& view, QWidget* parent)
      : QFrame(parent), control_(control), view_(view) {}

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        control_.OnClick) {
      view_.Guard([this] { control_.Click(); });
      event->accept();
      return;
    }
    QFrame::mouseReleaseEvent(event);
  }

 private:
  Control& control_;
  ControlView& view_;
};

const QColor kHeaderColour(0x2b, 0x4f, 0x7e);
const QColor kValueColour(0x1f, 0x3f, 0x8f);

void SetTextColour(QWidget* w, const QColor& colour) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, colour);
  w->setPalette(p);
}

bool IsHeaderStrip(const LayoutNode& node) {
  return node.type == NodeType::Control && node.control &&
         node.control->Kind() == ControlKind::Panel && !node.control->Caption().empty();
}

// A group: a panel whose first control is its "[...]" header strip.
bool IsGroup(const LayoutNode& node) {
  for (const auto& child : node.children) {
    if (child.type == NodeType::Control) return IsHeaderStrip(child);
  }
  return false;
}

// A row with static texts between its editors, past its first caption.
bool HasInnerCaptions(const LayoutNode& row) {
  for (size_t i = 1; i < row.children.size(); ++i)
    if (row.children[i].type == NodeType::Text &&
        row.children[i].style == forms::TextStyle::Caption)
      return true;
  return false;
}

bool IsContainer(const LayoutNode& node) {
  if (node.type == NodeType::Row || node.type == NodeType::Column) return true;
  return node.type == NodeType::Control && node.control &&
         (node.control->Kind() == ControlKind::Panel ||
          node.control->Kind() == ControlKind::GroupBox);
}

// One under the other, rows and groups take the whole width, so a Save
// button that shows later always finds room; anything else stays left.
Qt::Alignment ColumnAlignment(const LayoutNode& node) {
  return IsContainer(node) ? Qt::Alignment() : Qt::AlignLeft;
}

bool IsRowCaption(const LayoutNode& node) {
  if (node.type == NodeType::Text) return node.style == forms::TextStyle::Caption;
  return node.type == NodeType::Control && node.control &&
         node.control->Kind() == ControlKind::Label;
}

}  // namespace

struct ControlView::BuildContext {
  // Row captions that line up with each other (one list per group or column).
  std::vector<QLabel*>* scope = nullptr;
  std::vector<std::unique_ptr<std::vector<QLabel*>>>* scopes = nullptr;
  QWidget* parent = nullptr;
  QWidget* row = nullptr;
  bool page_child = false;   // the node sits directly on a page
  bool fit_buttons = false;  // buttons take the width of their caption

  std::vector<QLabel*>* NewScope() {
    scopes->push_back(std::make_unique<std::vector<QLabel*>>());
    return scopes->back().get();
  }
};

QWidget* ControlView::Build(const LayoutNode& node, QWidget* parent) {
  AddNames(node);
  std::vector<std::unique_ptr<std::vector<QLabel*>>> scopes;
  BuildContext ctx;
  ctx.scopes = &scopes;
  ctx.scope = ctx.NewScope();
  ctx.parent = parent;
  QWidget* w = BuildNode(node, ctx);
  // Row captions of one group share one width, so the editors line up.
  for (const auto& scope : scopes) {
    int width = 0;
    for (QLabel* l : *scope) width = std::max(width, l->sizeHint().width());
    // A little room between a caption and what follows it.
    for (QLabel* l : *scope) l->setMinimumWidth(width + 12);
  }
  // Sizes worked out while building are stale now.
  if (w) {
    for (QLayout* l : w->findChildren<QLayout*>()) l->invalidate();
    if (w->layout()) w->layout()->invalidate();
  }
  for (auto it = row_items_.begin(); it != row_items_.end(); ++it) UpdateRow(it.key());
  return w;
}

QWidget* ControlView::BuildNode(const LayoutNode& node, BuildContext& ctx) {
  switch (node.type) {
    case NodeType::Control:
      return node.control ? BuildControl(node, ctx) : nullptr;
    case NodeType::Row:
      return BuildRow(node, ctx);
    case NodeType::Column:
      return BuildColumn(node, ctx);
    case NodeType::Text:
      return BuildText(node, ctx);
  }
  return nullptr;
}

void ControlView::FillColumn(QWidget* box, const std::vector<LayoutNode>& children,
                             BuildContext& ctx) {
  auto* layout = qobject_cast<QBoxLayout*>(box->layout());
  for (const auto& child : children) {
    BuildContext inner = ctx;
    inner.parent = box;
    inner.row = nullptr;
    if (QWidget* w = BuildNode(child, inner)) layout->addWidget(w, 0, ColumnAlignment(child));
  }
}

QWidget* ControlView::BuildRow(const LayoutNode& node, BuildContext& ctx) {
  auto* row = new QWidget(ctx.parent);
  row->setObjectName(QStringLiteral("row"));
  row->setMinimumHeight(metrics_.editor_height);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  BuildContext inner = ctx;
  inner.parent = row;
  inner.row = row;
  inner.page_child = false;
  inner.fit_buttons = true;
  row_items_.insert(row, {});  // known as a row while its items register
  std::vector<QPointer<QWidget>> items;
  std::vector<QPointer<QWidget>> texts;
  bool first = true;
  bool has_container = false;
  QLabel* caption = nullptr;       // a caption still waiting for its editor
  QWidget* last_editor = nullptr;  // the editor a unit after it belongs to
  for (const auto& child : node.children) {
    QWidget* w = BuildNode(child, inner);
    if (!w) continue;
    // A unit ("ms", "bytes") is what the editor before it counts in: a
    // screen reader says it after the editor's name.
    if (child.type == NodeType::Text && child.style == forms::TextStyle::Unit && last_editor) {
      last_editor->setAccessibleDescription(ToQt(child.text));
      if (auto* unit = qobject_cast<QLabel*>(w)) unit->setBuddy(last_editor);
    }
    if (child.type == NodeType::Control && (child.control->Kind() == ControlKind::Edit ||
                                            child.control->Kind() == ControlKind::ComboBox ||
                                            child.control->Kind() == ControlKind::EditComboBox))
      last_editor = w;
    // A caption labels the editor or list after it (one with a name of its
    // own excepted): a screen reader reads the one with the other.
    if (child.type == NodeType::Text && child.style == forms::TextStyle::Caption) {
      caption = qobject_cast<QLabel*>(w);
    } else if (caption && child.type == NodeType::Control && child.spoken.empty() &&
               (child.control->Kind() == ControlKind::Edit ||
                child.control->Kind() == ControlKind::ComboBox ||
                child.control->Kind() == ControlKind::EditComboBox)) {
      caption->setBuddy(w);
      caption = nullptr;
    }
    // The row's caption lines up with the other rows' captions, unless the
    // row strings captions and editors along one line ("STX1 : 0x" ...).
    if (first && IsRowCaption(child) && !HasInnerCaptions(node)) {
      if (auto* label = qobject_cast<QLabel*>(w)) ctx.scope->push_back(label);
    } else if (child.type == NodeType::Control && child.control->Kind() == ControlKind::Label) {
      // A value read back from the modem.
      SetTextColour(w, kValueColour);
    }
    first = false;
    // Groups and columns side by side line up at their tops; editors,
    // captions and buttons of one row at their middles.
    const bool container = IsContainer(child);
    layout->addWidget(w, container ? 1 : 0, container ? Qt::AlignTop : Qt::AlignVCenter);
    has_container = has_container || container;
    (child.type == NodeType::Text ? texts : items).push_back(w);
  }
  // Groups side by side share the row's width; a row of editors keeps them
  // at its left.
  if (!has_container) layout->addStretch(1);
  // A row of controls shows while any of its controls shows; a row of
  // static texts alone shows its texts.
  row_items_[row] = items.empty() ? std::move(texts) : std::move(items);
  return row;
}

QWidget* ControlView::BuildColumn(const LayoutNode& node, BuildContext& ctx) {
  auto* column = new QWidget(ctx.parent);
  column->setObjectName(QStringLiteral("column"));
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(3);
  BuildContext inner = ctx;
  inner.scope = ctx.NewScope();
  inner.page_child = false;
  inner.fit_buttons = false;
  FillColumn(column, node.children, inner);
  layout->addStretch(1);
  return column;
}

QWidget* ControlView::BuildText(const LayoutNode& node, BuildContext& ctx) {
  auto* label = new QLabel(ToQt(node.text), ctx.parent);
  label->setTextFormat(Qt::PlainText);
  QFont f = label->font();
  switch (node.style) {
    case forms::TextStyle::Caption:
      label->setObjectName(QStringLiteral("caption"));
      break;
    case forms::TextStyle::Title:
      label->setObjectName(QStringLiteral("title"));
      f.setBold(true);
      f.setPixelSize(16);
      label->setFont(f);
      break;
    case forms::TextStyle::Unit:
      label->setObjectName(QStringLiteral("unit"));
      break;
    case forms::TextStyle::Note:
      label->setObjectName(QStringLiteral("note"));
      SetTextColour(label, kValueColour);
      break;
  }
  if (!node.visible) label->setVisible(false);
  return label;
}

QWidget* ControlView::BuildControl(const LayoutNode& node, BuildContext& ctx) {
  switch (node.control->Kind()) {
    case ControlKind::Page:
      return BuildPage(node, ctx);
    case ControlKind::Panel:
      return BuildPanel(node, ctx);
    case ControlKind::GroupBox:
      return BuildGroupBox(node, ctx);
    case ControlKind::Label:
      return BuildLabel(node, ctx);
    case ControlKind::Edit:
      return BuildEdit(node, ctx);
    case ControlKind::ComboBox:
      return BuildComboBox(node, ctx);
    case ControlKind::EditComboBox:
      return BuildEditComboBox(node, ctx);
    case ControlKind::CheckBox:
      return BuildCheckBox(node, ctx);
    case ControlKind::Button:
      return BuildButton(node, ctx);
    case ControlKind::GlyphButton:
      return BuildGlyphButton(node, ctx);
    case ControlKind::Image:
      return BuildImage(node, ctx);
    case ControlKind::Memo:
      return BuildMemo(node, ctx);
    case ControlKind::MenuItem:
    case ControlKind::PageControl:
    case ControlKind::StatusBar:
    case ControlKind::Form:
      // The window's own parts: the main window builds and binds them.
      return nullptr;
  }
  return nullptr;
}

QWidget* ControlView::BuildPage(const LayoutNode& node, BuildContext& ctx) {
  Control& c = *node.control;
  QWidget* parent = ctx.parent;
  auto* page = new PanelFrame(c, *this, parent);
  auto* layout = new QVBoxLayout(page);
  const int m = metrics_.page_margin;
  layout->setContentsMargins(m, m, m, m);
  layout->setSpacing(6);
  BuildContext inner = ctx;
  inner.scope = ctx.NewScope();
  inner.page_child = true;
  std::vector<LayoutNode> body;
  std::vector<const LayoutNode*> bottom;
  for (const auto& child : node.children) {
    // A page's own buttons are its save-all: lower edge, right of the
    // buttons that lie over every page.
    if (child.type == NodeType::Control && child.control &&
        child.control->Kind() == ControlKind::Button)
      bottom.push_back(&child);
    else
      body.push_back(child);
  }
  FillColumn(page, body, inner);
  layout->addStretch(1);
  auto* strip = new QWidget(page);
  strip->setObjectName(QStringLiteral("pageBottom"));
  auto* sl = new QHBoxLayout(strip);
  sl->setContentsMargins(0, 0, 0, 0);
  sl->setSpacing(6);
  sl->addSpacing(std::max(0, metrics_.bottom_reserved - m));
  for (const LayoutNode* b : bottom) {
    BuildContext bc = inner;
    bc.parent = strip;
    bc.page_child = false;
    bc.fit_buttons = true;
    if (QWidget* w = BuildNode(*b, bc)) sl->addWidget(w);
  }
  sl->addStretch(1);
  strip->setFixedHeight(metrics_.button_height);
  layout->addWidget(strip);
  Register(c, page);
  return page;
}

QWidget* ControlView::BuildPanel(const LayoutNode& node, BuildContext& ctx) {
  Control& c = *node.control;
  QWidget* parent = ctx.parent;
  auto* frame = new PanelFrame(c, *this, parent);
  if (!c.Caption().empty()) {
    // Header strip: "[...]" with whatever the strip carries at its right.
    frame->setObjectName(QStringLiteral("header"));
    frame->setProperty("velimoRole", QStringLiteral("header"));
    frame->setAutoFillBackground(true);
    frame->setFixedHeight(metrics_.header_height);
    // Palettes, not style sheets: a window of some three hundred
    // controls starts noticeably faster without them.
    QPalette strip = frame->palette();
    strip.setColor(QPalette::Window, kHeaderColour);
    frame->setPalette(strip);
    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(8, 0, 3, 0);
    layout->setSpacing(6);
    auto* caption = new QLabel(frame);
    caption->setTextFormat(Qt::PlainText);
    SetTextColour(caption, Qt::white);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    layout->addWidget(caption);
    layout->addStretch(1);
    BuildContext inner = ctx;
    inner.parent = frame;
    inner.row = nullptr;
    inner.page_child = false;
    inner.fit_buttons = true;
    for (const auto& child : node.children) {
      if (QWidget* w = BuildNode(child, inner)) {
        if (auto* b = qobject_cast<QPushButton*>(w)) b->setFixedHeight(metrics_.header_height - 4);
        layout->addWidget(w);
      }
    }
    Register(c, frame, caption);
    return frame;
  }
  auto* layout = new QVBoxLayout(frame);
  BuildContext inner = ctx;
  inner.parent = frame;
  inner.page_child = false;
  inner.fit_buttons = false;
  // A group: a panel with its "[...]" header strip, or any panel laid
  // straight on a page (the serial settings group has no header).
  if (IsGroup(node) || ctx.page_child) {
    frame->setFrameShape(QFrame::Box);
    frame->setFrameShadow(QFrame::Plain);
    frame->setProperty("velimoRole", QStringLiteral("group"));
    layout->setContentsMargins(1, 1, 1, 8);
    layout->setSpacing(3);
    bool header_done = !IsGroup(node);
    if (header_done) layout->setContentsMargins(8, 8, 8, 8);
    QWidget* body = nullptr;
    for (const auto& child : node.children) {
      if (!header_done && child.type == NodeType::Control) {
        header_done = true;
        BuildContext hc = inner;
        if (QWidget* w = BuildNode(child, hc)) layout->addWidget(w);
        body = new QWidget(frame);
        auto* bl = new QVBoxLayout(body);
        bl->setContentsMargins(8, 4, 8, 0);
        bl->setSpacing(3);
        layout->addWidget(body);
        continue;
      }
      BuildContext bc = inner;
      bc.parent = body ? body : frame;
      bc.row = nullptr;
      if (QWidget* w = BuildNode(child, bc))
        qobject_cast<QBoxLayout*>((body ? body : frame)->layout())
            ->addWidget(w, 0, ColumnAlignment(child));
    }
  } else {
    frame->setProperty("velimoRole", QStringLiteral("panel"));
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    FillColumn(frame, node.children, inner);
  }
  Register(c, frame);
  return frame;
}

QWidget* ControlView::BuildGroupBox(const LayoutNode& node, BuildContext& ctx) {
  Control& c = *node.control;
  QWidget* parent = ctx.parent;
  auto* frame = new PanelFrame(c, *this, parent);
  frame->setFrameShape(QFrame::Box);
  frame->setFrameShadow(QFrame::Sunken);
  frame->setProperty("velimoRole", QStringLiteral("box"));
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setSpacing(4);
  BuildContext inner = ctx;
  inner.parent = frame;
  inner.scope = ctx.NewScope();
  inner.page_child = false;
  inner.fit_buttons = false;
  FillColumn(frame, node.children, inner);
  Register(c, frame);
  return frame;
}

QWidget* ControlView::BuildLabel(const LayoutNode& node, BuildContext& ctx) {
  Control& c = *node.control;
  QWidget* parent = ctx.parent;
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  if (!ctx.row) {
    // A label of its own, outside any row: the title of its panel
    // ("sTavi Information").
    QFont f = label->font();
    f.setBold(true);
    f.setPixelSize(16);
    label->setFont(f);
  }
  Register(c, label);
  return label;
}

QWidget* ControlView::BuildEdit(const LayoutNode& node, BuildContext& ctx) {
  Control& c = *node.control;
  QWidget* parent = ctx.parent;
  auto& edit = static_cast<forms::TEdit&>(c);
  auto* le = new ModelLineEdit(edit, platform_, parent);
  le->setFixedWidth(edit.Filter() == forms::KeyFilter::Hex ? metrics_.hex_editor_width
                                                           : metrics_.editor_width);
  le->setFixedHeight(metrics_.editor_height);
  Register(c, le);
  return le;
}

QWidget* ControlView::BuildComboBox(const LayoutNode& node, BuildContext& ctx) {
  auto& combo = static_cast<forms::TComboBox&>(*node.control);
  auto* cb = new QComboBox(ctx.parent);
  cb->setFixedWidth(metrics_.editor_width);
  cb->setFixedHeight(metrics_.editor_height);
  cb->setEditable(false);  // a list: no free text
  connect(cb, &QComboBox::activated, this,
          [this, &combo](int index) { Guard([&] { combo.UserSelect(index); }); });
  Register(combo, cb);
  return cb;
}

// The port box: a list that also takes a typed name.
QWidget* ControlView::BuildEditComboBox(const LayoutNode& node, BuildContext& ctx) {
  auto* port_box = static_cast<forms::TEditComboBox*>(node.control);
  auto* cb = new QComboBox(ctx.parent);
  cb->setFixedWidth(metrics_.editor_width);
  cb->setFixedHeight(metrics_.editor_height);
  cb->setEditable(true);
  cb->setInsertPolicy(QComboBox::NoInsert);
  connect(cb->lineEdit(), &QLineEdit::textEdited, this,
          [this, port_box](const QString& t) { Guard([&] { port_box->UserSetText(FromQt(t)); }); });
  connect(cb, &QComboBox::activated, this,
          [this, port_box](int index) { Guard([&] { port_box->UserSelect(index); }); });
  Register(*port_box, cb);
  return cb;
}

QWidget* ControlView::BuildCheckBox(const LayoutNode& node, BuildContext& ctx) {
  Control& c = *node.control;
  QWidget* parent = ctx.parent;
  auto& box = static_cast<forms::TCheckBox&>(c);
  auto* cb = new QCheckBox(parent);
  connect(cb, &QCheckBox::clicked, this, [this, &box, cb] {
    Guard([&] { box.UserClick(); });
    // The model decides; the box shows what it holds.
    if (WidgetOf(box) == cb) {
      const QSignalBlocker block(cb);
      cb->setChecked(box.Checked());
    }
  });
  Register(c, cb);
  return cb;
}

QWidget* ControlView::BuildButton(const LayoutNode& node, BuildContext& ctx) {
  Control& c = *node.control;
  QWidget* parent = ctx.parent;
  auto* b = new QPushButton(parent);
  // Return and Enter press a focused button, as Space does.
  b->setAutoDefault(true);
  if (ctx.fit_buttons) {
    // A Save button is as wide as its caption and as high as an editor.
    b->setProperty("velimoFit", true);
    b->setFixedHeight(ctx.row ? metrics_.row_button_height : metrics_.button_height);
  } else {
    b->setMinimumHeight(metrics_.button_height);
  }
  connect(b, &QPushButton::clicked, this, [this, &c] { Guard([&] { c.Click(); }); });
  Register(c, b);
  return b;
}

QWidget* ControlView::BuildGlyphButton(const LayoutNode& node, BuildContext& ctx) {
  Control& c = *node.control;
  QWidget* parent = ctx.parent;
  auto* b = new QPushButton(parent);
  b->setFixedSize(metrics_.glyph_button_size, metrics_.glyph_button_size);
  b->setIconSize(QSize(metrics_.glyph_size, metrics_.glyph_size));
  b->setAutoDefault(true);
  connect(b, &QPushButton::clicked, this, [this, &c] { Guard([&] { c.Click(); }); });
  Register(c, b);
  return b;
}

QWidget* ControlView::BuildImage(const LayoutNode& node, BuildContext& ctx) {
  Control& c = *node.control;
  QWidget* parent = ctx.parent;
  auto* label = new QLabel(parent);
  if (pictures) {
    const QPixmap pm = pictures(c, -1);
    label->setPixmap(pm);
    if (!pm.isNull()) label->setFixedSize(pm.size());
  }
  Register(c, label);
  return label;
}

QWidget* ControlView::BuildMemo(const LayoutNode& node, BuildContext& ctx) {
  Control& c = *node.control;
  QWidget* parent = ctx.parent;
  auto* memo = new QPlainTextEdit(parent);
  memo->setReadOnly(true);
  Register(c, memo);
  return memo;
}

}  // namespace velimo::gui
