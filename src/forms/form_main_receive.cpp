// Receive path: the port's receive event, line assembly and the hand-over
// of each line to the parser of the checked model item.
#include <algorithm>
#include <array>
#include <utility>

#include "forms/form_main.h"

namespace velimo::forms {

void TForm_main::BindReceive() {
  ComPortEnvBoard.OnRxChar = [this](int count) { ComPortEnvBoardRxChar(count); };
  ComPortEnvBoard.OnNotice = [this](const std::string& text) { LogWriteStr(text); };
  Btn_S_CurrentStatus.OnClick = [this] { Btn_S_CurrentStatusClick(); };
  Btn_S_GetAES.OnClick = [this] { Btn_S_GetAESClick(); };
  Btn_I_GetAES.OnClick = [this] { Btn_S_GetAESClick(); };
  Timer_ConnectionResponse.OnTimer = [this] { Timer_ConnectionResponseTimer(); };
  Timer_AESQuery.OnTimer = [this] { Timer_AESQueryTimer(); };
  Timer_RS485Answer.OnTimer = [this] { Timer_RS485AnswerTimer(); };
}

void TForm_main::ComPortEnvBoardRxChar(int Count) {
  // More waiting than one chunk holds is read in several passes, so a
  // burst is never left behind in the driver until the next event. A pass
  // that gets nothing ends the event (a nested event may have taken the
  // bytes while a parser's message box was open). A read error leaves
  // here for the port component; the partial line keeps what it held.
  // Only the bytes read are handed on, so the chunk needs no zero filler.
  std::array<char, protocol::LineAssembler::kChunkSize> chunk;
  int remaining = Count;
  while (remaining > 0) {
    const int want = std::min(remaining, protocol::LineAssembler::kChunkSize);
    const int n = Port().ReadBytes(chunk.data(), want);
    if (n <= 0) break;
    rx_lines_.Feed(std::string_view(chunk.data(), static_cast<size_t>(std::min(n, want))));
    remaining -= n;
  }
}

void TForm_main::DispatchResponseLine(std::string_view line) {
  // Echoed as it came: no stamp, not in the log file, no pane clearing.
  trace_.AddReceivedLine(line);
  reported_family_.Feed(line);
  if (sTavi1.Checked() || uTavi1.Checked()) {
    ParseResponse_S(line);
  } else if (rTavi1.Checked()) {
    ParseResponse_R(line);
  } else if (ioTavi1.Checked()) {
    ParseResponse_I(line);
    // Outside the parser, whose error handling is for the line's values.
    if (std::exchange(rs485_answer_read_, false)) Rs485AnswerEnded();
  }
  if (OnResponseLine) {
    // A copy: the listener may let go of itself while it runs.
    const std::function<void(std::string_view)> listener = OnResponseLine;
    listener(line);
  }
}

}  // namespace velimo::forms
