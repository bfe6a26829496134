#include "trace/ini_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <vector>

#include "util/errors.h"

namespace velimo::trace {

namespace {

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

ReadResult ReadWholeFile(const std::string& path, std::string& out) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  struct stat st;
  // Only a regular file is a settings file; a directory or a device in its
  // place cannot be read as one.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ReadResult::Failed;
  }
  char buffer[65536];
  ReadResult result = ReadResult::Read;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) result = ReadResult::Failed;
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return result;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a write lands in: the target of a symbolic link, so a linked
// settings file stays linked, else the path itself.
std::string WriteTarget(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
      std::string target(resolved);
      std::free(resolved);
      return target;
    }
  }
  return path;
}

// The temporary files of saves that never finished (the saving process
// was killed between creating and renaming its file) are named after the
// target, the saving process and an attempt number. One is removed when
// its process is gone and it is over a minute old: a save takes
// milliseconds, and the age also spares the file of a process this one
// cannot see (another container or machine sharing the folder).
constexpr int kLeftoverAgeSeconds = 60;

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

void RemoveLeftoverTemps(const std::string& target) {
  const std::string dir = DirectoryOf(target);
  const size_t slash = target.rfind('/');
  const std::string prefix =
      (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp";
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> leftovers;
  while (const dirent* entry = ::readdir(d)) {
    if (IsLeftoverTemp(entry->d_name, prefix)) leftovers.emplace_back(entry->d_name);
  }
  ::closedir(d);
  const time_t now = ::time(nullptr);
  for (const std::string& name : leftovers) {
    const std::string path = dir + "/" + name;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        now - st.st_mtime > kLeftoverAgeSeconds)
      ::unlink(path.c_str());
  }
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
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
  for (const Line& line : lines_) {
    const Parsed p = ParseLine(line.text);
    if (p.kind == Parsed::Section) {
      inSection = SameName(p.name, section);
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

  bool inSection = false;
  bool inFirstSection = false;
  size_t firstSection = std::string::npos;
  size_t insertAfter = std::string::npos;  // header or last key of the first section
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = ParseLine(lines_[i].text);
    if (p.kind == Parsed::Section) {
      inSection = SameName(p.name, section);
      inFirstSection = inSection && firstSection == std::string::npos;
      if (inFirstSection) insertAfter = firstSection = i;
      continue;
    }
    if (p.kind != Parsed::Key || !inSection) continue;
    if (SameName(p.name, key)) {
      std::string& text = lines_[i].text;
      if (p.Value(text) != value) {
        text.replace(p.value_begin, p.value_end - p.value_begin, value);
      }
      return;
    }
    if (inFirstSection) insertAfter = i;
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
  std::string text;
  for (const Line& line : lines_) {
    text += line.text;
    text += line.end;
  }
  return text;
}

void IniFile::Save(const std::string& path) const {
  const std::string target = WriteTarget(path);
  const std::string text = Text();
  // A file made read-only stays as it is, as it would with an in-place write.
  if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) {
    throw Exception("Unable to write to " + path);
  }

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
  if (fd < 0) throw Exception("Unable to write to " + path);

  bool ok = WriteAll(fd, text);
  struct stat st;
  if (ok && ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    // The new file keeps the old one's permissions.
    ::fchmod(fd, st.st_mode & 07777);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    throw Exception("Unable to write to " + path);
  }
  // The rename itself reaches the disk with the directory.
  const int dirFd = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  RemoveLeftoverTemps(target);
}

}  // namespace velimo::trace
