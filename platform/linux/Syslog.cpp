#include "linux/Syslog.h"

#include <syslog.h>

namespace tandemo::linux_platform {

Syslog::Syslog() { ::openlog(nullptr, LOG_PID, LOG_USER); }

void Syslog::write(const std::string& line) {
  // The line is data, never a format; it already starts with "Tandemo: ".
  ::syslog(LOG_NOTICE, "%s", line.c_str());
}

}  // namespace tandemo::linux_platform
