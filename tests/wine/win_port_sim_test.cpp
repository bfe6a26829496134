// The Windows port transport against a simulated modem: run under wine by
// scripts/build-windows, which starts velimo-modem-sim (--model s
// --line-rate 57600) and maps the COM port named by VELIMO_SIM_COM to its
// link, and one that vanishes after its first answer, as an unplugged
// adapter does, on VELIMO_SIM_VANISHING_COM.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

#include "serial/com_error.h"
#include "serial/com_thread.h"
#include "serial/device_events.h"
#include "serial/port_list.h"
#include "serial/win/win_port.h"

namespace velimo::serial::win {
namespace {

using Clock = std::chrono::steady_clock;

std::string SimPort(const char* variable = "VELIMO_SIM_COM") {
  const char* port = std::getenv(variable);
  return port ? port : "";
}

TransportSettings Line(int baud) {
  TransportSettings s;
  s.line.baud = baud;
  s.dtr = true;
  return s;
}

// Sends a command and collects the answer up to its line end, waking on
// the port's arrival event only (no polling loop).
std::string Ask(WinPort& port, const std::string& command, int waitMs = 1500) {
  port.Write(command.data(), static_cast<int>(command.size()), 1000);
  std::string answer;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  while (answer.find("\r\n") == std::string::npos && Clock::now() < deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    WaitForSingleObject(port.Fd(), static_cast<DWORD>(left > 0 ? left : 0));
    char buffer[256];
    for (int n; (n = port.Read(buffer, sizeof buffer)) > 0;) answer.append(buffer, n);
  }
  return answer;
}

class WinPortSim : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(SimPort().empty()) << "VELIMO_SIM_COM names no port"; }
};

TEST_F(WinPortSim, TalksAtTheModemsRateOnlyAndKeepsTheModemLines) {
  WinPort port(SimPort());
  port.Open();
  // The simulator answers only while the line runs at 57600: the rate
  // reaches the device through SetCommState.
  port.ApplyLineSettings(Line(9600));
  EXPECT_EQ(Ask(port, "AT+CH=5\r\n", 400), "");
  port.ApplyLineSettings(Line(57600));
  EXPECT_EQ(Ask(port, "AT+CH=5\r\n"), "OK. Channel=5\r\n");
  EXPECT_EQ(Ask(port, "AT+CH=7\r\n"), "OK. Channel=7\r\n");

  // Line control and modem status answer (on a pseudo-terminal, through
  // the null-modem preload), and the event wait does not spin.
  port.SetDtr(false);
  port.SetDtr(true);
  port.SetRts(true);
  const TComSignals lines = port.Signals();
  EXPECT_TRUE(lines.cts && lines.dsr && lines.rlsd);
  EXPECT_LT(port.AbortedWaits(), 5u);
  EXPECT_TRUE(port.LineErrors(true).Empty());
  EXPECT_FALSE(port.HungUp());

  // A purge drops an answer that has arrived.
  const std::string query = "AT+CH=3\r\n";
  port.Write(query.data(), static_cast<int>(query.size()), 1000);
  const Clock::time_point until = Clock::now() + std::chrono::seconds(2);
  while (port.QueuedInput() < 15 && Clock::now() < until) port.WaitForInput(100);
  EXPECT_GE(port.QueuedInput(), 15);
  port.Purge(true, true);
  EXPECT_EQ(port.QueuedInput(), 0);
  char none[8];
  EXPECT_EQ(port.Read(none, sizeof none), 0);

  // Close ends the pending event wait at once.
  const Clock::time_point closing = Clock::now();
  port.Close();
  EXPECT_LT(Clock::now() - closing, std::chrono::milliseconds(500));
}

TEST_F(WinPortSim, ReopensAfterCloseAndRefusesAMissingPort) {
  for (int round = 0; round < 3; ++round) {
    WinPort port(SimPort());
    port.Open();
    port.ApplyLineSettings(Line(57600));
    EXPECT_EQ(Ask(port, "AT+CH=" + std::to_string(round + 1) + "\r\n"),
              "OK. Channel=" + std::to_string(round + 1) + "\r\n")
        << "round " << round;
  }
  WinPort missing("COM199");
  try {
    missing.Open();
    FAIL() << "COM199 opened";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), CError_OpenFailed);
    EXPECT_EQ(e.Reason(), "no such port");
  }
}

TEST_F(WinPortSim, TheEventThreadHandsArrivalsToTheWaitingThread) {
  // The path of a received answer as the port component takes it: the
  // transport's event wakes the event thread, which hands a batch over;
  // the waiting thread wakes on the hand-over's event and reads in it.
  WinPort port(SimPort());
  port.Open();
  port.ApplyLineSettings(Line(57600));
  HandOver handOver;
  TComThread thread(port.Fd(), TComEvents{evRxChar, evError}, 1, handOver,
                    [&port] { return port.HungUp(); });
  thread.Start();
  const std::string command = "AT+CH=4\r\n";
  port.Write(command.data(), static_cast<int>(command.size()), 1000);
  std::string answer;
  int batches = 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
  while (answer.find("\r\n") == std::string::npos && Clock::now() < deadline) {
    WaitForSingleObject(handOver.WakeFd(), 200);
    batches += handOver.RunPending([&](const HandOverRequest& r) {
      EXPECT_TRUE(r.events.Contains(evRxChar));
      EXPECT_FALSE(r.hang_up);
      char buffer[64];
      for (int n; (n = port.Read(buffer, sizeof buffer)) > 0;) answer.append(buffer, n);
    });
  }
  EXPECT_EQ(answer, "OK. Channel=4\r\n");
  EXPECT_GE(batches, 1);
  EXPECT_LT(port.AbortedWaits(), 5u);
  // A stop ends the thread and its session. A batch it queued after the
  // answer was read (more arrivals, or a wait that wine aborted) is served
  // meanwhile, as the port component's close serves it: the thread waits
  // in its hand-over until the batch has run.
  thread.Stop();
  const Clock::time_point stopBy = Clock::now() + std::chrono::seconds(3);
  while (!handOver.Finished(1) && Clock::now() < stopBy) {
    handOver.RunPending([](const HandOverRequest&) {});
    handOver.WaitForWorkOrFinish(1, 50);
  }
  ASSERT_TRUE(handOver.Finished(1)) << "the event thread did not end its session";
  thread.WaitFor();
  EXPECT_FALSE(thread.Active());
  EXPECT_TRUE(handOver.Finished(1));
  port.Close();
}

TEST_F(WinPortSim, ThePortListNamesTheMappedPort) {
  const std::optional<std::vector<std::string>> ports = EnumerateSerialPorts();
  ASSERT_TRUE(ports.has_value());
  EXPECT_NE(std::find(ports->begin(), ports->end(), SimPort()), ports->end());
  EXPECT_TRUE(std::is_sorted(ports->begin(), ports->end(), NaturalLess));
}

TEST_F(WinPortSim, AVanishedDeviceFailsAsGone) {
  const std::string name = SimPort("VELIMO_SIM_VANISHING_COM");
  ASSERT_FALSE(name.empty()) << "VELIMO_SIM_VANISHING_COM names no port";
  WinPort port(name);
  port.Open();
  port.ApplyLineSettings(Line(57600));
  EXPECT_EQ(Ask(port, "AT+CH=5\r\n"), "OK. Channel=5\r\n");
  // The next look at the port after the device went away fails, and the
  // failure says the device has gone (the port component then closes the
  // port and tells the operator, as on Linux).
  bool gone = false;
  const Clock::time_point until = Clock::now() + std::chrono::seconds(3);
  while (!gone && Clock::now() < until) {
    try {
      char buffer[64];
      port.Read(buffer, sizeof buffer);
      port.QueuedInput();
      WaitForSingleObject(port.Fd(), 50);
    } catch (const EComPort& e) {
      gone = e.DeviceGone();
      EXPECT_TRUE(gone) << e.what();
      break;
    }
  }
  EXPECT_TRUE(gone);
  port.Close();
}

TEST_F(WinPortSim, TheDeviceWatcherSeesAPortComeAndGo) {
  // A driver enters its port in the registry's port list and removes it
  // again; the test does what the driver does.
  DeviceWatcher watcher;
  ASSERT_NE(watcher.Fd(), kNoWaitable);
  EXPECT_FALSE(watcher.TakeChanges());
  HKEY key = nullptr;
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_SET_VALUE, &key),
      ERROR_SUCCESS);
  const wchar_t name[] = L"COM77";
  ASSERT_EQ(RegSetValueExW(key, L"\\Device\\VelimoTest", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(name), sizeof name),
            ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(watcher.Fd(), 2000), WAIT_OBJECT_0);
  EXPECT_TRUE(watcher.TakeChanges());
  const std::optional<std::vector<std::string>> ports = EnumerateSerialPorts();
  ASSERT_TRUE(ports.has_value());
  EXPECT_NE(std::find(ports->begin(), ports->end(), "COM77"), ports->end());
  EXPECT_FALSE(watcher.TakeChanges());
  ASSERT_EQ(RegDeleteValueW(key, L"\\Device\\VelimoTest"), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(WaitForSingleObject(watcher.Fd(), 2000), WAIT_OBJECT_0);
  EXPECT_TRUE(watcher.TakeChanges());
}

TEST(WinPortNames, ComNamesGetTheDevicePrefix) {
  EXPECT_EQ(WinPort::DevicePath("COM5"), L"\\\\.\\COM5");
  EXPECT_EQ(WinPort::DevicePath("com12"), L"\\\\.\\com12");
  EXPECT_EQ(WinPort::DevicePath("\\\\.\\COM3"), L"\\\\.\\COM3");
  EXPECT_EQ(WinPort::DevicePath("COMX"), L"COMX");
}

}  // namespace
}  // namespace velimo::serial::win
