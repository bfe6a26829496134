// Table-driven checks of the response parsers: each row feeds answer lines
// through the receive path of a fresh, connected main window and compares
// the controls, message boxes, bytes sent and trace lines that follow.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/form_fixture.h"

namespace velimo::test {

// The state of a control as one text, by name with an optional property:
// "Edit_S_Did" (text of an editor, caption of a label, selected index of a
// list, "shown"/"hidden" of a panel, "enabled"/"disabled" of a button),
// "Edit_S_AESKey.enabled", "Panel_R_Relay.visible", "CB_S_Ch.items" (item
// count).
inline std::string StateOf(const forms::TForm_main& form, const std::string& key) {
  const size_t dot = key.find('.');
  const std::string name = key.substr(0, dot);
  const std::string prop = dot == std::string::npos ? "" : key.substr(dot + 1);
  forms::Control* c = form.FindControl(name);
  if (!c) return "<no control " + name + ">";
  if (prop == "enabled") return c->Enabled() ? "enabled" : "disabled";
  if (prop == "visible") return c->Visible() ? "shown" : "hidden";
  switch (c->Kind()) {
    case forms::ControlKind::Edit:
      return static_cast<forms::TEdit*>(c)->Text();
    case forms::ControlKind::ComboBox: {
      auto* box = static_cast<forms::TComboBox*>(c);
      if (prop == "items") return std::to_string(box->Items().size());
      return std::to_string(box->ItemIndex());
    }
    case forms::ControlKind::Panel:
      return c->Visible() ? "shown" : "hidden";
    case forms::ControlKind::Button:
      return c->Enabled() ? "enabled" : "disabled";
    default:
      return c->Caption();
  }
}

struct ParseCase {
  const char* name = "";
  // Control states before the lines arrive (same keys as StateOf, values
  // assigned as a handler would), and any other preparation.
  std::vector<std::pair<std::string, std::string>> given{};
  std::vector<std::string> lines{};
  // Control states that must follow.
  std::vector<std::pair<std::string, std::string>> expect{};
  // Message boxes, in order (an empty list: none at all).
  std::vector<std::string> messages{};
  // Bytes written to the port by the parser (status or key query).
  std::string sent{};
  // Controls that must keep their state.
  std::vector<std::string> unchanged{};
  // Trace texts the parser logged itself (without the time stamp).
  std::vector<std::string> logged{};
  int response_flag = -1;  // -1: not checked
};

inline void Assign(forms::TForm_main& form, const std::string& key, const std::string& value) {
  const size_t dot = key.find('.');
  forms::Control* c = form.FindControl(key.substr(0, dot));
  ASSERT_NE(c, nullptr) << key;
  const std::string prop = dot == std::string::npos ? "" : key.substr(dot + 1);
  if (prop == "enabled") return c->SetEnabled(value == "enabled");
  if (prop == "visible") return c->SetVisible(value == "shown");
  switch (c->Kind()) {
    case forms::ControlKind::Edit:
      return static_cast<forms::TEdit*>(c)->SetText(value);
    case forms::ControlKind::ComboBox:
      return static_cast<forms::TComboBox*>(c)->SetItemIndex(std::stoi(value));
    case forms::ControlKind::Panel:
      return c->SetVisible(value == "shown");
    case forms::ControlKind::Button:
      return c->SetEnabled(value == "enabled");
    default:
      return c->SetCaption(value);
  }
}

// Runs each case on a fresh window with the model chosen by select and the
// port open; lines go in through the port's receive event.
inline void RunParseCases(const std::vector<ParseCase>& cases,
                          void (forms::TForm_main::*select)()) {
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.name);
    FormFixture f;
    forms::TForm_main& w = *f.form;
    (w.*select)();
    f.Connect();
    w.ResponseFlag = 7;  // neither 0 nor 1: shows who set it
    for (const auto& [key, value] : c.given) Assign(w, key, value);
    std::map<std::string, std::string> before;
    for (const std::string& key : c.unchanged) before[key] = StateOf(w, key);
    f.platform.ClearRecords();
    f.channel.writes.clear();
    const size_t pane_before = w.Trace().Pane().LineCount();

    for (const std::string& line : c.lines) {
      f.channel.Queue(line);
      w.ComPortEnvBoardRxChar(static_cast<int>(line.size()));
    }

    for (const auto& [key, value] : c.expect) EXPECT_EQ(StateOf(w, key), value) << key;
    for (const std::string& key : c.unchanged) EXPECT_EQ(StateOf(w, key), before[key]) << key;
    EXPECT_EQ(f.platform.Messages(), c.messages);
    EXPECT_EQ(f.channel.Written(), c.sent);
    if (c.response_flag >= 0) {
      EXPECT_EQ(w.ResponseFlag, c.response_flag);
    }
    // Stamped trace lines the parser wrote, in order; the query's own
    // announcement and send lines are left out of the comparison.
    std::vector<std::string> logged;
    const auto& pane = w.Trace().Pane().Lines();
    for (size_t i = pane_before; i < pane.size(); ++i) {
      const std::string& l = pane[i];
      if (l.size() < 12 || l[0] != '[' || l.compare(9, 3, "]  ") != 0) continue;  // echo
      const std::string text = l.substr(12);
      if (text.rfind("Send ", 0) == 0) continue;
      logged.push_back(text);
    }
    EXPECT_EQ(logged, c.logged);
  }
}

}  // namespace velimo::test
