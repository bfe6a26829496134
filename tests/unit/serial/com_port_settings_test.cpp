// TComPort without a device: values after construction, setters, presets,
// port names, and what the operations do on a closed port.
#include <gtest/gtest.h>

#include <cerrno>

#include "serial/com_port.h"
#include "serial/tty/tty_port.h"

namespace velimo::serial {
namespace {

TEST(ComPortDefaults, ValuesAfterConstruction) {
  TComPort port;
  EXPECT_EQ(port.Port(), "COM1");
  EXPECT_EQ(port.BaudRate(), br9600);
  EXPECT_EQ(port.CustomBaudRate(), 9600);
  EXPECT_EQ(port.DataBits(), dbEight);
  EXPECT_EQ(port.StopBits(), sbOneStopBit);
  EXPECT_EQ(port.Parity().Bits(), prNone);
  EXPECT_FALSE(port.Parity().Check());
  EXPECT_FALSE(port.Parity().Replace());
  EXPECT_EQ(port.Parity().ReplaceChar(), 0);
  const TComFlowControl& fc = port.FlowControl();
  EXPECT_FALSE(fc.OutCTSFlow());
  EXPECT_FALSE(fc.OutDSRFlow());
  EXPECT_EQ(fc.ControlDTR(), dtrDisable);
  EXPECT_EQ(fc.ControlRTS(), rtsDisable);
  EXPECT_FALSE(fc.XonXoffOut());
  EXPECT_FALSE(fc.XonXoffIn());
  EXPECT_FALSE(fc.DSRSensitivity());
  EXPECT_FALSE(fc.TxContinueOnXoff());
  EXPECT_EQ(fc.XonChar(), 17);
  EXPECT_EQ(fc.XoffChar(), 19);
  EXPECT_EQ(fc.FlowControl(), fcNone);
  EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
  EXPECT_EQ(port.Timeouts().ReadTotalMultiplier(), 0);
  EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 0);
  EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 100);
  EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 1000);
  EXPECT_EQ(port.Buffer().InputSize(), 1024);
  EXPECT_EQ(port.Buffer().OutputSize(), 1024);
  EXPECT_FALSE(port.DiscardNull());
  EXPECT_EQ(port.EventChar(), 0);
  EXPECT_EQ(port.Events(), TComEvents::All());
  EXPECT_EQ(port.SyncMethod(), smThreadSync);
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(port.EventThreadActive());
  // Each settings object knows its port.
  EXPECT_EQ(port.Parity().ComPort(), &port);
  EXPECT_EQ(port.FlowControl().ComPort(), &port);
  EXPECT_EQ(port.Timeouts().ComPort(), &port);
  EXPECT_EQ(port.Buffer().ComPort(), &port);
}

TEST(ComPortSettings, EffectiveBaudRateFollowsCustom) {
  TComPort port;
  port.SetBaudRate(brCustom);
  port.SetCustomBaudRate(921600);
  EXPECT_EQ(port.EffectiveBaudRate(), 921600);
  port.SetBaudRate(br57600);
  EXPECT_EQ(port.EffectiveBaudRate(), 57600);
  EXPECT_EQ(port.CustomBaudRate(), 921600);
}

TEST(ComPortSettings, FlowControlPresets) {
  struct Case {
    TFlowControl preset;
    TRTSFlowControl rts;
    bool cts, xonIn, xonOut;
  } cases[] = {
      {fcHardware, rtsHandshake, true, false, false},
      {fcSoftware, rtsDisable, false, true, true},
      {fcNone, rtsDisable, false, false, false},
  };
  for (const Case& c : cases) {
    TComPort port;
    port.FlowControl().SetControlDTR(dtrEnable);
    port.FlowControl().SetOutDSRFlow(true);
    port.FlowControl().SetFlowControl(c.preset);
    EXPECT_EQ(port.FlowControl().ControlRTS(), c.rts) << c.preset;
    EXPECT_EQ(port.FlowControl().OutCTSFlow(), c.cts) << c.preset;
    EXPECT_EQ(port.FlowControl().XonXoffIn(), c.xonIn) << c.preset;
    EXPECT_EQ(port.FlowControl().XonXoffOut(), c.xonOut) << c.preset;
    // DTR and the DSR flow are not part of any preset.
    EXPECT_EQ(port.FlowControl().ControlDTR(), dtrEnable);
    EXPECT_TRUE(port.FlowControl().OutDSRFlow());
    EXPECT_EQ(port.FlowControl().FlowControl(), c.preset);
  }
}

TEST(ComPortSettings, NoneAfterHardwareClearsHandshakeKeepsDtr) {
  TComPort port;
  port.FlowControl().SetControlDTR(dtrEnable);
  port.FlowControl().SetFlowControl(fcHardware);
  port.FlowControl().SetFlowControl(fcNone);
  EXPECT_EQ(port.FlowControl().ControlRTS(), rtsDisable);
  EXPECT_FALSE(port.FlowControl().OutCTSFlow());
  EXPECT_EQ(port.FlowControl().ControlDTR(), dtrEnable);
  // fcCustom changes nothing.
  port.FlowControl().SetFlowControl(fcHardware);
  port.FlowControl().SetFlowControl(fcCustom);
  EXPECT_EQ(port.FlowControl().ControlRTS(), rtsHandshake);
  EXPECT_TRUE(port.FlowControl().OutCTSFlow());
  // A mix that is no preset reads as custom.
  port.FlowControl().SetXonXoffIn(true);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcCustom);
}

TEST(ComPortSettings, OddQueueSizesAreLoweredByOne) {
  TComPort port;
  port.Buffer().SetInputSize(2049);
  port.Buffer().SetOutputSize(513);
  EXPECT_EQ(port.Buffer().InputSize(), 2048);
  EXPECT_EQ(port.Buffer().OutputSize(), 512);
}

TEST(ComPortSettings, SyncMethodCanChangeWhileClosed) {
  TComPort port;
  port.SetSyncMethod(smNone);
  EXPECT_EQ(port.SyncMethod(), smNone);
}

TEST(ComPortNames, PortNameToDevicePath) {
  struct Case {
    const char* port;
    const char* path;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},
      {"COM3", "/dev/ttyS2"},
      {"COM20", "/dev/ttyS19"},
      {"com2", "/dev/ttyS1"},
      {"COM0", "/dev/COM0"},
      {"COM", "/dev/COM"},
      {"COMX", "/dev/COMX"},
      {"COM1a", "/dev/COM1a"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"ttyUSB0", "/dev/ttyUSB0"},
      {"./ttyVelimo-s", "./ttyVelimo-s"},
      {"../run/ttyVelimo-s", "../run/ttyVelimo-s"},
      {"serial/by-id/usb-FTDI-if00", "/dev/serial/by-id/usb-FTDI-if00"},
      {".ttyUSB0", "/dev/.ttyUSB0"},
      {"No COM Port", "/dev/No COM Port"},
      {"COM99999999999", "/dev/COM99999999999"},
  };
  for (const Case& c : cases) EXPECT_EQ(DevicePathOf(c.port), c.path) << c.port;
}

TEST(ComPortClosed, OperationsOnAClosedPortRaiseTheirCodes) {
  TComPort port;
  char byte = 'A';
  struct Case {
    const char* what;
    std::function<void()> call;
    int code;
  } cases[] = {
      {"write", [&] { port.WriteBytes(&byte, 1); }, 2},
      {"read", [&] { port.ReadBytes(&byte, 1); }, 3},
      {"purge", [&] { port.PurgeQueues(true, true); }, 5},
      {"queued", [&] { port.QueuedInputCount(); }, 10},
      {"line errors", [&] { port.ReadLineErrors(); }, 10},
  };
  for (const Case& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.what << " did not raise";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.Code(), c.code) << c.what;
      EXPECT_EQ(e.ErrorCode(), EBADF) << c.what;
    }
  }
  // A null buffer is refused before anything else.
  try {
    port.ReadBytes(nullptr, 4);
    ADD_FAILURE() << "null buffer accepted";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 4);
    EXPECT_STREQ(e.what(), "Invalid Async parameter");
  }
  // Closing a closed port does nothing.
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.ProcessPendingEvents(), 0);
}

TEST(ComPortClosed, OpeningAMissingDeviceFailsWithCodeOne) {
  TComPort port;
  bool beforeOpen = false;
  port.OnBeforeOpen = [&] { beforeOpen = true; };
  port.SetPort("/nonexistent/velimo-port");
  try {
    port.OpenPort();
    FAIL() << "opened a missing device";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 1);
    EXPECT_EQ(e.ErrorCode(), ENOENT);
    EXPECT_EQ(std::string(e.what()), "Unable to open com port (win error code: 2)");
  }
  EXPECT_TRUE(beforeOpen);
  EXPECT_FALSE(port.Connected());
  // The property path reports the same way.
  EXPECT_THROW(port.SetConnected(true), EComPort);
  EXPECT_FALSE(port.Connected());
}

}  // namespace
}  // namespace velimo::serial

namespace velimo::serial {
namespace {

TEST(LineErrors, CounterDeltasMapToErrorKinds) {
  tty::LineCounters before;
  before.frame = 3;
  before.overrun = 1;
  before.parity = 7;
  before.brk = 2;
  before.buf_overrun = 0;
  struct Case {
    const char* what;
    std::function<void(tty::LineCounters&)> change;
    bool checkParity;
    uint8_t expected;
  } cases[] = {
      {"nothing new", [](tty::LineCounters&) {}, true, 0},
      {"frame", [](tty::LineCounters& c) { c.frame += 1; }, false, ceFrame},
      {"overrun", [](tty::LineCounters& c) { c.overrun += 5; }, false, ceOverrun},
      {"buffer overflow", [](tty::LineCounters& c) { c.buf_overrun += 1; }, false, ceRxOver},
      {"break", [](tty::LineCounters& c) { c.brk += 1; }, false, ceBreak},
      {"parity unchecked", [](tty::LineCounters& c) { c.parity += 1; }, false, 0},
      {"parity checked", [](tty::LineCounters& c) { c.parity += 1; }, true, ceRxParity},
      {"frame and overrun",
       [](tty::LineCounters& c) {
         c.frame += 1;
         c.overrun += 1;
       },
       false, ceFrame | ceOverrun},
      // The driver's counters wrap; a change is a change.
      {"wrapped counter", [](tty::LineCounters& c) { c.frame = 0; }, false, ceFrame},
  };
  for (const Case& c : cases) {
    tty::LineCounters now = before;
    c.change(now);
    EXPECT_EQ(tty::LineErrorsBetween(before, now, c.checkParity).Byte(), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace velimo::serial
