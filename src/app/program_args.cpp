#include "program_args.h"

namespace velimo::app {

ProgramArgs ReadProgramArgs(const std::vector<std::string>& args) {
  ProgramArgs read;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      read.help = true;
    } else if (arg == "--version") {
      read.version = true;
    } else if (arg == "--data-folder") {
      read.data_folder = true;
    } else {
      read.others.push_back(arg);
    }
  }
  return read;
}

std::string ProgramUsage() {
  return R"(Usage: velimo [--data-folder]

Reads and changes the configuration of sTavi, uTavi, rTavi and ioTavi LoRa
radio modems attached to a serial port, with the modem's own AT commands.
Pick the model, choose "Connection" / "Connect", and the pages fill with the
modem's configuration; each setting has its Save button.

Velimo keeps its settings in Velimo.INI and its daily trace logs in Log/,
both in the working folder, so a shell started in a folder keeps that
folder's settings.

Options:
  --data-folder   keep Velimo.INI and Log/ in the user's data folder
                  $XDG_DATA_HOME/velimo (~/.local/share/velimo when
                  XDG_DATA_HOME is not set), made on first start, instead of
                  the working folder; the desktop menu starts Velimo so. A
                  restart after a lost connection keeps the folder in use
  --help          this text
  --version       the program's name and version

Qt's own options (-platform, -style and the like) are accepted as well.

Files:
  ./Velimo.INI    the chosen model, the trace options and the serial line
                  settings, written when the main window closes
  ./Log/          the trace, one file a day (Velimo_YYYYMMDD.log), while
                  "Trace" / "Save Log File" is on; the Trace menu is shown
                  by [MACHINE] ViewTraceMenu=1 in Velimo.INI

See also velimo-cli(1), which drives the same window from scripts, and
velimo-modem-sim(1), a simulated modem to try it with.
)";
}

}  // namespace velimo::app
