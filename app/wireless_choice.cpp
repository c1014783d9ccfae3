#include "app/wireless_choice.h"

#include "app/control_ids.h"

namespace trimwell {

void WirelessChoice::start() {
  controls_.show(ids::kWirelessPort, port_ != nullptr);
  if (port_ == nullptr) return;
  refresh();
  if (!port_->chosen().empty()) port_->connect();
}

bool WirelessChoice::watch() {
  if (port_ == nullptr) return false;
  const std::string before = port_->problem();
  port_->watch();
  return port_->problem() != before;
}

void WirelessChoice::refresh() {
  if (port_ == nullptr) return;
  controls_.setChoices(ids::kWirelessPort, port_->choices());
  const std::string& chosen = port_->chosen();
  controls_.setText(ids::kWirelessPort, chosen.empty() ? WirelessPort::kNone : chosen);
}

// A new choice lets the port in use go (so the interface on it departs at the next
// scan, its sensor with it, even when the new port answers at once: another
// interface may be there) and connects to the one chosen at once, so that the
// operator hears now what is wrong with it.
bool WirelessChoice::take(const std::function<void()>& letGo, std::string& problem) {
  if (port_ == nullptr) return true;
  std::string chosen = controls_.text(ids::kWirelessPort);
  chosen.erase(0, chosen.find_first_not_of(" \t"));
  chosen.erase(chosen.find_last_not_of(" \t") + 1);
  if (chosen.empty()) chosen = WirelessPort::kNone;
  bool answered = true;
  if (chosen != port_->chosen() || !port_->connected()) {
    letGo();
    answered = port_->choose(chosen);
    if (!answered) problem = port_->problem();
  }
  refresh();
  return answered;
}

}  // namespace trimwell
