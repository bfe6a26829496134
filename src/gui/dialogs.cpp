#include "gui/dialogs.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
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
  // The port entries carry what each port is: the list opens wide enough
  // to show them whole beside the narrower box.
  if (auto* ports = qobject_cast<QComboBox*>(view_->WidgetOf(form.CB_ComPort)))
    ports->view()->setMinimumWidth(300);
  if (QWidget* connect = view_->WidgetOf(form.Btn_Connect)) {
    if (auto* row = qobject_cast<QBoxLayout*>(connect->parentWidget()->layout())) {
      row->insertStretch(0, 1);
      row->setSpacing(12);
    }
    connect->parentWidget()->setContentsMargins(0, 12, 0, 0);
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
