// The port operations the protocol uses. TComPort provides them on a real
// tty; unit tests use a recording fake.
#pragma once

namespace velimo::serial {

class ByteChannel {
 public:
  virtual ~ByteChannel() = default;
  // True while the port is open.
  virtual bool Connected() const = 0;
  // Discards what waits in the receive and/or transmit queue. Raises EComPort.
  virtual void PurgeQueues(bool rx, bool tx) = 0;
  // Writes count bytes, returning when they are written. Raises EComPort.
  virtual int WriteBytes(const void* data, int count) = 0;
  // Copies up to count waiting bytes; returns how many. Raises EComPort.
  virtual int ReadBytes(void* data, int count) = 0;
  // How many received bytes wait unread. Raises EComPort. A channel that
  // cannot tell keeps this default.
  virtual int QueuedInputCount() { return 0; }
  // Ends the connection (disconnecting); nothing happens when it is not
  // open. A channel that cannot be closed keeps this default.
  virtual void ClosePort() {}
};

}  // namespace velimo::serial
