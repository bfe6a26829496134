// The settings file's text format: "[Section]" lines open sections,
// "Key=Value" lines hold values. Sections and keys match without regard to
// case (ASCII letters); blanks around names and values are ignored, and so
// is one pair of single or double quotes around a whole value. Every
// line the reader does not know (comments, text before the first section,
// unknown sections and keys, garbage) is kept in its place when the file is
// written back, and every line keeps its own line end (CR LF or LF).
//
// Where a section appears twice, only its first copy counts: its keys are
// the ones read and written, and a later copy with everything in it is kept
// as it is, neither read nor changed (a key found only there reads as
// absent and is added to the first copy). Likewise, where a key appears
// twice in that section, the first one is read and written.
//
// A UTF-8 byte-order mark at the start of the file (an editor's doing) is
// read as absent and written back as it was.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velimo::settings {

class IniFile {
 public:
  // A value is seen up to this many characters, the rest is cut off.
  static constexpr size_t kMaxValueLength = 2047;

  IniFile() = default;
  // Reads a file's text; any bytes are accepted.
  static IniFile Parse(std::string_view text);
  // Reads the file at path; a missing or unreadable file reads as empty, as
  // does one reached through another user's symbolic link or one that is
  // no regular file (util/own_file.h). So does a file that is refused: one
  // of another user, or one larger than any settings file (1 MiB); then
  // refused, when given, tells why in words ("it belongs to another user",
  // "it is 3221225472 bytes, larger than 1 MiB"). Nothing is created.
  static IniFile Load(const std::string& path, std::string* refused = nullptr);
  // Reads the file at path before changing it: a missing file reads as
  // empty, but one that exists and cannot be read, or is refused, raises
  // "Unable to write to <path>" rather than be replaced by a file without
  // its other lines.
  static IniFile LoadForUpdate(const std::string& path);

  // The value of section/key (trimmed, at most kMaxValueLength characters),
  // or nothing when the section or key is absent.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  std::string Get(std::string_view section, std::string_view key,
                  std::string_view defaultValue) const;

  // Sets section/key: the first existing line gets the new value (left
  // untouched when the value is the same); a missing key is added after the
  // last key of its section; a missing section is added at the end. A value
  // is cut at its first CR, LF or NUL, which could not be read back.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The file's text as it would be written.
  std::string Text() const;

  // Every key line in file order, with the section it stands in (empty
  // before the first section), its value as Get reads it, and its line
  // number counted from 1: for readers that refuse a file line by line.
  struct KeyLine {
    std::string section;
    std::string key;
    std::string value;
    int line = 0;
  };
  std::vector<KeyLine> Keys() const;
  // The line numbers of section headers, in file order.
  std::vector<std::pair<std::string, int>> Sections() const;

  // Replaces the file at path atomically: the text is written to a new file
  // beside it, synced to disk, and renamed over the old one, so a crash or a
  // full disk leaves either the old file or the new one, never a part.
  // Where no file can be made or renamed beside it (a folder closed to the
  // user, who may still write the file itself) the existing file is
  // rewritten in place and synced; should that fail, its old text is put
  // back. A symbolic link is followed and kept where the rule of
  // util/own_file.h allows (the user's or root's), and
  // refused otherwise, and so is a file of another user. Raises
  // velimo::Exception "Unable to write to <path>" on failure.
  void Save(const std::string& path) const;

  // Removes what saves killed between creating and renaming their file left
  // beside the file at path: a temporary whose process is gone and that no
  // save holds any more, whatever its age. Save does it first; the program
  // does it at start as well.
  static void RemoveLeftovers(const std::string& path);

 private:
  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n", or "" for a last line without one
  };
  // A line's role, found again from its text whenever needed so that edits
  // never leave stale indexes behind.
  struct Parsed {
    enum Kind { Other, Section, Key } kind = Other;
    std::string name;                       // trimmed section or key name
    size_t value_begin = 0, value_end = 0;  // trimmed value within the text
    // The value as read: without one pair of enclosing quotes.
    std::string_view Value(std::string_view text) const;
  };
  static Parsed ParseLine(std::string_view text);
  std::string NewLineEnd() const;

  std::vector<Line> lines_;
  bool byte_order_mark_ = false;
};

}  // namespace velimo::settings
