#include "settings/ini_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>
#include <vector>

#include "util/errors.h"
#include "util/own_file.h"

namespace velimo::trace {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

enum class ReadResult { Read, Missing, Failed };

// Reads all of an open file from its start into out.
bool ReadAll(int fd, std::string& out) {
  char buffer[65536];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buffer, static_cast<size_t>(n));
    at += n;
  }
}

ReadResult ReadWholeFile(const std::string& path, std::string& out) {
  // Only a regular file is a settings file; a directory, a FIFO or a device
  // in its place cannot be read as one (and is not even opened).
  const OwnFile file = OpenOwnFile(path, O_RDONLY);
  if (file.fd < 0) return file.error == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  const bool read = ReadAll(file.fd, out);
  ::close(file.fd);
  return read ? ReadResult::Read : ReadResult::Failed;
}

bool WriteAllAt(int fd, std::string_view data, off_t at) {
  while (!data.empty()) {
    const ssize_t n = ::pwrite(fd, data.data(), data.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
    at += n;
  }
  return true;
}

// The temporary files of saves that never finished (the saving process
// was killed between creating and renaming its file) are named after the
// target, the saving process and an attempt number. A save holds a lock on
// its temporary until it is renamed, so one is removed when its process is
// gone and no lock is held on it: the lock also spares the file of a saving
// process this one cannot see (another container sharing the folder).
bool IsLeftoverTemp(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return false;
  name.remove_prefix(prefix.size());
  const size_t dash = name.find('-');
  if (dash == std::string_view::npos) return false;
  pid_t pid = 0;
  const char* pidEnd = name.data() + dash;
  if (std::from_chars(name.data(), pidEnd, pid).ptr != pidEnd || pid <= 0) return false;
  const std::string_view attempt = name.substr(dash + 1);
  if (attempt.empty() || attempt.find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

std::string TempPrefix(const std::string& target) {
  const size_t slash = target.rfind('/');
  return (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp";
}

void RemoveLeftoverTemps(const std::string& target) {
  const std::string dir = DirectoryOf(target);
  const std::string prefix = TempPrefix(target);
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> leftovers;
  while (const dirent* entry = ::readdir(d)) {
    if (IsLeftoverTemp(entry->d_name, prefix)) leftovers.emplace_back(entry->d_name);
  }
  ::closedir(d);
  for (const std::string& name : leftovers) {
    const std::string path = dir + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlink(path.c_str());
    ::close(fd);
  }
}

enum class Replace { Done, NoRoomBeside, Failed };

bool RefusedBeside(int error) {
  return error == EACCES || error == EPERM;
}

// The new text in a new file beside the target, renamed over it.
Replace ReplaceAtomically(const std::string& target, std::string_view text,
                          const struct stat* old) {
  // A fresh file beside the target, never an existing one.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    do {
      fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return RefusedBeside(errno) ? Replace::NoRoomBeside : Replace::Failed;
  // Held until the file is renamed or removed: a save in progress.
  ::flock(fd, LOCK_EX | LOCK_NB);

  bool ok = WriteAllAt(fd, text, 0);
  // The new file keeps the old one's permissions.
  if (ok && old) ::fchmod(fd, old->st_mode & 07777);
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    ::unlink(temp.c_str());
    return Replace::Failed;
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    // A sticky folder refuses to let another user's file be replaced.
    const int error = errno;
    ::unlink(temp.c_str());
    return RefusedBeside(error) ? Replace::NoRoomBeside : Replace::Failed;
  }
  // The rename itself reaches the disk with the directory.
  const int dirFd = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return Replace::Done;
}

// The new text over the old one in the existing file. Not atomic: the new
// text is written over the old from the start, then the file is cut to its
// length and synced, so overwriting takes no new room on the disk until the
// file grows; should anything fail, the old text is written back.
bool WriteInPlace(const std::string& target, std::string_view text) {
  const OwnFile file = OpenOwnFile(target, O_RDWR);
  if (file.fd < 0) return false;
  std::string old;
  bool ok = ReadAll(file.fd, old);
  if (ok) {
    ok = WriteAllAt(file.fd, text, 0) &&
         ::ftruncate(file.fd, static_cast<off_t>(text.size())) == 0 && ::fsync(file.fd) == 0;
    if (!ok) {
      WriteAllAt(file.fd, old, 0);
      ::ftruncate(file.fd, static_cast<off_t>(old.size()));
      ::fsync(file.fd);
    }
  }
  ok = ::close(file.fd) == 0 && ok;
  return ok;
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  // Before the first line, not part of it: "[MACHINE]" right after the
  // mark is still a section header.
  if (text.starts_with(kByteOrderMark)) {
    ini.byte_order_mark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t lf = text.find('\n', pos);
    if (lf == std::string_view::npos) {
      ini.lines_.push_back({std::string(text.substr(pos)), ""});
      break;
    }
    std::string_view body = text.substr(pos, lf - pos);
    const bool crlf = !body.empty() && body.back() == '\r';
    if (crlf) body.remove_suffix(1);
    ini.lines_.push_back({std::string(body), crlf ? "\r\n" : "\n"});
    pos = lf + 1;
  }
  return ini;
}

IniFile IniFile::Load(const std::string& path) {
  std::string text;
  if (ReadWholeFile(path, text) != ReadResult::Read) return IniFile{};
  return Parse(text);
}

IniFile IniFile::LoadForUpdate(const std::string& path) {
  std::string text;
  switch (ReadWholeFile(path, text)) {
    case ReadResult::Read:
      return Parse(text);
    case ReadResult::Missing:
      return IniFile{};
    case ReadResult::Failed:
      break;
  }
  throw Exception("Unable to write to " + path);
}

IniFile::Parsed IniFile::ParseLine(std::string_view text) {
  Parsed p;
  const std::string_view t = TrimView(text);
  if (t.empty() || t.front() == ';' || t.front() == '#') return p;
  if (t.front() == '[') {
    const size_t close = t.find(']');
    if (close == std::string_view::npos) return p;
    p.kind = Parsed::Section;
    p.name = std::string(TrimView(t.substr(1, close - 1)));
    return p;
  }
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos) return p;
  const std::string_view key = TrimView(text.substr(0, eq));
  if (key.empty()) return p;
  p.kind = Parsed::Key;
  p.name = std::string(key);
  size_t b = eq + 1;
  size_t e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  if (b == e) b = e = text.size();  // an empty value is written at the end
  p.value_begin = b;
  p.value_end = e;
  return p;
}

std::string_view IniFile::Parsed::Value(std::string_view text) const {
  std::string_view v = text.substr(value_begin, value_end - value_begin);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return v;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  bool inSection = false;
  bool seenSection = false;  // only the first copy of a section counts
  for (const Line& line : lines_) {
    const Parsed p = ParseLine(line.text);
    if (p.kind == Parsed::Section) {
      if (seenSection) return std::nullopt;
      inSection = seenSection = SameName(p.name, section);
    } else if (p.kind == Parsed::Key && inSection && SameName(p.name, key)) {
      return std::string(p.Value(line.text).substr(0, kMaxValueLength));
    }
  }
  return std::nullopt;
}

std::string IniFile::Get(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const {
  std::optional<std::string> value = Get(section, key);
  return value ? std::move(*value) : std::string(defaultValue);
}

std::string IniFile::NewLineEnd() const {
  for (const Line& line : lines_) {
    if (!line.end.empty()) return line.end;
  }
  return "\n";
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  const size_t cut = value.find_first_of(std::string_view("\r\n\0", 3));
  if (cut != std::string_view::npos) value = value.substr(0, cut);

  // Only the first copy of the section is looked at.
  size_t firstSection = std::string::npos;
  size_t insertAfter = std::string::npos;  // its header or its last key
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = ParseLine(lines_[i].text);
    if (p.kind == Parsed::Section) {
      if (firstSection != std::string::npos) break;
      if (SameName(p.name, section)) insertAfter = firstSection = i;
      continue;
    }
    if (p.kind != Parsed::Key || firstSection == std::string::npos) continue;
    if (SameName(p.name, key)) {
      std::string& text = lines_[i].text;
      if (p.Value(text) != value) {
        text.replace(p.value_begin, p.value_end - p.value_begin, value);
      }
      return;
    }
    insertAfter = i;
  }

  const std::string end = NewLineEnd();
  std::string keyLine = std::string(key) + "=" + std::string(value);
  if (firstSection != std::string::npos) {
    if (lines_[insertAfter].end.empty()) lines_[insertAfter].end = end;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAfter) + 1,
                  Line{std::move(keyLine), end});
    return;
  }
  if (!lines_.empty()) {
    if (lines_.back().end.empty()) lines_.back().end = end;
    // A blank line between the sections, unless there is one already.
    if (!TrimView(lines_.back().text).empty()) lines_.push_back({"", end});
  }
  lines_.push_back({std::string("[").append(section).append("]"), end});
  lines_.push_back({std::move(keyLine), end});
}

std::vector<IniFile::KeyLine> IniFile::Keys() const {
  std::vector<KeyLine> keys;
  std::string section;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = ParseLine(lines_[i].text);
    if (p.kind == Parsed::Section) section = p.name;
    if (p.kind != Parsed::Key) continue;
    keys.push_back({section, p.name,
                    std::string(p.Value(lines_[i].text).substr(0, kMaxValueLength)),
                    static_cast<int>(i) + 1});
  }
  return keys;
}

std::vector<std::pair<std::string, int>> IniFile::Sections() const {
  std::vector<std::pair<std::string, int>> sections;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = ParseLine(lines_[i].text);
    if (p.kind == Parsed::Section) sections.emplace_back(p.name, static_cast<int>(i) + 1);
  }
  return sections;
}

std::string IniFile::Text() const {
  std::string text(byte_order_mark_ ? kByteOrderMark : std::string_view());
  for (const Line& line : lines_) {
    text += line.text;
    text += line.end;
  }
  return text;
}

void IniFile::Save(const std::string& path) const {
  const std::string text = Text();
  const OwnFile target = FollowOwnLinks(path);
  if (target.error) throw Exception("Unable to write to " + path);
  RemoveLeftoverTemps(target.path);

  struct stat old;
  const bool exists = ::stat(target.path.c_str(), &old) == 0;
  // Only a regular file is replaced; a file made read-only stays as it is,
  // as it would with an in-place write.
  if (exists && (!S_ISREG(old.st_mode) || ::access(target.path.c_str(), W_OK) != 0)) {
    throw Exception("Unable to write to " + path);
  }
  switch (ReplaceAtomically(target.path, text, exists ? &old : nullptr)) {
    case Replace::Done:
      return;
    case Replace::NoRoomBeside:
      if (exists && WriteInPlace(target.path, text)) return;
      break;
    case Replace::Failed:
      break;
  }
  throw Exception("Unable to write to " + path);
}

void IniFile::RemoveLeftovers(const std::string& path) {
  const OwnFile target = FollowOwnLinks(path);
  if (!target.error) RemoveLeftoverTemps(target.path);
}

}  // namespace velimo::trace
