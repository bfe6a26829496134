// One headless run of the program, driven as an operator drives the window:
// the application object with its three windows on a HeadlessPlatform, the
// model chosen through its menu item, the link opened through the connect
// dialog, and the controls reached by their names. velimo-cli is a thin
// command line around it; the end-to-end tests use it directly.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/application.h"
#include "forms/controls/controls.h"
#include "forms/headless_platform.h"
#include "forms/modem_session.h"

namespace velimo::cli {

// What the operator picks in the connect dialog, spelled as its lists
// spell it.
struct LinkChoice {
  std::string port;
  std::string baud = "9600";
  std::string parity = "None";
  int flow_index = 0;  // 0 "OFF", 1 "RTS/CTS"
};

class Session {
 public:
  // How long the line must stay quiet before a settle ends.
  static constexpr int kQuietMs = 300;

  // Creates the windows and shows the main window (its activation reads the
  // settings file). The platform must outlive the session.
  Session(forms::HeadlessPlatform& platform, forms::ApplicationOptions options = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  forms::TApplication& App() { return *app_; }
  forms::TForm_main& Main() { return app_->Form_main(); }
  forms::TForm_Connect& Dialog() { return app_->Form_Connect(); }
  forms::HeadlessPlatform& Platform() { return platform_; }
  // The seam profiles and the bench drive the modem through; its reads
  // serve this session's events.
  forms::ModemSession& Modem();

  // Runs an operator action; an error escaping it goes to the default
  // error report, as in the window.
  void Run(const std::function<void()>& action) { app_->Run(action); }

  // The model's menu item is clicked: 's', 'u', 'r' or 'i'.
  void SelectModel(char model);
  char Model() const { return model_; }

  // "Connection" / "Connect", the dialog filled in, Connect pressed.
  // Returns whether the port is open afterwards. Does not wait.
  bool Connect(const LinkChoice& link);

  // Serves events until the status query (if one is waiting) has been
  // answered or the watchdog has fired, no encryption query is still due,
  // and the line has been quiet for quietMs; gives up after limitMs.
  // Returns false on giving up.
  bool Settle(int limitMs = 15000, int quietMs = kQuietMs);

  // True while a status query waits for its answer: sent, the watchdog
  // armed, no answer recognised, and the port still open.
  bool StatusQueryPending();

  // A control of the main window or of the connect dialog by its name.
  forms::Control* Find(std::string_view name) const;

  // Every information label and editor of the selected model's page set,
  // in page and declaration order.
  std::vector<forms::Control*> PageSetControls() const;
  // The names of the information labels (captions "no info" before the
  // modem is asked anything), taken when the windows were made.
  const std::vector<std::string>& InfoLabelNames() const { return info_labels_; }

  // The names the commands reach with the selected model: every control of
  // its page set, the window's controls outside the pages (menus, left
  // buttons, trace pane) and the connect dialog's, in that order. With
  // editorsOnly, only those that Set accepts.
  std::vector<std::string> ReachableNames(bool editorsOnly) const;

  // What a control shows: an editor's text, a list's selected entry, a
  // check mark as "1" or "0", any other control's caption.
  static std::string ValueOf(const forms::Control& control);

  // The operator types value into an editor (every character through its
  // keyboard filter, at most its length limit), or picks the entry value
  // of a list, or ticks a check box to "1" or "0". Runs the change
  // handler. Returns an error text when the value cannot be entered so.
  std::optional<std::string> Set(std::string_view name, std::string_view value);
  // The operator clicks a button, menu item, header or check box (hidden
  // and disabled ones too). Returns an error text for an unknown name.
  std::optional<std::string> Click(std::string_view name);
  // Whether Set / Click can reach a control of this name and kind.
  std::optional<std::string> CheckSettable(std::string_view name) const;
  std::optional<std::string> CheckClickable(std::string_view name) const;

 private:
  forms::HeadlessPlatform& platform_;
  std::unique_ptr<forms::TApplication> app_;
  std::unique_ptr<forms::ModemSession> modem_;
  std::vector<std::string> info_labels_;
  char model_ = 0;
};

// The page indexes of a model's page set.
std::vector<int> PageSetOf(char model);

}  // namespace velimo::cli
