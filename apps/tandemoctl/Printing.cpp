#include "Printing.h"

#include <ostream>

namespace tandemo {
namespace {

using Rival500::Button;

Rival500::Assignment assignmentOf(const HardwareConfig& hardware, Button button) {
  const auto found = hardware.assignments.find(button);
  return found != hardware.assignments.end() ? found->second : Rival500::factoryDefault(button);
}

std::string describeLight(const Rival500::Lighting& light) {
  std::string text = std::to_string(light.stops.size()) + (light.stops.size() == 1 ? " color" : " colors") +
                     ", " + std::to_string(light.durationMs) + " ms cycle";
  if (auto packet = Rival500::lightingPacket(Rival500::LED::logo, light); !packet) {
    text += " (cannot be written: " + std::string(Rival500::describe(packet.error())) + ")";
  }
  return text;
}

// Pads with spaces to `width` columns, counting code points rather than bytes.
std::string padded(const std::string& text, std::size_t width) {
  std::size_t columns = 0;
  for (unsigned char c : text) columns += (c & 0xC0) != 0x80;
  return columns >= width ? text + " " : text + std::string(width - columns, ' ');
}

const char* yesNo(bool flag) { return flag ? "yes" : "no"; }

}  // namespace

std::string packetLine(const Rival500::Packet& packet) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string line = packet.type == Rival500::ReportType::output ? "output" : "feature";
  for (std::uint8_t byte : packet.data) {
    line += ' ';
    line += hex[byte >> 4];
    line += hex[byte & 0x0F];
  }
  return line;
}

void printTsv(const AppState& state, std::ostream& out) {
  for (Button button : Rival500::displayOrder) {
    out << "control\t" << Rival500::rawValue(button) << '\t' << Rival500::label(button) << '\t'
        << assignmentOf(state.hardware, button).summary() << '\n';
  }
  for (const Profile& profile : state.profiles) {
    out << "profile\t" << profile.id.string() << '\t' << profile.name << '\n';
    for (const auto& [button, action] : profile.actions) {
      out << "action\t" << Rival500::rawValue(button) << '\t' << action.summary() << '\t'
          << (action.isOneToOne() ? '1' : '0') << '\n';
    }
  }
}

void printReadable(const LoadResult& loaded, const std::filesystem::path& file, std::ostream& out) {
  const AppState& state = loaded.state;
  out << "Settings: " << file.string();
  switch (loaded.source) {
    case LoadResult::Source::file: break;
    case LoadResult::Source::missing: out << " (not created yet: default settings)"; break;
    case LoadResult::Source::unreadable: out << " (unreadable: default settings)"; break;
  }
  out << "\n\nMouse\n";
  out << "  " << padded("DPI presets", 16) << state.hardware.dpi1 << " / " << state.hardware.dpi2 << '\n';
  out << "  " << padded("Polling rate", 16) << state.hardware.pollingHz << " Hz\n";
  out << "  " << padded("Logo light", 16) << describeLight(state.hardware.logo) << '\n';
  out << "  " << padded("Wheel light", 16) << describeLight(state.hardware.wheel) << '\n';

  out << "\nControls\n";
  for (Button button : Rival500::displayOrder) {
    out << "  " << padded(std::string(Rival500::label(button)), 28)
        << assignmentOf(state.hardware, button).summary() << '\n';
  }

  out << "\nProfiles (" << (state.autoSwitch ? "follow the front application" : "automatic switching off");
  if (state.pinnedProfileID) out << ", pinned: " << state.pinnedProfileID->string();
  out << ")\n";
  for (const Profile& profile : state.profiles) {
    out << "  " << profile.name << "  ";
    if (profile.bundleIDs.empty()) {
      out << "[everywhere else]";
    } else {
      for (std::size_t i = 0; i < profile.bundleIDs.size(); ++i) {
        out << (i == 0 ? "[" : ", ") << profile.bundleIDs[i];
      }
      out << ']';
    }
    out << "  " << profile.id.string() << '\n';
    if (profile.actions.empty()) out << "    (no actions)\n";
    for (const auto& [button, action] : profile.actions) {
      out << "    " << padded(std::string(Rival500::label(button)), 26) << action.summary()
          << (action.isOneToOne() ? "" : "  (more than one input per press)") << '\n';
    }
  }

  out << "\nOptions\n";
  out << "  " << padded("Write on connect", 24) << yesNo(state.writeOnConnect) << '\n';
  out << "  " << padded("Save to mouse memory", 24) << yesNo(state.saveToOnboardMemory) << '\n';
  out << "  " << padded("Open window at launch", 24) << yesNo(state.openWindowAtLaunch) << '\n';
}

}  // namespace tandemo
