#include "forms/controls/accessible_names.h"

#include <cctype>
#include <map>
#include <vector>

namespace velimo::forms {

namespace {

std::string Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == ',')) ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return std::string(s.substr(b, e - b));
}

bool IsHeaderStrip(const LayoutNode& node) {
  return node.type == NodeType::Control && node.control &&
         node.control->Kind() == ControlKind::Panel && !node.control->Caption().empty();
}

// A group: a panel whose first control is its "[...]" header strip.
const LayoutNode* HeaderOf(const LayoutNode& node) {
  for (const auto& child : node.children) {
    if (child.type == NodeType::Control) return IsHeaderStrip(child) ? &child : nullptr;
  }
  return nullptr;
}

std::string Capitalised(std::string s) {
  if (!s.empty()) s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
  return s;
}

std::string Joined(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + " " + b;
}

// The row captions below a node, in order, each once.
void CollectCaptions(const LayoutNode& node, std::vector<std::string>& out) {
  for (const auto& child : node.children) {
    std::string caption;
    if (child.type == NodeType::Text && child.style == TextStyle::Caption) {
      caption = SpokenCaption(child.text);
    } else if (child.type == NodeType::Control && child.control &&
               child.control->Kind() == ControlKind::Label && node.type == NodeType::Row &&
               &child == &node.children.front()) {
      caption = SpokenCaption(child.control->Caption());
    }
    if (!caption.empty()) {
      bool known = false;
      for (const auto& c : out) known = known || c == caption;
      if (!known) out.push_back(caption);
    }
    CollectCaptions(child, out);
  }
}

struct Entry {
  const Control* control;
  AccessibleName name;
  std::string group;
};

struct Context {
  std::string page_caption;
  std::string page_title;
  std::string group;
  std::string row_caption;
  bool page_child = false;
  bool in_row = false;
  // The caption of the row's last editor, for telling its hidden copy apart.
  std::string* last_editor_caption = nullptr;
};

class Namer {
 public:
  std::vector<Entry> entries;

  void Visit(const LayoutNode& node, Context ctx) {
    switch (node.type) {
      case NodeType::Text:
        return;
      case NodeType::Column: {
        Context inner = ctx;
        inner.row_caption.clear();
        inner.in_row = false;
        inner.page_child = false;
        for (const auto& child : node.children) Visit(child, inner);
        return;
      }
      case NodeType::Row:
        VisitRow(node, ctx);
        return;
      case NodeType::Control:
        if (node.control) VisitControl(node, ctx);
        return;
    }
  }

 private:
  void Add(const LayoutNode& node, const Context& ctx, std::string name,
           bool before_value = false) {
    if (!node.spoken.empty()) {
      name = node.spoken;
      before_value = false;
    }
    entries.push_back({node.control, {std::move(name), before_value}, ctx.group});
  }

  void VisitRow(const LayoutNode& row, Context ctx) {
    Context inner = ctx;
    inner.in_row = true;
    inner.page_child = false;
    std::string last_editor;
    inner.last_editor_caption = &last_editor;
    bool first = true;
    for (const auto& child : row.children) {
      if (child.type == NodeType::Text) {
        if (child.style == TextStyle::Caption) inner.row_caption = SpokenCaption(child.text);
      } else {
        Visit(child, inner);
        // A label at the start of a row is the row's caption.
        if (first && child.type == NodeType::Control && child.control &&
            child.control->Kind() == ControlKind::Label && inner.row_caption.empty())
          inner.row_caption = SpokenCaption(child.control->Caption());
      }
      first = false;
    }
  }

  // Where a button, box or editor is without a caption of its own.
  static std::string Context3(const Context& ctx) {
    if (!ctx.row_caption.empty()) return ctx.row_caption;
    if (!ctx.group.empty()) return ctx.group;
    return ctx.page_title;
  }

  void VisitControl(const LayoutNode& node, const Context& ctx) {
    const Control& c = *node.control;
    Context inner = ctx;
    inner.row_caption.clear();
    inner.in_row = false;
    inner.page_child = false;
    inner.last_editor_caption = nullptr;
    switch (c.Kind()) {
      case ControlKind::Page: {
        inner.page_caption = SpokenCaption(c.Caption());
        inner.page_title = inner.page_caption;
        for (const auto& child : node.children) {
          if (child.type == NodeType::Text && child.style == TextStyle::Title) {
            inner.page_title = SpokenCaption(child.text);
            break;
          }
        }
        Add(node, ctx, inner.page_caption + " page");
        int controls = 0;
        for (const auto& child : node.children) controls += child.type == NodeType::Control;
        inner.page_child = controls == 1;
        for (const auto& child : node.children) Visit(child, inner);
        return;
      }
      case ControlKind::Panel:
      case ControlKind::GroupBox: {
        if (IsHeaderStrip(node)) {
          Add(node, ctx, (ctx.group.empty() ? SpokenCaption(c.Caption()) : ctx.group) + " header");
          for (const auto& child : node.children) Visit(child, inner);
          return;
        }
        std::string name;
        if (const LayoutNode* header = HeaderOf(node)) {
          name = !node.spoken.empty() ? node.spoken : SpokenCaption(header->control->Caption());
          inner.group = name;
        } else if (ctx.page_child) {
          // A panel that is the whole page goes by the page's name.
          name = ctx.page_caption;
        } else {
          std::vector<std::string> captions;
          CollectCaptions(node, captions);
          // A sub-panel of a few rows is called by them ("AES KEY, AES IV");
          // one of a single caption would share its editor's name.
          if (captions.size() >= 2 && captions.size() <= 3) {
            for (const auto& caption : captions) name += (name.empty() ? "" : ", ") + caption;
          } else {
            name = ctx.page_title;
          }
        }
        Add(node, ctx, name);
        for (const auto& child : node.children) Visit(child, inner);
        return;
      }
      case ControlKind::Edit:
      case ControlKind::ComboBox:
      case ControlKind::EditComboBox:
      case ControlKind::Image: {
        std::string name = ctx.row_caption;
        if (ctx.last_editor_caption) {
          // A hidden editor after the visible one of its row holds the
          // value last read back from the modem.
          if (c.Kind() == ControlKind::Edit && !c.Visible() && !name.empty() &&
              *ctx.last_editor_caption == name)
            name += ", last read";
          else
            *ctx.last_editor_caption = name;
        }
        Add(node, ctx, name);
        return;
      }
      case ControlKind::Label:
        if (ctx.in_row && !ctx.row_caption.empty()) {
          Add(node, ctx, ctx.row_caption, /*before_value=*/true);
        } else {
          Add(node, ctx, std::string());
        }
        return;
      case ControlKind::CheckBox:
        Add(node, ctx, Joined(Capitalised(SpokenCaption(c.Caption())), ctx.row_caption));
        return;
      case ControlKind::Button:
      case ControlKind::GlyphButton: {
        const std::string& raw = c.Caption();
        std::string name;
        if (raw == "Save") {
          name = "Save " + Context3(ctx);
        } else if (raw == " Save") {
          // A save-all: everything of its row, group or page at once.
          name = "Save all " + Context3(ctx);
        } else {
          name = SpokenCaption(raw);
        }
        Add(node, ctx, name);
        entries.back().name.follows_caption = node.spoken.empty() && name == SpokenCaption(raw);
        for (const auto& child : node.children) Visit(child, inner);
        return;
      }
      default:
        Add(node, ctx, SpokenCaption(c.Caption()));
        for (const auto& child : node.children) Visit(child, inner);
        return;
    }
  }
};

}  // namespace

std::string SpokenCaption(std::string_view caption) {
  std::string s = Trim(caption);
  if (s.size() >= 2 && s.front() == '[' && s.back() == ']') s = Trim(s.substr(1, s.size() - 2));
  if (s.size() > 2 && s.compare(s.size() - 2, 2, "0x") == 0) s = Trim(s.substr(0, s.size() - 2));
  if (!s.empty() && s.back() == ':') s = Trim(s.substr(0, s.size() - 1));
  return s;
}

AccessibleNames NameControls(const LayoutNode& root) {
  Namer namer;
  namer.Visit(root, Context{});
  // Names two controls would share are told apart by their groups.
  std::map<std::string, std::vector<Entry*>> by_name;
  for (Entry& e : namer.entries) {
    if (e.name.name.empty()) continue;
    by_name[e.name.name + (e.name.before_value ? ":" : "")].push_back(&e);
  }
  for (auto& [key, same] : by_name) {
    if (same.size() < 2) continue;
    for (Entry* e : same) {
      if (e->group.empty()) continue;
      // A group of the same name as the control would say nothing new
      // ("Encryption (Encryption)"): the setting in it is called so.
      e->name.name += e->group == e->name.name ? " setting" : " (" + e->group + ")";
      e->name.follows_caption = false;
    }
  }
  AccessibleNames out;
  for (Entry& e : namer.entries) out[e.control] = std::move(e.name);
  return out;
}

}  // namespace velimo::forms
