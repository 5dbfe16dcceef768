#pragma once

#include <optional>
#include <string>
#include <vector>

#include "controller/Platform.h"

namespace tandemo::sim {

// A workspace whose front application, running applications and own identifier are set by the
// test. activate() makes an application front-most and tells the installed handler at once, as
// the system's notification would on the main loop.
class ScriptedWorkspace final : public Workspace {
 public:
  explicit ScriptedWorkspace(std::optional<std::string> ownBundleID = "org.tandemo.Tandemo");

  std::optional<std::string> frontmostBundleID() override { return front_; }
  void setActivationHandler(ActivationHandler handler) override { handler_ = std::move(handler); }
  std::vector<RunningApplication> runningApplications() override { return running_; }
  std::optional<std::string> ownBundleID() override { return own_; }
  void openPrivacyPage(const std::string& anchor) override { openedPages_.push_back(anchor); }

  // Changes the front application without telling anybody (as before the controller starts).
  void setFront(std::optional<std::string> bundleID) { front_ = std::move(bundleID); }
  void activate(std::optional<std::string> bundleID);
  void setRunningApplications(std::vector<RunningApplication> apps) { running_ = std::move(apps); }
  void setOwnBundleID(std::optional<std::string> bundleID) { own_ = std::move(bundleID); }

  const std::vector<std::string>& openedPages() const { return openedPages_; }
  bool hasActivationHandler() const { return static_cast<bool>(handler_); }

 private:
  std::optional<std::string> own_;
  std::optional<std::string> front_;
  std::vector<RunningApplication> running_;
  ActivationHandler handler_;
  std::vector<std::string> openedPages_;
};

}  // namespace tandemo::sim
