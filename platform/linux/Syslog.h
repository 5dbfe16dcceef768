#pragma once

#include "controller/Platform.h"

namespace tandemo::linux_platform {

// The activity log's mirror in the system log: syslog(3), facility user, level notice, tagged
// with the program's name and process id (journalctl -t tandemo).
class Syslog final : public SystemLog {
 public:
  Syslog();
  void write(const std::string& line) override;
};

}  // namespace tandemo::linux_platform
