// "Find Modem" in the connect dialog: the scan runs on a thread of its own
// so the window stays live for the ten seconds an empty port may take;
// its end is signalled on a descriptor the platform watches, and its
// results are taken on the user-interface thread.
#include <algorithm>
#include <system_error>
#include <thread>

#include "forms/form_connect.h"
#include "forms/form_main.h"
#include "serial/port_list.h"
#include "util/text_helpers.h"

namespace velimo::forms {

namespace {

// "57600 None", or "the server's fixed rate" for a raw TCP port.
std::string AnsweredAt(const scan::PortResult& r) {
  if (r.family_only) return "the server's fixed rate";
  return std::to_string(r.baud) + " " + r.parity;
}

}  // namespace

TForm_Connect::ScanJob::~ScanJob() {
  cancel.store(true);
  if (thread.joinable()) thread.join();
  if (done_fd != kNoWaitable) DestroyWakeEvent(done_fd);
}

TForm_Connect::~TForm_Connect() {
  scan_watch_.reset();
  scan_.reset();  // waits for a running scan
  open_watch_.reset();
  open_.reset();  // ends a network open under way
}

void TForm_Connect::Btn_FindModemClick() {
  // The button is Cancel while the scan runs.
  if (scan_) {
    main_.LogWriteStr("Find Modem cancelled.");
    StopFindModem();
    SayStatus("Find Modem cancelled.");
    return;
  }
  // The listed ports, and a name the operator typed that is not listed.
  scan::ScanOptions options;
  options.roots = main_.SystemRoots;
  options.listen_ms = FindModemListenMs;
  for (const std::string& path : entry_paths_)
    if (path != serial::kNoComPort) options.ports.push_back(path);
  const std::string typed = PortValue();
  if (!typed.empty() && EntryOfPort(typed) < 0) options.ports.push_back(typed);

  scan_ = std::make_unique<ScanJob>();
  try {
    scan_->done_fd = CreateWakeEvent();
  } catch (const std::system_error&) {
    // The user-interface thread then learns of the end by waiting.
  }
  options.cancel = &scan_->cancel;
  Btn_FindModem.SetCaption("Cancel");
  Btn_Connect.SetEnabled(false);
  SayStatus("Scanning...");
  main_.LogWriteStr("Looking for modems on " + std::to_string(options.ports.size()) +
                    " port(s)...");
  ScanJob* job = scan_.get();
  job->thread = std::thread([job, options] {
    job->results = scan::ScanPorts(options);
    if (job->done_fd != kNoWaitable) SignalWakeEvent(job->done_fd);
  });
  scan_watch_ = main_.platform().WatchReadable(scan_->done_fd, [this] { FinishFindModem(); });
}

void TForm_Connect::StopFindModem() {
  if (!scan_) return;
  scan_watch_.reset();
  scan_.reset();  // stops the probes; each gives its line back
  Btn_FindModem.SetCaption("Find Modem");
  Btn_Connect.SetEnabled(true);
  SayStatus("");
}

void TForm_Connect::FinishFindModem() {
  if (!scan_) return;
  scan_watch_.reset();
  scan_->thread.join();
  std::vector<scan::PortResult> results = std::move(scan_->results);
  scan_.reset();
  Btn_FindModem.SetCaption("Find Modem");
  Btn_Connect.SetEnabled(true);

  found_.clear();
  // Each port that gave no modem, with why.
  std::vector<std::string> tried;
  for (scan::PortResult& r : results) {
    if (r.outcome == scan::PortResult::Outcome::Found) {
      main_.LogWriteStr("Found " + std::string(scan::FamilyName(r.family)) + " on Port[" + r.port +
                        "] at " + AnsweredAt(r) + ", F/W " + r.firmware + ", Source ID " +
                        r.source_id);
      found_.push_back(std::move(r));
      continue;
    }
    tried.push_back(r.port + ": " + r.Why());
    if (r.outcome == scan::PortResult::Outcome::InUse ||
        r.outcome == scan::PortResult::Outcome::Failed)
      main_.LogWriteStr("Not scanned: " + tried.back());
  }
  // Each port with a modem says so in the list; a found port that is not
  // listed (a link of its own) is added.
  const std::string chosen = PortValue();
  std::vector<std::string> items = CB_ComPort.Items();
  for (const scan::PortResult& r : found_) {
    int entry = EntryOfPort(r.port);
    if (entry < 0) {
      items.push_back(r.port);
      entry_values_.push_back(r.port);
      entry_paths_.push_back(r.port);
      entry = static_cast<int>(items.size()) - 1;
    }
    items[static_cast<size_t>(entry)] +=
        " [" + std::string(scan::FamilyName(r.family)) + " " + AnsweredAt(r) + "]";
  }
  CB_ComPort.SetItems(std::move(items));
  if (found_.empty()) {
    SelectPort(chosen);
    SayStatus("No modem found.");
    std::string text = "No modem found.";
    for (size_t i = 0; i < tried.size(); ++i) text += (i == 0 ? "\n\n" : "\n") + tried[i];
    main_.platform().ShowMessage(text);
    return;
  }
  ApplyFound(found_.front());
  // Said as the window now shows it: the model picked, the port by its
  // name in the system's folder of devices.
  const scan::PortResult& first = found_.front();
  std::string model = scan::FamilyName(first.family);
  if (scan::FamilyModel(first.family) == 's') model = main_.uTavi1.Checked() ? "uTavi" : "sTavi";
  std::string where = first.port;
  if (const std::string dev = main_.SystemRoots.dev + "/"; where.rfind(dev, 0) == 0)
    where.erase(0, dev.size());
  SayStatus("Found " + model + " at " +
            (first.family_only ? "the server's fixed rate" : std::to_string(first.baud)) + " on " +
            where);
}

void TForm_Connect::ApplyFound(const scan::PortResult& found) {
  SelectPort(found.port);
  // A raw TCP port's line settings are its server's: the dialog's stay.
  const int baud = found.family_only ? -1 : BaudTextToIndex(std::to_string(found.baud));
  if (baud >= 0) Edit_Baudrate.SetItemIndex(baud);
  const auto& parities = Edit_PAB.Items();
  const auto p = std::find(parities.begin(), parities.end(), found.parity);
  if (p != parities.end()) Edit_PAB.SetItemIndex(static_cast<int>(p - parities.begin()));
  // The model, as the operator picks it in the Device menu; sTavi stands
  // for "sTavi or uTavi" (both use the same pages).
  switch (scan::FamilyModel(found.family)) {
    case 's':
      if (!main_.sTavi1.Checked() && !main_.uTavi1.Checked()) main_.sTavi1Click();
      break;
    case 'r':
      main_.rTavi1Click();
      break;
    case 'i':
      main_.ioTavi1Click();
      break;
    default:
      break;
  }
}

void TForm_Connect::OnPortPicked() {
  // Picking a port where the scan found a modem takes its rate, parity
  // and model too.
  for (const scan::PortResult& r : found_) {
    const int entry = EntryOfPort(r.port);
    if (entry >= 0 && entry == CB_ComPort.ItemIndex()) {
      ApplyFound(r);
      return;
    }
  }
}

}  // namespace velimo::forms
