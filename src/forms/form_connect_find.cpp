// "Find Modem" in the connect dialog: the scan runs in the background so
// the window stays live for the ten seconds an empty port may take; each
// port's result is taken on the user-interface thread as soon as its
// probe ends, so a modem is listed (and the first one chosen) while the
// other ports are still being probed.
#include <algorithm>

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

TForm_Connect::~TForm_Connect() {
  scan_.reset();  // stops a running scan
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

  found_.clear();
  Btn_FindModem.SetCaption("Cancel");
  Btn_Connect.SetEnabled(false);
  SayStatus("Scanning...");
  main_.LogWriteStr("Looking for modems on " + std::to_string(options.ports.size()) +
                    " port(s)...");
  scan_ = std::make_unique<ScanJob>(main_.platform());
  scan_->Start(
      [options](ScanJob::Worker& worker) mutable {
        options.cancel = &worker.Token().Flag();
        return scan::ScanPorts(options, [&worker](const scan::PortResult& r) { worker.Report(r); });
      },
      [this](std::vector<scan::PortResult> results) { ScanEnded(results); },
      [this](scan::PortResult r) { PortScanned(std::move(r)); });
}

void TForm_Connect::StopFindModem() {
  if (!scan_) return;
  scan_.reset();  // stops the probes; each gives its line back
  Btn_FindModem.SetCaption("Find Modem");
  Btn_Connect.SetEnabled(true);
  SayStatus("");
}

void TForm_Connect::PortScanned(scan::PortResult r) {
  if (r.outcome != scan::PortResult::Outcome::Found) return;
  main_.LogWriteStr("Found " + std::string(scan::FamilyName(r.family)) + " on Port[" + r.port +
                    "] at " + AnsweredAt(r) + ", F/W " + r.firmware + ", Source ID " + r.source_id);
  // The port says so in the list at once; a found port that is not
  // listed (a link of its own) is added.
  const std::string chosen = PortValue();
  std::vector<std::string> items = CB_ComPort.Items();
  int entry = EntryOfPort(r.port);
  if (entry < 0) {
    items.push_back(r.port);
    entry_values_.push_back(r.port);
    entry_paths_.push_back(r.port);
    entry = static_cast<int>(items.size()) - 1;
  }
  items[static_cast<size_t>(entry)] +=
      " [" + std::string(scan::FamilyName(r.family)) + " " + AnsweredAt(r) + "]";
  CB_ComPort.SetItems(std::move(items));
  SelectPort(chosen);
  found_.push_back(std::move(r));
  if (found_.size() > 1) return;
  // The first modem found is chosen while the others are still looked
  // for, and Connect takes it (ending the search).
  ApplyFound(found_.front());
  Btn_Connect.SetEnabled(true);
  SayFound();
}

void TForm_Connect::SayFound() {
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

void TForm_Connect::ScanEnded(const std::vector<scan::PortResult>& results) {
  scan_.reset();
  Btn_FindModem.SetCaption("Find Modem");
  Btn_Connect.SetEnabled(true);
  // Each port that gave no modem, with why.
  std::vector<std::string> tried;
  for (const scan::PortResult& r : results) {
    if (r.outcome == scan::PortResult::Outcome::Found) continue;
    tried.push_back(r.port + ": " + r.Why());
    if (r.outcome == scan::PortResult::Outcome::InUse ||
        r.outcome == scan::PortResult::Outcome::Failed)
      main_.LogWriteStr("Not scanned: " + tried.back());
  }
  if (!found_.empty()) {
    SayFound();
    return;
  }
  SayStatus("No modem found.");
  std::string text = "No modem found.";
  for (size_t i = 0; i < tried.size(); ++i) text += (i == 0 ? "\n\n" : "\n") + tried[i];
  main_.platform().ShowMessage(text);
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
