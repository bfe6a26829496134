#include "gui/dialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "forms/form_connect.h"
#include "forms/form_info.h"
#include "gui/latin1.h"

namespace velimo::gui {

ModalDialog::ModalDialog(forms::TModalForm& form, Platform& platform, QWidget* owner)
    : QDialog(owner), form_(form), view_(std::make_unique<ControlView>(platform)) {
  const forms::FormFrame& frame = form.Frame();
  setObjectName(QString::fromLatin1(frame.name));
  setWindowTitle(QString::fromLatin1(frame.caption));
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (frame.minimize_button) flags |= Qt::WindowMinimizeButtonHint;
  setWindowFlags(flags);
  setModal(true);
  setFixedSize(frame.client_width, frame.client_height);
  if (frame.background_rgb != forms::FormFrame::kDefaultBackground) {
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor::fromRgb(frame.background_rgb));
    setPalette(p);
    setAutoFillBackground(true);
  }

  form_.RunModal = [this] { exec(); };
  form_.OnClosed = [this] { QDialog::done(QDialog::Rejected); };
}

ModalDialog::~ModalDialog() {
  form_.RunModal = nullptr;
  form_.OnClosed = nullptr;
}

void ModalDialog::reject() {
  if (form_.Showing()) {
    view_->Guard([this] { form_.Close(); });
  } else {
    QDialog::reject();
  }
}

void ModalDialog::showEvent(QShowEvent* event) {
  // Centred over the main window, or on the screen.
  QWidget* owner = parentWidget();
  QRect around;
  if (form_.Frame().center_on_owner && owner && owner->isVisible()) {
    around = owner->frameGeometry();
  } else if (QScreen* s = screen()) {
    around = s->availableGeometry();
  }
  if (around.isValid()) move(around.center() - QPoint(width() / 2, height() / 2));
  QDialog::showEvent(event);
}

ConnectDialog::ConnectDialog(forms::TForm_Connect& form, Platform& platform, QWidget* owner)
    : ModalDialog(form, platform, owner) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 14, 16, 14);
  QWidget* panel = view_->Build(form.Layout(), this);
  layout->addWidget(panel);
  // The rows spread over the dialog; Connect and Cancel centred below them.
  for (auto* column : panel->findChildren<QWidget*>(QStringLiteral("column"))) {
    if (auto* l = qobject_cast<QBoxLayout*>(column->layout())) l->setSpacing(10);
  }
  for (forms::TButton* b : {&form.Btn_Connect, &form.Btn_Cancel}) {
    if (auto* button = qobject_cast<QPushButton*>(view_->WidgetOf(*b))) {
      button->setMinimumWidth(100);
      button->setMinimumHeight(28);
    }
  }
  // A port name typed and Return: Connect.
  if (auto* connect = qobject_cast<QPushButton*>(view_->WidgetOf(form.Btn_Connect)))
    connect->setDefault(true);
  // The port entries carry what each port is (and what a scan found
  // there): the box is as wide as its longest entry needs, up to a point,
  // and the dialog widens with it; the list opens wider still. A chosen
  // entry shows from its start, the port's path, not scrolled to its end.
  if (auto* ports = qobject_cast<QComboBox*>(view_->WidgetOf(form.CB_ComPort))) {
    port_box_ = ports;
    ports->view()->setMinimumWidth(300);
    ports->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    ports->setMinimumContentsLength(14);
    ports->setMaximumWidth(kPortBoxMaxWidth);
    if (QLineEdit* edit = ports->lineEdit()) {
      // The text field inside the box is what a screen reader lands on.
      edit->setAccessibleName(QStringLiteral("Port"));
    }
  }
  // Find Modem keeps its whole caption beside the box.
  if (QWidget* find = view_->WidgetOf(form.Btn_FindModem))
    find->setMinimumWidth(find->sizeHint().width());
  // At least the declared size; wider when a port's name needs it, also
  // when a scan or a plugged adapter brings a longer one.
  if (port_box_) {
    QAbstractItemModel* entries = port_box_->model();
    const auto refit = [this] { QTimer::singleShot(0, this, [this] { FitToContents(); }); };
    connect(entries, &QAbstractItemModel::rowsInserted, this, refit);
    connect(entries, &QAbstractItemModel::dataChanged, this, refit);
    connect(entries, &QAbstractItemModel::modelReset, this, refit);
  }
  if (QWidget* connect = view_->WidgetOf(form.Btn_Connect)) {
    if (auto* row = qobject_cast<QBoxLayout*>(connect->parentWidget()->layout())) {
      row->insertStretch(0, 1);
      row->setSpacing(12);
    }
    connect->parentWidget()->setContentsMargins(0, 12, 0, 0);
  }
  // The status is also each button's description: a screen reader speaks
  // the change on the button that has the focus (Find Modem while it
  // scans, Cancel while a connection is tried), where a label elsewhere
  // would go unread. The dialog grows by the status line while it shows.
  view_->intercept = [this, &form](forms::Control& control, forms::ControlProperty property) {
    if (&control != &form.LB_Status) return false;
    if (property == forms::ControlProperty::Text) {
      for (forms::TButton* b : {&form.Btn_FindModem, &form.Btn_Connect, &form.Btn_Cancel})
        if (QWidget* w = view_->WidgetOf(*b)) w->setAccessibleDescription(ToQt(control.Caption()));
    } else if (property == forms::ControlProperty::Visible) {
      QTimer::singleShot(0, this, [this] { FitToContents(); });
    }
    return false;
  };
  form.OnConnecting = [this](bool connecting) { ShowBusy(connecting); };
}

ConnectDialog::~ConnectDialog() {
  static_cast<forms::TForm_Connect&>(form_).OnConnecting = nullptr;
  view_->intercept = nullptr;
  ShowBusy(false);
}

void ConnectDialog::ShowBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  // The arrow with the hourglass: busy, and still taking clicks.
  if (busy) {
    QApplication::setOverrideCursor(Qt::BusyCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void ConnectDialog::FitToContents() {
  const forms::FormFrame& frame = form_.Frame();
  if (port_box_) port_box_->updateGeometry();
  layout()->invalidate();
  layout()->activate();
  QSize want = layout()->totalSizeHint().expandedTo(QSize(frame.client_width, frame.client_height));
  if (const QScreen* s = screen()) want = want.boundedTo(s->availableGeometry().size());
  if (want != size()) setFixedSize(want);
}

void ConnectDialog::showEvent(QShowEvent* event) {
  FitToContents();
  ModalDialog::showEvent(event);
  // Every showing starts at the port box with its text selected: a name
  // typed replaces it, and Return connects to what was typed.
  if (port_box_) {
    port_box_->setFocus(Qt::OtherFocusReason);
    if (QLineEdit* edit = port_box_->lineEdit()) {
      edit->home(false);
      edit->selectAll();
    }
  }
}

AboutWindow::AboutWindow(forms::TForm_Info& form, Platform& platform, QWidget* owner)
    : ModalDialog(form, platform, owner) {
  // Placed in order: the picture first, the labels after it and on top.
  for (const forms::Placement& place : form.Placements()) {
    auto* label = new QLabel(this);
    label->setTextFormat(Qt::PlainText);
    if (place.control == &form.Image1) {
      const forms::RgbImage& pic = form.Picture();
      if (!pic.Empty()) {
        const QImage image(pic.pixels.data(), pic.width, pic.height, pic.width * 3,
                           QImage::Format_RGB888);
        label->setPixmap(QPixmap::fromImage(image.copy()));
      }
      label->setGeometry(place.left, place.top, place.width, place.height);
      view_->Bind(*place.control, label);
      label->setAccessibleName(QStringLiteral("About picture"));
      continue;
    }
    QFont f = label->font();
    if (place.font_px > 0) f.setPixelSize(place.font_px);
    f.setBold(place.bold);
    label->setFont(f);
    label->setProperty("velimoAutoSize", place.width == 0 || place.height == 0);
    view_->Bind(*place.control, label);
    label->move(place.left, place.top);
    if (place.width > 0 && place.height > 0) {
      label->resize(place.width, place.height);
    } else {
      label->adjustSize();
    }
  }
}

}  // namespace velimo::gui
