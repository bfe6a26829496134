// The widgets of a window, built from the same page declarations as the
// form model, and the two directions between them: every change the model
// reports is applied to its widget, and what the operator types, picks and
// clicks goes back to the model's User... operations and handlers.
#pragma once

#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

#include "forms/controls/accessible_names.h"
#include "forms/controls/controls.h"
#include "forms/controls/layout.h"
#include "gui/model_line_edit.h"
#include "util/platform.h"

class QAction;
class QLabel;

namespace velimo::gui {

// Sizes shared by the builder and the tests.
struct ViewMetrics {
  int editor_width = 130;      // text boxes and lists of the settings rows
  int editor_height = 22;      // every editor and list of a row
  int hex_editor_width = 28;   // the two-digit STX/ETX editors
  int button_height = 24;      // buttons of their own (page save-alls)
  int row_button_height = 22;  // Save buttons in a settings row
  int min_button_width = 56;
  int header_height = 22;  // the "[...]" strips of the groups
  int page_margin = 10;
  int bottom_reserved = 0;  // room left for buttons laid over a page's lower edge
  int glyph_button_size = 200;
  int glyph_size = 180;
};

class ControlView : public QObject, public forms::ControlObserver {
  Q_OBJECT
 public:
  explicit ControlView(Platform& platform, ViewMetrics metrics = {}, QObject* parent = nullptr);
  ~ControlView() override;

  // Builds the widget of one declaration node and everything below it. The
  // result belongs to parent (or to the caller when parent is null).
  QWidget* Build(const forms::LayoutNode& node, QWidget* parent = nullptr);

  // Connects a widget made elsewhere (left column, status bar ...) or a menu
  // item's action to its control: the widget takes the control's state now
  // and follows it from then on.
  void Bind(forms::Control& control, QWidget* widget);
  // Learns the screen-reader names of the controls below root, for widgets
  // bound later (Build learns those of what it builds itself).
  void AddNames(const forms::LayoutNode& root);
  // A menu item's action; mnemonic is the index of its keyboard mnemonic
  // letter in the caption (-1: none).
  void BindAction(forms::TMenuItem& item, QAction* action, int mnemonic = -1);

  QWidget* WidgetOf(const forms::Control& control) const;
  QAction* ActionOf(const forms::Control& control) const;
  const ViewMetrics& Metrics() const { return metrics_; }
  Platform& platform() { return platform_; }

  void ControlChanged(forms::Control& control, forms::ControlProperty property) override;

  // Pictures: for a glyph button the picture at the given image-list index
  // (-1: the button's own initial picture); for an image its picture.
  std::function<QPixmap(const forms::Control& control, int index)> pictures;
  // Asked first for every change; returns true when it has handled it
  // (pages, the trace pane and the like belong to the window).
  std::function<bool(forms::Control& control, forms::ControlProperty property)> intercept;

  // Runs a handler of the model as the application runs every
  // operator-triggered handler: an escaping error goes to the default report.
  void Guard(const std::function<void()>& fn);

 private:
  struct Binding {
    QPointer<QWidget> widget;
    QPointer<QAction> action;
    QPointer<QLabel> caption;  // a panel's header caption
    QWidget* row = nullptr;    // the row the widget sits in, if any
    int mnemonic = -1;         // a menu item's mnemonic letter
  };
  struct BuildContext;

  // The builder (widget_builder.cpp).
  QWidget* BuildNode(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildControl(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildPage(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildPanel(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildGroupBox(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildLabel(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildEdit(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildComboBox(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildEditComboBox(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildCheckBox(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildButton(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildGlyphButton(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildImage(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildMemo(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildRow(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildColumn(const forms::LayoutNode& node, BuildContext& ctx);
  QWidget* BuildText(const forms::LayoutNode& node, BuildContext& ctx);
  void FillColumn(QWidget* box, const std::vector<forms::LayoutNode>& children, BuildContext& ctx);
  // The binding (control_view.cpp).
  void Register(forms::Control& control, QWidget* widget, QLabel* caption = nullptr);
  void ApplyAll(forms::Control& control);
  void Apply(forms::Control& control, forms::ControlProperty property);
  void UpdateRow(QWidget* row);
  // The name a screen reader gives the control's widget (see NameControls).
  void SetAccessibleName(forms::Control& control);

  Platform& platform_;
  ViewMetrics metrics_;
  QHash<const forms::Control*, Binding> bindings_;
  forms::AccessibleNames names_;
  std::vector<forms::Control*> observed_;
  // Rows whose visibility follows their items: a row shows while any of its
  // items shows.
  QHash<QWidget*, std::vector<QPointer<QWidget>>> row_items_;
};

}  // namespace velimo::gui
