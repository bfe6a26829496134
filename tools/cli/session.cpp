#include "session.h"

#include <algorithm>

#include "forms/controls/layout.h"
#include "forms/form_connect.h"
#include "forms/pages/main_frame.h"
#include "protocol/catalogue.h"

namespace velimo::cli {

using forms::Control;
using forms::ControlKind;

std::vector<int> PageSetOf(char model) {
  switch (model) {
    case 's':
    case 'u':
      return {forms::kPageSInfo, forms::kPageSLoRa, forms::kPageSSerial};
    case 'r':
      return {forms::kPageRInfo, forms::kPageRLoRa};
    case 'i':
      return {forms::kPageIInfo, forms::kPageILoRa, forms::kPageISerial};
    default:
      return {};
  }
}

Session::Session(forms::HeadlessPlatform& platform, forms::ApplicationOptions options)
    : platform_(platform) {
  app_ = std::make_unique<forms::TApplication>(platform_, std::move(options));
  // Before anything is asked, an information label reads "no info": that is
  // what tells them from the static captions that carry a name.
  for (Control* c : Main().AllControls()) {
    if (c->Kind() == ControlKind::Label && c->Caption() == "no info")
      info_labels_.push_back(c->Name());
  }
  platform_.WatchPort(Main().ComPortEnvBoard);
  app_->ShowMainWindow();
}

Session::~Session() {
  // The main window closes the port on its way out; nothing is served after.
  serial::TComPort& port = Main().ComPortEnvBoard;
  modem_.reset();
  app_.reset();
  platform_.UnwatchPort(port);
}

forms::ModemSession& Session::Modem() {
  if (!modem_) {
    modem_ = std::make_unique<forms::ModemSession>(
        Main(), [this](const std::function<bool()>& done, int limitMs) {
          return platform_.RunUntil(done, limitMs);
        });
  }
  return *modem_;
}

void Session::SelectModel(char model) {
  model_ = model;
  forms::TForm_main& m = Main();
  m.ChosenModelWord = "--model";
  forms::TMenuItem* item = model == 's'   ? &m.sTavi1
                           : model == 'u' ? &m.uTavi1
                           : model == 'r' ? &m.rTavi1
                           : model == 'i' ? &m.ioTavi1
                                          : nullptr;
  if (item) Run([item] { item->Click(); });
}

bool Session::Connect(const LinkChoice& link) {
  Run([this] { Main().ConnectN1.Click(); });
  forms::TForm_Connect& d = Dialog();
  if (!d.Showing()) return Main().ComPortEnvBoard.Connected();
  d.CB_ComPort.UserSetText(link.port);
  const auto& bauds = d.Edit_Baudrate.Items();
  const auto b = std::find(bauds.begin(), bauds.end(), link.baud);
  if (b != bauds.end()) d.Edit_Baudrate.UserSelect(static_cast<int>(b - bauds.begin()));
  const auto& parities = d.Edit_PAB.Items();
  const auto p = std::find(parities.begin(), parities.end(), link.parity);
  if (p != parities.end()) d.Edit_PAB.UserSelect(static_cast<int>(p - parities.begin()));
  d.Edit_FlowCtrl.UserSelect(link.flow_index);
  Run([&d] { d.Btn_Connect.Click(); });
  // A network port is opened off this thread: its end is served here,
  // within the open's own limits (lookup and connection, the agreement).
  if (d.Connecting()) platform_.RunUntil([&d] { return !d.Connecting(); }, 60000);
  return Main().ComPortEnvBoard.Connected();
}

bool Session::StatusQueryPending() {
  forms::TForm_main& m = Main();
  return m.ResponseFlag == 0 && m.Timer_ConnectionResponse.Enabled() &&
         m.ComPortEnvBoard.Connected() && !platform_.RestartRequested();
}

bool Session::Settle(int limitMs, int quietMs) {
  const int64_t start = platform_.MonotonicMs();
  return platform_.RunUntil(
      [&] {
        if (platform_.RestartRequested()) return true;
        // A network port being opened off this thread.
        if (Dialog().Connecting()) return false;
        if (StatusQueryPending()) return false;
        // The encryption query is sent a second after a status query on
        // the sTavi/uTavi LoRa page; its answer belongs to the same read.
        if (Main().Timer_AESQuery.Enabled() && Main().ComPortEnvBoard.Connected()) return false;
        // Opening the ioTavi Serial page sends its status query once the
        // RS-485 answer is in, or a moment later.
        if (Main().StatusQueryAwaitingRs485() && Main().ComPortEnvBoard.Connected()) return false;
        // Quiet since the answers last came in, or since a timer last
        // sent something.
        const int64_t last =
            std::max({start, platform_.LastPortActivityMs(), platform_.LastTickMs()});
        return platform_.MonotonicMs() - last >= quietMs;
      },
      limitMs);
}

Control* Session::Find(std::string_view name) const {
  if (Control* c = app_->Form_main().FindControl(name)) return c;
  for (Control* c : forms::ControlsOf(app_->Form_Connect().Layout()))
    if (name == c->Name()) return c;
  return nullptr;
}

std::vector<Control*> Session::PageSetControls() const {
  std::vector<Control*> out;
  const auto& pages = app_->Form_main().Pages();
  for (int index : PageSetOf(model_)) {
    for (Control* c : forms::ControlsOf(pages[static_cast<size_t>(index)])) {
      const bool info =
          c->Kind() == ControlKind::Label &&
          std::find(info_labels_.begin(), info_labels_.end(), c->Name()) != info_labels_.end();
      const bool editor = c->Kind() == ControlKind::Edit || c->Kind() == ControlKind::ComboBox;
      if (info || editor) out.push_back(c);
    }
  }
  return out;
}

std::vector<std::string> Session::ReachableNames(bool editorsOnly) const {
  const auto& pages = app_->Form_main().Pages();
  const std::vector<int> mine = PageSetOf(model_);
  std::vector<const Control*> others;  // on the pages of the other models
  for (size_t i = 0; i < pages.size(); ++i) {
    if (std::find(mine.begin(), mine.end(), static_cast<int>(i)) != mine.end()) continue;
    for (const Control* c : forms::ControlsOf(pages[i])) others.push_back(c);
  }
  std::vector<Control*> reach;
  for (int index : mine)
    for (Control* c : forms::ControlsOf(pages[static_cast<size_t>(index)])) reach.push_back(c);
  for (Control* c : app_->Form_main().AllControls()) {
    if (std::find(others.begin(), others.end(), c) == others.end() &&
        std::find(reach.begin(), reach.end(), c) == reach.end())
      reach.push_back(c);
  }
  for (Control* c : forms::ControlsOf(app_->Form_Connect().Layout())) reach.push_back(c);

  std::vector<std::string> names;
  for (const Control* c : reach) {
    if (editorsOnly && CheckSettable(c->Name())) continue;
    names.push_back(c->Name());
  }
  return names;
}

std::string Session::ValueOf(const Control& control) {
  switch (control.Kind()) {
    case ControlKind::Edit:
      return static_cast<const forms::TEdit&>(control).Text();
    case ControlKind::ComboBox:
      return static_cast<const forms::TComboBox&>(control).Text();
    case ControlKind::EditComboBox:
      return static_cast<const forms::TEditComboBox&>(control).Text();
    case ControlKind::CheckBox:
      return static_cast<const forms::TCheckBox&>(control).Checked() ? "1" : "0";
    case ControlKind::MenuItem:
      return static_cast<const forms::TMenuItem&>(control).Checked() ? "1" : "0";
    default:
      return control.Caption();
  }
}

std::optional<std::string> Session::CheckSettable(std::string_view name) const {
  Control* c = Find(name);
  if (!c) return "there is no control \"" + std::string(name) + "\"";
  switch (c->Kind()) {
    case ControlKind::Edit:
    case ControlKind::ComboBox:
    case ControlKind::EditComboBox:
    case ControlKind::CheckBox:
      return std::nullopt;
    default:
      return std::string(name) + " is not an editor, a list or a check box";
  }
}

std::optional<std::string> Session::CheckClickable(std::string_view name) const {
  if (!Find(name)) return "there is no control \"" + std::string(name) + "\"";
  return std::nullopt;
}

std::optional<std::string> Session::Set(std::string_view name, std::string_view value) {
  if (auto error = CheckSettable(name)) return error;
  Control* c = Find(name);
  if (c->Kind() == ControlKind::EditComboBox) {
    Run([&] { static_cast<forms::TEditComboBox*>(c)->UserSetText(value); });
    return std::nullopt;
  }
  switch (c->Kind()) {
    case ControlKind::Edit: {
      auto* edit = static_cast<forms::TEdit*>(c);
      // Select all, then type: each key passes the editor's filter, which
      // may refuse it with its message; the length limit stops typing. A
      // value the editor does not take whole is a failed step: what it
      // holds then is not what the script asked for.
      size_t refused = 0;
      bool cut = false;
      std::string typed;
      Run([&] {
        for (char ch : value) {
          char key = ch;
          if (edit->OnKeyPress) edit->OnKeyPress(key);
          if (key == 0) {
            ++refused;
            continue;
          }
          if (edit->MaxLength() > 0 && static_cast<int>(typed.size()) >= edit->MaxLength()) {
            cut = true;
            break;
          }
          typed += key;
        }
        edit->UserSetText(typed);
      });
      if (refused > 0)
        return std::string(name) + " did not take \"" + std::string(value) +
               "\" whole: " + std::to_string(refused) +
               " character(s) refused by its keyboard filter";
      if (cut)
        return std::string(name) + " did not take \"" + std::string(value) + "\" whole: it holds " +
               std::to_string(edit->MaxLength()) + " characters at most";
      return std::nullopt;
    }
    case ControlKind::ComboBox: {
      auto* list = static_cast<forms::TComboBox*>(c);
      const auto& items = list->Items();
      // Entries are matched without regard to case, as in a profile.
      const auto it = std::find_if(items.begin(), items.end(), [&](const std::string& item) {
        return protocol::SameLetters(item, value);
      });
      if (it == items.end()) {
        std::string entries;
        for (const auto& item : items) entries += (entries.empty() ? "" : ", ") + item;
        return std::string(name) + " has no entry \"" + std::string(value) +
               "\" (entries: " + (entries.empty() ? "none" : entries) + ")";
      }
      const int index = static_cast<int>(it - items.begin());
      Run([&] { list->UserSelect(index); });
      return std::nullopt;
    }
    case ControlKind::CheckBox: {
      auto* box = static_cast<forms::TCheckBox*>(c);
      if (value != "0" && value != "1") return std::string(name) + " takes 1 or 0";
      if (box->Checked() != (value == "1")) Run([&] { box->UserClick(); });
      return std::nullopt;
    }
    default:
      return std::string(name) + " is not an editor, a list or a check box";
  }
}

std::optional<std::string> Session::Click(std::string_view name) {
  Control* c = Find(name);
  if (!c) return "there is no control \"" + std::string(name) + "\"";
  if (c->Kind() == ControlKind::CheckBox) {
    auto* box = static_cast<forms::TCheckBox*>(c);
    Run([box] { box->UserClick(); });
  } else {
    Run([c] { c->Click(); });
  }
  return std::nullopt;
}

}  // namespace velimo::cli
