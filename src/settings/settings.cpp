#include "settings/settings.h"

#include "settings/ini_file.h"

namespace velimo::settings {

namespace {

// The keys in the writer's order; a file written from scratch lists them so.
struct KeyRef {
  const char* section;
  const char* key;
  std::string Settings::*field;
};

constexpr KeyRef kKeys[] = {
    {"MACHINE", "Device", &Settings::Device},
    {"MACHINE", "SaveLogTrace", &Settings::SaveLogTrace},
    {"MACHINE", "ViewTraceMenu", &Settings::ViewTraceMenu},
    {"MACHINE", "ViewLogTrace", &Settings::ViewLogTrace},
    {"EnvBoard", "ComPort", &Settings::ComPort},
    {"EnvBoard", "BaudRate", &Settings::BaudRate},
    {"EnvBoard", "DataBits", &Settings::DataBits},
    {"EnvBoard", "StopBits", &Settings::StopBits},
    {"EnvBoard", "Parity", &Settings::Parity},
};

}  // namespace

Settings LoadSettings(const std::string& path, std::string* ignored) {
  IniFile::RemoveLeftovers(path);
  const IniFile ini = IniFile::Load(path, ignored);
  Settings settings;
  for (const KeyRef& k : kKeys) {
    std::string& field = settings.*k.field;
    field = ini.Get(k.section, k.key, field);
  }
  settings.LogSecrets = ini.Get("MACHINE", "LogSecrets", settings.LogSecrets);
  settings.Reconnect = ini.Get("EnvBoard", "Reconnect", settings.Reconnect);
  settings.CustomBaudRate = ini.Get("EnvBoard", "CustomBaudRate", "");
  settings.WindowWidth = ini.Get("MACHINE", "WindowWidth", "");
  settings.WindowHeight = ini.Get("MACHINE", "WindowHeight", "");
  return settings;
}

void SaveSettings(const Settings& settings, const std::string& path) {
  IniFile ini = IniFile::LoadForUpdate(path);
  for (const KeyRef& k : kKeys) ini.Set(k.section, k.key, settings.*k.field);
  if (!settings.WindowWidth.empty() && !settings.WindowHeight.empty()) {
    ini.Set("MACHINE", "WindowWidth", settings.WindowWidth);
    ini.Set("MACHINE", "WindowHeight", settings.WindowHeight);
  }
  // Written when set, and emptied when a named rate follows a custom one,
  // so the file never names a rate the port no longer runs at.
  if (!settings.CustomBaudRate.empty() || ini.Get("EnvBoard", "CustomBaudRate")) {
    ini.Set("EnvBoard", "CustomBaudRate", settings.CustomBaudRate);
  }
  ini.Save(path);
}

}  // namespace velimo::settings
