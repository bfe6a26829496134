// Network ports in the Windows build: not there yet (they need the
// network port's sockets on Winsock). A network name opens as a port that
// refuses with that reason, so the scan, the connect dialog and velimo-cli
// say so instead of taking the name for a COM port.
#include <windows.h>

#include "serial/com_error.h"
#include "serial/net/network_port.h"

namespace velimo::serial::net {

namespace {

class Unavailable : public PortTransport {
 public:
  explicit Unavailable(std::string port) : port_(std::move(port)) {}
  void Open() override {
    throw EComPort(CError_OpenFailed, ERROR_NOT_SUPPORTED,
                   port_ + ": network ports are not available in the Windows build yet.");
  }
  void Close() override {}
  Waitable Fd() const override { return kNoWaitable; }
  void ApplyLineSettings(const TransportSettings&) override {}
  void Purge(bool, bool) override {}
  int Write(const void*, int, int64_t) override {
    throw EComPort(CError_WriteFailed, ERROR_INVALID_HANDLE);
  }
  int Read(void*, int) override { return 0; }
  bool WaitForInput(int64_t) override { return false; }
  void DiscardQueues() override {}
  int QueuedInput() override { return 0; }
  TComErrors LineErrors(bool) override { return {}; }
  TComSignals Signals() override { return {}; }

 private:
  std::string port_;
};

}  // namespace

std::unique_ptr<PortTransport> OpenNetworkTransport(const std::string& port, const OpenCancel&,
                                                    NetLimits) {
  Unavailable(port).Open();  // raises why
  return nullptr;
}

std::unique_ptr<PortTransport> NetworkTransportFor(const std::string& port) {
  if (!IsNetworkPortName(port)) return nullptr;
  return std::make_unique<Unavailable>(port);
}

}  // namespace velimo::serial::net
