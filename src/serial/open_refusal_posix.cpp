#include <errno.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "serial/com_error.h"
#include "serial/com_port.h"
#include "serial/open_refusal.h"
#include "serial/port_holders.h"

namespace velimo::serial {

namespace {

constexpr const char* kModemManager = "ModemManager";

std::string UserName() {
  if (const passwd* pw = getpwuid(getuid())) return pw->pw_name;
  return "$USER";
}

bool ProcessInGroup(gid_t gid) {
  if (getegid() == gid) return true;
  gid_t groups[256];
  const int n = getgroups(256, groups);
  return n > 0 && std::find(groups, groups + n, gid) != groups + n;
}

bool UserListedInGroup(const group* gr, const std::string& user) {
  for (char** m = gr->gr_mem; m && *m; ++m)
    if (user == *m) return true;
  return false;
}

// "0600 (rw-------)".
std::string ModeText(mode_t mode) {
  char octal[8];
  std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(mode & 07777));
  std::string bits = " (";
  const char* letters = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i) bits += (mode & (0400 >> i)) ? letters[i] : '-';
  return octal + bits + ")";
}

void JoinGroupAdvice(const std::string& groupName, const std::string& user,
                     std::vector<std::string>& out) {
  out.push_back("Add the user to the group with:");
  out.push_back("    sudo usermod -aG " + groupName + " " + user);
  out.push_back("then log out and in again: the group applies from a new login on.");
}

// The groups that own serial devices on the systems Velimo runs on.
// Joining any other group the device happens to have (disk for a mistyped
// /dev/sdX, kmem, root, shadow, sudo, wheel, adm ...) would hand the user
// far more than a serial line, so it is never advised.
bool SerialGroup(const std::string& name) {
  static constexpr const char* kSerialGroups[] = {"dialout", "uucp", "tty", "serial", "dialer"};
  return std::any_of(std::begin(kSerialGroups), std::end(kSerialGroups),
                     [&](const char* g) { return name == g; });
}

enum class NodeKind { SerialPort, PseudoTerminal, NotATerminal };

// What the node is, from the kernel's own word for it: a character device
// whose subsystem is tty is a terminal; the pseudo-terminals' slaves
// (/dev/pts/N) belong to the program that made them, so no udev rule
// reaches them. Where sysfs cannot tell, the node is taken as a port.
NodeKind KindOf(const struct stat& st, const std::string& realPath) {
  if (!S_ISCHR(st.st_mode)) return NodeKind::NotATerminal;
  const unsigned maj = major(st.st_rdev);
  if (realPath.rfind("/dev/pts/", 0) == 0 || (maj >= 136 && maj <= 143))
    return NodeKind::PseudoTerminal;
  const std::string subsystem = "/sys/dev/char/" + std::to_string(maj) + ":" +
                                std::to_string(minor(st.st_rdev)) + "/subsystem";
  char target[PATH_MAX];
  const ssize_t n = readlink(subsystem.c_str(), target, sizeof target - 1);
  if (n <= 0) return NodeKind::SerialPort;
  const std::string to(target, static_cast<size_t>(n));
  return to.ends_with("/tty") ? NodeKind::SerialPort : NodeKind::NotATerminal;
}

void PermissionReasons(const std::string& path, const SystemRoots& roots,
                       std::vector<std::string>& out) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    out.push_back("Permission denied on " + path + ".");
    return;
  }
  const group* gr = getgrgid(st.st_gid);
  const std::string groupName = gr ? gr->gr_name : std::to_string(st.st_gid);
  const std::string user = UserName();
  const passwd* pw = getpwuid(st.st_uid);
  const std::string owner = pw ? pw->pw_name : std::to_string(st.st_uid);
  char real[PATH_MAX];
  const std::string realPath = realpath(path.c_str(), real) ? std::string(real) : path;
  const NodeKind kind = KindOf(st, realPath);
  if (kind == NodeKind::NotATerminal) {
    out.push_back("Permission denied: " + path + " belongs to " + owner + ":" + groupName +
                  " with mode " + ModeText(st.st_mode) + ": this is not a serial port.");
    return;
  }
  // Joining the device's group helps only where the group may read and
  // write it, and only for a group that owns serial devices.
  const bool groupMayUse =
      st.st_gid != 0 && (st.st_mode & S_IRGRP) != 0 && (st.st_mode & S_IWGRP) != 0;
  if (groupMayUse && SerialGroup(groupName)) {
    out.push_back("Permission denied: " + path + " may be used by the group " + groupName +
                  ", and this program does not run with it.");
    if (gr && UserListedInGroup(gr, user)) {
      out.push_back("The user " + user + " is in " + groupName +
                    " already; the group applies from a new login on: log out and in again.");
      return;
    }
    if (ProcessInGroup(st.st_gid)) return;
    JoinGroupAdvice(groupName, user, out);
    return;
  }
  if (groupMayUse) {
    out.push_back("Permission denied: " + path + " belongs to " + owner + ":" + groupName +
                  " with mode " + ModeText(st.st_mode) + "; the group " + groupName +
                  " grants far more than a serial line, so joining it is no remedy.");
  } else {
    out.push_back("Permission denied: " + path + " belongs to " + owner + ":" + groupName +
                  " with mode " + ModeText(st.st_mode) + ", so no group may use it.");
  }
  if (kind == NodeKind::PseudoTerminal) {
    out.push_back("It is a pseudo-terminal: the program that made it decides who may open it.");
    return;
  }
  // The rule names the adapter by its USB ids, or the device by its kernel
  // name (a rule matches the last component only: "ttyS4", not a path).
  std::string match;
  if (auto id = FindPort(path, roots); id && id->usb && !id->vid.empty()) {
    match = "ATTRS{idVendor}==\"" + id->vid + "\", ATTRS{idProduct}==\"" + id->pid + "\"";
  } else {
    match = "KERNEL==\"" + realPath.substr(realPath.rfind('/') + 1) + "\"";
  }
  out.push_back(
      "A udev rule can give the dialout group access to it; put it in a file such as "
      "/etc/udev/rules.d/99-velimo.rules:");
  out.push_back("    SUBSYSTEM==\"tty\", " + match + ", GROUP=\"dialout\", MODE=\"0660\"");
  out.push_back("then run: sudo udevadm control --reload-rules && sudo udevadm trigger");
  const group* dialout = getgrnam("dialout");
  if (dialout && (UserListedInGroup(dialout, user) || ProcessInGroup(dialout->gr_gid))) return;
  JoinGroupAdvice("dialout", user, out);
}

void BusyReasons(const std::string& path, const SystemRoots& roots, std::vector<std::string>& out) {
  std::vector<ProcessRef> holders = HoldersOf(path, roots.proc);
  bool modemManager = false;
  if (!holders.empty()) {
    std::string names;
    for (const ProcessRef& p : holders) {
      names += (names.empty() ? "" : ", ") + Describe(p);
      modemManager = modemManager || p.name == kModemManager;
    }
    out.push_back("In use by " + names + ".");
  } else {
    // Another user's process (a system service runs as root) keeps its
    // descriptors to itself; ModemManager is the usual one.
    const std::vector<ProcessRef> mm = ProcessesNamed(kModemManager, roots.proc);
    if (!mm.empty()) {
      modemManager = true;
      out.push_back("In use by another process; " + Describe(mm.front()) +
                    " is running and may be probing the adapter.");
    } else {
      out.push_back("In use by a process of another user.");
    }
  }
  if (!modemManager) return;
  std::string vid = "VVVV", pid = "PPPP";
  if (auto id = FindPort(path, roots); id && id->usb) {
    vid = id->vid;
    pid = id->pid;
  }
  out.push_back(
      "To keep ModemManager away from this adapter, put this udev rule in a file such as "
      "/etc/udev/rules.d/99-velimo.rules:");
  out.push_back("    " + ModemManagerRule(vid, pid));
  out.push_back("then run: sudo udevadm control --reload-rules && sudo udevadm trigger");
}

void MissingReasons(const std::string& path, const SystemRoots& roots,
                    const std::string& rememberedSerial, std::vector<std::string>& out) {
  out.push_back("No such device: " + path + " (unplugged or renamed).");
  std::string serial = SerialOfById(path);
  if (serial.empty()) serial = rememberedSerial;
  if (serial.empty()) return;
  auto ports = IdentifyPorts(roots);
  if (!ports) return;
  for (const PortIdentity& id : *ports) {
    if (id.serial != serial) continue;
    out.push_back("The adapter with serial " + serial + " is now " + id.path +
                  (id.by_id.empty() ? "" : " (" + id.by_id + ")") + ".");
    return;
  }
}

}  // namespace

std::vector<std::string> RefusalReasons(const std::string& port, int comCode, int error,
                                        const SystemRoots& roots,
                                        const std::string& rememberedSerial) {
  std::vector<std::string> out;
  const std::string path = DevicePathOf(port);
  if (comCode != CError_OpenFailed) {
    out.push_back("The port opened but refused its set-up" +
                  (error > 0 ? std::string(": ") + strerror(error) : std::string()) + ".");
    return out;
  }
  switch (error) {
    case EACCES:
    case EPERM:
      PermissionReasons(path, roots, out);
      break;
    case EBUSY:
      BusyReasons(path, roots, out);
      break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      MissingReasons(path, roots, rememberedSerial, out);
      break;
    case ENOTTY:
    case EISDIR:
    case ENOTDIR:
      out.push_back("Not a serial device: " + path + " is not a terminal device.");
      break;
    default:
      out.push_back(std::string("The system refused to open ") + path + ": " +
                    (error > 0 ? strerror(error) : "unknown error") + ".");
      break;
  }
  return out;
}

std::string PortState(const std::string& path, const SystemRoots& roots) {
  const std::vector<ProcessRef> holders = HoldersOf(path, roots.proc);
  if (!holders.empty()) return "in use by " + Describe(holders.front());
  if (access(path.c_str(), R_OK | W_OK) != 0) return errno == ENOENT ? "missing" : "no permission";
  return "free";
}

}  // namespace velimo::serial
