#include "gui/profile_window.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "forms/form_main.h"
#include "gui/latin1.h"

namespace velimo::gui {

namespace {

constexpr const char* kFilter = "Velimo profiles (*.vprofile);;All files (*)";
constexpr std::string_view kMsgCloseWhileReading =
    "The modem is being read; the window can be closed when the read has ended.";
constexpr std::string_view kMsgCloseWhileStopping =
    "The apply stops before its next line; the window can be closed then.";
constexpr std::string_view kMsgCloseDuringApply =
    "A profile is being applied. Stop it before its next line? The settings not yet written are "
    "not sent.";

std::string PathBytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// A label whose text a screen reader must hear: its name carries the text
// after its role ("Profile status: 2 verified."), and a change is
// announced as a change of that name.
void SetSpoken(QLabel* label, const QString& role, const QString& text) {
  label->setText(text);
  const QString name = text.isEmpty() ? role : role + QStringLiteral(": ") + text;
  if (label->accessibleName() == name) return;
  label->setAccessibleName(name);
  QAccessibleEvent changed(label, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&changed);
}

QPushButton* Button(const char* name, const QString& text, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setAccessibleName(text);
  return b;
}

}  // namespace

bool ServeUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    const qint64 left = limitMs - clock.elapsed();
    if (left <= 0) return done();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(std::min<qint64>(left, 10)), &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// ---- ProfileDialog -----------------------------------------------------------

ProfileDialog::ProfileDialog(forms::TForm_main& form, QWidget* owner)
    : QDialog(owner),
      modem_(std::make_unique<forms::ModemSession>(form, ServeUntil)),
      model_(std::make_unique<profile::ProfileDialogModel>(*modem_, profile::Host{})) {
  setObjectName(QStringLiteral("Form_Profile"));
  setWindowTitle(QStringLiteral("Profile"));
  setAccessibleName(QStringLiteral("Profile"));
  setWindowModality(Qt::ApplicationModal);
  resize(560, 400);

  auto* column = new QVBoxLayout(this);
  file_ = new QLabel(this);
  file_->setObjectName(QStringLiteral("LB_Profile_File"));
  file_->setAccessibleName(QStringLiteral("Profile file"));
  column->addWidget(file_);

  table_ = new QTableWidget(0, 4, this);
  table_->setObjectName(QStringLiteral("Grid_Profile"));
  table_->setAccessibleName(QStringLiteral("Settings that differ"));
  table_->setHorizontalHeaderLabels({QStringLiteral("Setting"), QStringLiteral("Modem"),
                                     QStringLiteral("Profile"), QStringLiteral("Result")});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->setVisible(false);
  table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setStretchLastSection(true);
  // Tab (and Ctrl+Tab) leave the table for the buttons; the arrows move
  // inside it.
  table_->setTabKeyNavigation(false);
  table_->installEventFilter(this);
  column->addWidget(table_, 1);

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("Progress_Profile"));
  progress_->setAccessibleName(QStringLiteral("Lines sent"));
  progress_->setFormat(QStringLiteral("%v of %m lines"));
  column->addWidget(progress_);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("LB_Profile_Status"));
  status_->setAccessibleName(QStringLiteral("Profile status"));
  status_->setWordWrap(true);
  column->addWidget(status_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  apply_ = Button("Btn_Profile_Apply", QStringLiteral("Apply"), this);
  cancel_ = Button("Btn_Profile_Cancel", QStringLiteral("Cancel"), this);
  cancel_->setAccessibleDescription(QStringLiteral("Stops the apply before its next line"));
  cancel_->setVisible(false);
  close_ = Button("Btn_Profile_Close", QStringLiteral("Close"), this);
  buttons->addWidget(apply_);
  buttons->addWidget(cancel_);
  buttons->addWidget(close_);
  column->addLayout(buttons);

  connect(apply_, &QPushButton::clicked, this, [this] { ApplyNow(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { CancelApply(); });
  connect(close_, &QPushButton::clicked, this, [this] { reject(); });
  model_->on_progress = [this] {
    progress_->setMaximum(model_->Total());
    progress_->setValue(model_->Done());
  };
}

ProfileDialog::~ProfileDialog() = default;

bool ProfileDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == table_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ControlModifier)) {
      focusNextPrevChild(!(key->modifiers() & Qt::ShiftModifier));
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void ProfileDialog::SetStatus(const QString& text) {
  SetSpoken(status_, QStringLiteral("Profile status"), text);
}

void ProfileDialog::Start(const QString& path, bool applyAtOnce) {
  SetSpoken(file_, QStringLiteral("Profile file"), path);
  table_->setRowCount(0);
  progress_->setMaximum(1);
  progress_->setValue(0);
  SetStatus(QStringLiteral("Reading the modem..."));
  // Nothing counts as sent until a plan exists.
  progress_->setVisible(false);
  apply_->setEnabled(false);
  close_->setEnabled(false);
  busy_ = true;
  open();
  QTimer::singleShot(0, this, [this, path, applyAtOnce] {
    model_->Open(PathBytes(path));
    busy_ = false;
    Fill();
    if (applyAtOnce && model_->CanApply()) ApplyNow();
  });
}

void ProfileDialog::ApplyNow() {
  if (busy_ || !model_->CanApply()) return;
  busy_ = true;
  apply_->setEnabled(false);
  close_->setEnabled(false);
  progress_->setMaximum(model_->Total());
  progress_->setValue(0);
  SetStatus(QStringLiteral("Writing the settings..."));
  progress_->setVisible(true);
  cancel_->setEnabled(true);
  cancel_->setVisible(true);
  cancel_->setFocus(Qt::OtherFocusReason);
  // The lines go out on a thread of their own; the window stays live.
  model_->StartApply([this] {
    busy_ = false;
    cancel_->setVisible(false);
    Fill();
  });
}

void ProfileDialog::CancelApply() {
  if (model_->CurrentPhase() != profile::ProfileDialogModel::Phase::Applying) return;
  model_->Stop();
  cancel_->setEnabled(false);
  SetStatus(QStringLiteral("Stopping before the next line..."));
}

void ProfileDialog::Fill() {
  const auto& rows = model_->Rows();
  table_->setRowCount(static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const auto& r = rows[static_cast<size_t>(i)];
    const QString cells[] = {
        ToQt(r.caption) + QStringLiteral(" (") + ToQt(r.key) + QStringLiteral(")"), ToQt(r.modem),
        ToQt(r.profile), ToQt(r.result)};
    for (int c = 0; c < 4; ++c) table_->setItem(i, c, new QTableWidgetItem(cells[c]));
  }
  progress_->setMaximum(std::max(1, model_->Total()));
  progress_->setValue(model_->Done());
  // A refused file or a modem with nothing to write has no lines to count.
  progress_->setVisible(model_->Total() > 0);
  SetStatus(QString::fromUtf8(model_->Status()));
  apply_->setEnabled(model_->CanApply());
  close_->setEnabled(true);
  // Where the operator goes on: Apply when it can write, Close otherwise.
  (model_->CanApply() ? apply_ : close_)->setFocus(Qt::OtherFocusReason);
}

void ProfileDialog::reject() {
  // Half an apply is never abandoned unasked (the port follows the
  // modem's link): a close asks whether to stop it, and a close while the
  // modem is read is told to wait.
  if (busy_) {
    Platform& platform = modem_->platform();
    if (model_->CurrentPhase() != profile::ProfileDialogModel::Phase::Applying) {
      platform.ShowMessage(kMsgCloseWhileReading);
    } else if (model_->StopRequested()) {
      platform.ShowMessage(kMsgCloseWhileStopping);
    } else if (platform.Confirm(kMsgCloseDuringApply)) {
      CancelApply();
    }
    return;
  }
  QDialog::reject();
}

// ---- SaveProfileDialog ---------------------------------------------------------

SaveProfileDialog::SaveProfileDialog(forms::TForm_main& form, QWidget* owner)
    : QDialog(owner), form_(form) {
  setObjectName(QStringLiteral("Form_SaveProfile"));
  setWindowTitle(QStringLiteral("Save Profile"));
  setAccessibleName(QStringLiteral("Save Profile"));
  setWindowModality(Qt::ApplicationModal);

  auto* column = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  auto* label = new QLabel(QStringLiteral("File"), this);
  path_ = new QLineEdit(this);
  path_->setObjectName(QStringLiteral("Edit_Profile_Path"));
  path_->setAccessibleName(QStringLiteral("Profile file"));
  label->setBuddy(path_);
  auto* browse = Button("Btn_Profile_Browse", QStringLiteral("Browse..."), this);
  row->addWidget(label);
  row->addWidget(path_, 1);
  row->addWidget(browse);
  column->addLayout(row);
  identity_ = new QCheckBox(QStringLiteral("Include the unit's own address (MYID)"), this);
  identity_->setObjectName(QStringLiteral("CB_Profile_Identity"));
  identity_->setAccessibleName(identity_->text());
  secrets_ =
      new QCheckBox(QStringLiteral("Include the AES key and IV (file readable by you only)"), this);
  secrets_->setObjectName(QStringLiteral("CB_Profile_Secrets"));
  secrets_->setAccessibleName(secrets_->text());
  column->addWidget(identity_);
  column->addWidget(secrets_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* save = Button("Btn_Profile_Save", QStringLiteral("Save"), this);
  auto* cancel = Button("Btn_Profile_Cancel", QStringLiteral("Cancel"), this);
  save->setDefault(true);
  buttons->addWidget(save);
  buttons->addWidget(cancel);
  column->addLayout(buttons);

  choose_file = [this] {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save Profile"), path_->text(),
                                        QString::fromLatin1(kFilter));
  };
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString chosen = choose_file();
    if (!chosen.isEmpty()) path_->setText(chosen);
  });
  connect(save, &QPushButton::clicked, this, [this] { Save(); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
}

void SaveProfileDialog::Start() {
  identity_->setChecked(false);
  secrets_->setChecked(false);
  open();
}

void SaveProfileDialog::Save() {
  QString path = path_->text().trimmed();
  if (path.isEmpty()) return;
  if (!path.contains(QLatin1Char('.')))
    path += QString::fromLatin1(profile::kProfileExtension.data());
  forms::ModemSession modem(form_, ServeUntil);
  profile::ProfileDialogModel model(modem, {});
  const std::string text =
      model.Save(PathBytes(path), {identity_->isChecked(), secrets_->isChecked()});
  accept();
  form_.platform().ShowMessage(text);
}

// ---- ProfileMenu -----------------------------------------------------------------

ProfileMenu::ProfileMenu(forms::TForm_main& form, QMenuBar* bar, QAction* after, QWidget* owner)
    : QObject(owner) {
  // Alt+P, then S, C or A, as every other menu of the bar.
  auto* menu = new QMenu(QStringLiteral("&Profile"), bar);
  menu->setObjectName(QStringLiteral("Profile1_menu"));
  menu->menuAction()->setObjectName(QStringLiteral("Profile1"));
  const QList<QAction*> actions = bar->actions();
  const int at = static_cast<int>(actions.indexOf(after));
  QAction* before = at >= 0 && at + 1 < actions.size() ? actions[at + 1] : nullptr;
  bar->insertMenu(before, menu);

  save_ = menu->addAction(QStringLiteral("&Save Profile..."));
  save_->setObjectName(QStringLiteral("SaveProfile1"));
  compare_ = menu->addAction(QStringLiteral("&Compare with Profile..."));
  compare_->setObjectName(QStringLiteral("CompareProfile1"));
  apply_ = menu->addAction(QStringLiteral("&Apply Profile..."));
  apply_->setObjectName(QStringLiteral("ApplyProfile1"));

  dialog_ = new ProfileDialog(form, owner);
  save_dialog_ = new SaveProfileDialog(form, owner);
  choose_file = [owner] {
    return QFileDialog::getOpenFileName(owner, QStringLiteral("Profile"), QString(),
                                        QString::fromLatin1(kFilter));
  };
  connect(save_, &QAction::triggered, this, [this] { save_dialog_->Start(); });
  connect(compare_, &QAction::triggered, this, [this] {
    const QString path = choose_file();
    if (!path.isEmpty()) dialog_->Start(path, false);
  });
  // Apply shows what it would write first; the dialog's Apply writes.
  connect(apply_, &QAction::triggered, this, [this] {
    const QString path = choose_file();
    if (!path.isEmpty()) dialog_->Start(path, false);
  });
  SetConnected(false);
}

ProfileMenu::~ProfileMenu() = default;

void ProfileMenu::SetConnected(bool connected) {
  for (QAction* a : {save_, compare_, apply_}) a->setEnabled(connected);
}

}  // namespace velimo::gui
