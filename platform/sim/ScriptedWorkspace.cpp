#include "sim/ScriptedWorkspace.h"

namespace tandemo::sim {

ScriptedWorkspace::ScriptedWorkspace(std::optional<std::string> ownBundleID) : own_(std::move(ownBundleID)) {}

void ScriptedWorkspace::activate(std::optional<std::string> bundleID) {
  front_ = bundleID;
  if (handler_) handler_(std::move(bundleID));
}

}  // namespace tandemo::sim
