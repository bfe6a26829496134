#include "exit_status.h"

namespace velimo::cli {

std::string ExitStatusTable() {
  return R"(Exit status (every command, a bench run too):
  0    done, and everything is as wanted
  3    done, but the modem differs from the profile, a setting did not
       stick or is not verified, or nothing was found (no modem, no port)
  1    a failure: a port that cannot be opened or probed, a modem that
       does not answer, a refused profile or units file, a report that
       cannot be written, a unit of a bench that failed
  2    usage: the options are wrong (nothing was tried)
  130  interrupted (Ctrl-C or SIGTERM): the lines in flight were finished,
       nothing more was sent, the report says where each unit stopped
)";
}

}  // namespace velimo::cli
