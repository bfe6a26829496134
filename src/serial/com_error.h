// The serial layer's error: a message code of the component's table and
// the system error code (errno) that caused it, if any. The layer never
// shows anything itself; its callers catch this and show their own texts.
#pragma once

#include <string>

#include "util/errors.h"

namespace velimo::serial {

// Message codes. Codes without a raiser here belong to facilities of the
// component this program does not use; they keep their numbers.
enum ComErrorCode : int {
  CError_OpenFailed = 1,
  CError_WriteFailed = 2,
  CError_ReadFailed = 3,
  CError_InvalidAsync = 4,
  CError_PurgeFailed = 5,
  CError_AsyncCheck = 6,
  CError_SetStateFailed = 7,
  CError_TimeoutsFailed = 8,
  CError_SetupComFailed = 9,
  CError_ClearComFailed = 10,
  CError_ModemStatFailed = 11,
  CError_EscapeComFailed = 12,
  CError_TransmitFailed = 13,
  CError_ConnChangeProp = 14,
  CError_EnumPortsFailed = 15,
  CError_StoreFailed = 16,
  CError_LoadFailed = 17,
  CError_RegFailed = 18,
  CError_LedStateFailed = 19,
  CError_ThreadCreated = 20,
  CError_WaitFailed = 21,
  CError_HasLink = 22,
  CError_RegError = 23,
};

// The table text of a message code ("" outside 1..23).
const char* ComErrorText(int code);

class EComPort : public Exception {
 public:
  // systemCode -1: no system error; otherwise it is appended to the text.
  explicit EComPort(int code, int systemCode = -1);
  // reason: why, in words an operator can act on; it is not part of the
  // message, which keeps the table's wording.
  EComPort(int code, int systemCode, std::string reason);
  // Message code, 1..23.
  int Code() const { return code_; }
  // The errno behind the failure, or -1.
  int ErrorCode() const { return system_code_; }
  // The device itself has gone away (an unplugged adapter, the far side of
  // a pseudo-terminal closed): every further operation on it fails the
  // same way, as opposed to a refusal that may pass (a write timed out
  // while flow control holds the line).
  bool DeviceGone() const;
  // Why the port failed, where the port knows more than the code says
  // (a network port names the host and what went wrong); "" otherwise.
  const std::string& Reason() const { return reason_; }

 private:
  int code_;
  int system_code_;
  std::string reason_;
};

}  // namespace velimo::serial
