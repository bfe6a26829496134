#include "e2e_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace velimo::e2e {

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool IsHexEditor(const std::string& name) {
  return name.find("STX1") != std::string::npos || name.find("STX2") != std::string::npos ||
         name.find("STX3") != std::string::npos || name.find("ETX1") != std::string::npos ||
         name.find("ETX2") != std::string::npos || name.find("ETX3") != std::string::npos;
}

std::string Hex2(int byte) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", byte & 0xFF);
  return text;
}

std::string OffOn(bool on) {
  return on ? "ON" : "OFF";
}

std::string Baud(int index) {
  return std::string(sim::kBaudRates[static_cast<size_t>(index)]);
}

std::string Parity(int index) {
  return std::string(sim::kParities[static_cast<size_t>(index)]);
}

std::string PortType(int type) {
  return type == 0 ? "Kivet" : "Normal";
}

std::string Version(sim::Firmware firmware) {
  return std::string(sim::FirmwareName(firmware));
}

// The framing editors of one side: length list and the three bytes.
void Framing(Expected& e, const std::string& prefix, const std::string& suffix,
             const sim::Framing& stx, const sim::Framing& etx) {
  e[prefix + "STXLen" + suffix] = std::to_string(stx.length);
  e[prefix + "ETXLen" + suffix] = std::to_string(etx.length);
  for (int i = 0; i < 3; ++i) {
    e[prefix + "STX" + std::to_string(i + 1) + suffix] = Hex2(stx.bytes[static_cast<size_t>(i)]);
    e[prefix + "ETX" + std::to_string(i + 1) + suffix] = Hex2(etx.bytes[static_cast<size_t>(i)]);
  }
}

}  // namespace

// ---- Child processes ----------------------------------------------------------

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> LinesReceived(const std::string& simErr, std::string_view start) {
  std::vector<std::string> lines;
  std::istringstream in(simErr);
  constexpr std::string_view kReceived = "received \"";
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find(kReceived);
    if (at == std::string::npos) continue;
    const size_t from = at + kReceived.size();
    std::string text = line.substr(from, line.rfind('"') - from);
    if (text.starts_with(start)) lines.push_back(std::move(text));
  }
  return lines;
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& dir, int limitMs) {
  static int run = 0;
  const std::string base = dir + "/run" + std::to_string(++run);
  ProcessResult result;
  pid_t pid = test::Spawn(program, args, dir, base + ".out", base + ".err");
  if (pid < 0) return result;
  result.status = test::WaitChild(pid, limitMs, &result.timed_out);
  result.out = ReadFile(base + ".out");
  result.err = ReadFile(base + ".err");
  return result;
}

sim::Family FamilyOf(char model) {
  return *sim::FamilyFromCode(std::string(1, model));
}

// ---- What the pages show ------------------------------------------------------

Expected ExpectedS(const sim::STaviConfig& c, sim::Firmware firmware) {
  Expected e;
  const std::string v = Version(firmware);
  e["LB_S_FwVer"] = e["Edit_S_FwVer"] = v;
  e["LB_S_SID"] = e["Edit_S_Sid"] = std::to_string(c.source_id);
  e["LB_S_DID"] = e["Edit_S_Did"] = e["Edit_S_Did_B"] = std::to_string(c.destination_id);
  e["Edit_S_Dtn"] = std::to_string(c.destination_table);
  e["Edit_S_Dent"] = std::to_string(c.destination_entry);
  e["Edit_S_MPID"] = std::to_string(c.pid[0]);
  e["Edit_S_LPID"] = std::to_string(c.pid[1]);
  e["Edit_S_SPID"] = std::to_string(c.pid[2]);
  e["LB_S_Country"] = e["Edit_S_Country"] =
      std::string(sim::kCountries[static_cast<size_t>(c.radio.country)]);
  e["LB_S_Ch"] = e["CB_S_Ch"] = std::to_string(c.radio.channel);
  e["LB_S_Sf"] = e["CB_S_Sf"] = std::to_string(c.radio.spreading_factor);
  e["LB_S_Encrypt"] = e["Edit_S_En"] = OffOn(c.aes.on);
  e["LB_S_Ptype"] = e["Edit_S_Ptype"] = PortType(c.serial.port_type);
  e["Edit_S_PTP"] = OffOn(c.peer_to_peer);
  e["LB_S_Baudrate"] = e["Edit_S_Baudrate"] = Baud(c.serial.baud_index);
  e["LB_S_Parity"] = e["Edit_S_PAB"] = Parity(c.serial.parity);
  e["LB_S_Databit"] = e["Edit_S_DataBit"] = std::to_string(c.serial.data_bits);
  e["LB_S_Stopbit"] = e["Edit_S_StopBit"] = std::to_string(c.serial.stop_bits);
  e["LB_S_Hf"] = e["Edit_S_HWF"] = c.serial.flow_control ? "RTS/CTS" : "OFF";
  e["Edit_S_DMT"] = e["Edit_S_DMT_B"] = std::to_string(c.serial.timeout_tenths * 10);
  e["Edit_S_DMS"] = e["Edit_S_DMS_B"] = std::to_string(c.serial.message_size);
  Framing(e, "Edit_S_", "", c.serial.stx, c.serial.etx);
  return e;
}

Expected ExpectedR(const sim::RTaviConfig& c) {
  Expected e;
  e["LB_R_FwVer"] = e["Edit_R_FwVer"] = "1.3";
  e["LB_R_SID"] = e["Edit_R_Sid"] = std::to_string(c.source_id);
  e["LB_R_Country"] = e["Edit_R_Country"] =
      std::string(sim::kCountries[static_cast<size_t>(c.radio.country)]);
  e["LB_R_Ch"] = e["CB_R_Ch"] = std::to_string(c.radio.channel);
  e["LB_R_Sf"] = e["CB_R_Sf"] = std::to_string(c.radio.spreading_factor);
  e["LB_R_Mode"] = c.mode == 1 ? "Repeat" : "Relay";
  e["Edit_R_Mode"] = c.mode == 1 ? "1. Repeat" : "2. Relay";
  e["LB_R_Rid1"] = e["Edit_R_Rid1"] = e["Edit_R_Rid1_B"] = std::to_string(c.relay_id_1);
  e["LB_R_Rid2"] = e["Edit_R_Rid2"] = e["Edit_R_Rid2_B"] = std::to_string(c.relay_id_2);
  return e;
}

Expected ExpectedI(const sim::IoTaviConfig& c) {
  Expected e;
  e["LB_I_FwVer"] = e["Edit_I_FwVer"] = "1.3";
  e["LB_I_SID"] = e["Edit_I_Sid"] = std::to_string(c.source_id);
  e["Edit_I_Country"] = "KOR";
  e["LB_I_Ch"] = e["CB_I_Ch"] = std::to_string(c.channel);
  e["LB_I_Sf"] = e["CB_I_Sf"] = std::to_string(c.spreading_factor);
  e["LB_I_Band"] = e["Edit_I_Band"] = std::to_string(c.band);
  e["LB_I_Encrypt"] = e["Edit_I_En"] = OffOn(c.aes.on);
  e["LB_I_Ptype"] = e["Edit_I_Ptype"] = PortType(c.rs232.port_type);
  e["LB_I_DID"] = e["Edit_I_Did"] = std::to_string(c.destination_id);
  e["LB_I_Baudrate"] = e["Edit_I_Baudrate"] = Baud(c.rs232.baud_index);
  e["LB_I_Parity"] = e["Edit_I_PAB"] = Parity(c.rs232.parity);
  e["LB_I_Databit"] = e["Edit_I_DataBit"] = std::to_string(c.rs232.data_bits);
  e["LB_I_Stopbit"] = e["Edit_I_StopBit"] = std::to_string(c.rs232.stop_bits);
  // The RS-232 report spells flow control on as "ON"; the list says "RTS/CTS".
  e["LB_I_Hf"] = OffOn(c.rs232.flow_control);
  e["Edit_I_HWF"] = c.rs232.flow_control ? "RTS/CTS" : "OFF";
  e["Edit_I_DMT"] = std::to_string(c.rs232.timeout_tenths * 10);
  e["Edit_I_DMS"] = std::to_string(c.rs232.message_size);
  Framing(e, "Edit_I_", "", c.rs232.stx, c.rs232.etx);
  return e;
}

Expected ExpectedI485(const sim::IoTaviConfig& c) {
  Expected e;
  e["Edit_I_Ptype_485"] = PortType(c.rs485.port_type);
  e["Edit_I_Did_485"] = std::to_string(c.destination_id_485);
  e["Edit_I_Baudrate_485"] = Baud(c.rs485.baud_index);
  e["Edit_I_PAB_485"] = Parity(c.rs485.parity);
  e["Edit_I_DataBit_485"] = std::to_string(c.rs485.data_bits);
  e["Edit_I_StopBit_485"] = std::to_string(c.rs485.stop_bits);
  // Its "Hardware" line writes the one flow-control display, in its own words.
  e["LB_I_Hf"] = c.rs232.flow_control ? "RTS/CTS" : "OFF";
  e["Edit_I_HWF"] = c.rs232.flow_control ? "RTS/CTS" : "OFF";
  e["Edit_I_DMT_485"] = std::to_string(c.rs485.timeout_tenths * 10);
  e["Edit_I_DMS_485"] = std::to_string(c.rs485.message_size);
  Framing(e, "Edit_I_", "_485", c.rs485.stx, c.rs485.etx);
  return e;
}

Expected ExpectedKeys(const sim::Encryption& aes, char family) {
  // The default key is never reported in clear; the window shows its text.
  const std::string p = family == 'i' ? "Edit_I_" : "Edit_S_";
  return {{p + "AESKey", aes.key}, {p + "AESIV", aes.iv}};
}

Expected Untouched(char model) {
  switch (model) {
    case 's':
    case 'u':
      return {{"Edit_S_AESKey", "No Information"},
              {"Edit_S_AESIV", "No Information"},
              {"CB_S_LoRa_Freq_PM", "+"},
              {"Edit_S_LoRa_Freq", "40000"}};
    case 'r':
      return {{"CB_R_LoRa_Freq_PM", "+"}, {"Edit_R_LoRa_Freq", "40000"}};
    default: {
      Expected e = {{"Edit_I_AESKey", "No Information"},
                    {"Edit_I_AESIV", "No Information"},
                    {"Edit_I_Ptype_485", "Kivet"},
                    {"Edit_I_Did_485", "0"},
                    {"Edit_I_Baudrate_485", "600"},
                    {"Edit_I_PAB_485", "None"},
                    {"Edit_I_DataBit_485", "0"},
                    {"Edit_I_StopBit_485", "0"},
                    {"Edit_I_HWF_485", "OFF"},
                    {"Edit_I_DMT_485", "2550"},
                    {"Edit_I_DMS_485", "0"},
                    {"Edit_I_STXLen_485", "0"},
                    {"Edit_I_ETXLen_485", "0"}};
      for (const char* n : {"STX1", "STX2", "STX3", "ETX1", "ETX2", "ETX3"})
        e[std::string("Edit_I_") + n + "_485"] = "00";
      return e;
    }
  }
}

Expected Merge(Expected a, const Expected& b) {
  for (const auto& [k, v] : b) a[k] = v;
  return a;
}

// ---- The fixture ----------------------------------------------------------------

void E2eTest::SetUp() {
  watchdog_ = std::make_unique<test::Watchdog>(std::chrono::seconds(90));
  std::string pattern = (std::filesystem::temp_directory_path() / "velimo-e2e-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  dir_ = pattern;
  link_ = dir_ + "/ttyModem";
  state_ = dir_ + "/modem.state";
}

void E2eTest::TearDown() {
  session_.reset();
  platform_.reset();
  StopSim();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
  watchdog_.reset();
}

void E2eTest::StartSim(char model, const std::vector<std::string>& extra) {
  sim_model_ = model;
  const std::string error = sim_.Start(VELIMO_MODEM_SIM, dir_, model, link_, state_, extra);
  ASSERT_EQ(error, "");
}

void E2eTest::StopSim() {
  sim_.Stop();
}

sim::Config E2eTest::SimState() {
  sim::Modem modem(FamilyOf(sim_model_), sim::Firmware::k1_3);
  const std::string text = ReadFile(state_);
  auto error = modem.LoadState(text);
  EXPECT_FALSE(error.has_value()) << *error << "\n" << text;
  return modem.config();
}

void E2eTest::WriteSimState(const sim::Config& config) {
  sim::Modem modem(FamilyOf(sim_model_), sim::Firmware::k1_3);
  modem.config() = config;
  std::ofstream(state_, std::ios::binary | std::ios::trunc) << modem.SaveState();
}

void E2eTest::StartProgram() {
  session_.reset();
  platform_.reset();
  platform_ = std::make_unique<ScaledPausePlatform>(pause_divisor_);
  platform_->on_message = [this](std::string_view text) { messages_.emplace_back(text); };
  platform_->on_error = [this](std::string_view text) { errors.emplace_back(text); };
  platform_->on_confirm = [this](std::string_view text) {
    confirmations.emplace_back(text);
    return confirm_answer;
  };
  forms::ApplicationOptions options;
  options.settings_path = dir_ + "/Velimo.INI";
  options.about_picture = dir_ + "/none.jpg";
  options.ports = [this] { return std::optional<std::vector<std::string>>{{link_}}; };
  session_ = std::make_unique<cli::Session>(*platform_, options);
  Main().Trace().SetBaseDir(dir_);
}

bool E2eTest::ConnectTo(char model) {
  if (!session_) StartProgram();
  S().SelectModel(model);
  cli::LinkChoice link;
  link.port = link_;
  const bool open = S().Connect(link);
  Settle();
  return open;
}

void E2eTest::Settle() {
  EXPECT_TRUE(S().Settle(15000, kQuietMs)) << "the line did not fall quiet";
}

void E2eTest::Click(const std::string& name) {
  auto error = S().Click(name);
  ASSERT_FALSE(error) << *error;
  Settle();
}

void E2eTest::Set(const std::string& name, const std::string& value) {
  auto error = S().Set(name, value);
  ASSERT_FALSE(error) << *error;
  Platform().ProcessEvents();
}

void E2eTest::SetAndSettle(const std::string& name, const std::string& value) {
  Set(name, value);
  Settle();
}

void E2eTest::Load() {
  Click("Btn_S_CurrentStatus");
}

std::vector<std::string> E2eTest::TakeMessages() {
  std::vector<std::string> taken;
  taken.swap(messages_);
  return taken;
}

std::string E2eTest::Value(const std::string& name) {
  forms::Control* c = S().Find(name);
  EXPECT_NE(c, nullptr) << name;
  return c ? cli::Session::ValueOf(*c) : std::string();
}

void E2eTest::ExpectForm(const Expected& expected, bool complete) {
  for (const auto& [name, want] : expected) {
    std::string got = Value(name);
    if (IsHexEditor(name)) {
      EXPECT_EQ(Upper(got), Upper(want)) << name;
    } else {
      EXPECT_EQ(got, want) << name;
    }
  }
  if (!complete) return;
  std::vector<std::string> printed;
  for (forms::Control* c : S().PageSetControls()) printed.push_back(c->Name());
  std::vector<std::string> listed;
  for (const auto& [name, want] : expected) listed.push_back(name);
  std::sort(printed.begin(), printed.end());
  EXPECT_EQ(printed, listed) << "every information label and editor of the page set is checked";
}

SimGroup::SimGroup(std::vector<std::string> args, size_t links) {
  int out[2];
  if (pipe(out) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  args.insert(args.begin(), VELIMO_MODEM_SIM);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  FILE* in = fdopen(out[0], "r");
  char line[512];
  while (links_.size() < links && in && fgets(line, sizeof line, in)) {
    std::string l = line;
    if (!l.empty() && l.back() == '\n') l.pop_back();
    links_.push_back(l);
  }
  if (in) fclose(in);
}

SimGroup::~SimGroup() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

}  // namespace velimo::e2e
