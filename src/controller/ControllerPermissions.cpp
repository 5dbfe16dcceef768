#include "controller/Controller.h"

namespace tandemo {

void Controller::refreshPermissions() {
  const bool im = hid_->inputMonitoringGranted();
  const bool ax = bridge_->synth().accessibilityGranted();
  if (im != inputMonitoring_) {
    publish(inputMonitoring_, im, Property::inputMonitoring);
    if (im) hid_->retrySeize();
  }
  publish(accessibility_, ax, Property::accessibility);
  // While the link waits for the permission that the system now reports, retry at every poll.
  if (keyboardState_.is<HIDLink::KeyboardState::NeedsInputMonitoring>() && im) hid_->retrySeize();
}

void Controller::requestInputMonitoring() {
  hid_->requestInputMonitoring();
  openPrivacyPane("ListenEvent");
}

void Controller::requestAccessibility() {
  bridge_->synth().requestAccessibility();
  openPrivacyPane("Accessibility");
}

void Controller::openPrivacyPane(const std::string& anchor) { services_.workspace.openPrivacyPage(anchor); }

void Controller::setLaunchAtLogin(bool on) {
  launchAtLogin_ = on;
  notify(Property::launchAtLogin);
  applyLoginItem(on);
}

void Controller::applyLoginItem(bool on) {
  auto done = on ? services_.loginItem.registerItem() : services_.loginItem.unregisterItem();
  // The toggle keeps the requested value; the system's status is read again only at the next start.
  if (!done) append("Launch at login: " + done.error());
}

void Controller::append(const std::string& line) {
  const std::string time = services_.timeOfDay.now();
  services_.systemLog.write("Tandemo: " + line);
  log_.push_back(time + "  " + line);
  while (log_.size() > maxLogEntries) log_.pop_front();
  notify(Property::log);
}

}  // namespace tandemo
