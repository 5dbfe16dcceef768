#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Options.h"
#include "QuitSignals.h"
#include "controller/Desktop.h"
#include "linux/FileWatch.h"
#include "linux/LinuxDesktop.h"
#include "linux/MouseLock.h"
#include "linux/PosixFileSystem.h"
#include "model/StateStore.h"
#include "sim/FakeServices.h"
#include "sim/SimulatedDesktop.h"
#include "ui/QtMainLoop.h"
#include "ui/Screenshots.h"
#include "ui/SingleInstance.h"
#include "ui/TandemoApp.h"

namespace tandemo::app {
namespace {

using MakeDesktop = std::function<std::unique_ptr<Desktop>(MainLoop&)>;

std::unique_ptr<sim::SimulatedDesktop> simulatedDesktop(MainLoop& loop, const Simulation& simulation) {
  auto desktop = std::make_unique<sim::SimulatedDesktop>(loop, !simulation.unplugged);
  if (simulation.firmware) {
    desktop->mouse().setFirmwareVersion(static_cast<std::uint8_t>(*simulation.firmware));
  } else {
    desktop->mouse().setFirmwareAnswer(std::nullopt);
  }
  // The firmware query at start-up is the first report; the first write follows it.
  if (simulation.refuse > 0) desktop->mouse().refuseReport(simulation.refuse + 1, kIOReturnExclusiveAccess);
  return desktop;
}

// The backend the app runs on: the simulated desktop for --simulate and --screenshot, otherwise
// the real one on Linux.
MakeDesktop chooseDesktop(const AppOptions& options) {
  if (options.screenshots) return [](MainLoop& loop) { return simulatedDesktop(loop, Simulation{}); };
  if (options.simulation.enabled) {
    return [simulation = options.simulation](MainLoop& loop) { return simulatedDesktop(loop, simulation); };
  }
  return [](MainLoop& loop) { return std::make_unique<linux_platform::LinuxDesktop>(loop); };
}

// Desktops name their icon theme; where the platform names none, or only hicolor (offscreen, a
// bare X server), the freedesktop folders are searched with Adwaita. Every theme inherits hicolor,
// and looking there first would parse its large index at every start.
void useIconTheme() {
  QIcon::setFallbackThemeName("Adwaita");
  if (!QIcon::themeName().isEmpty() && QIcon::themeName() != QLatin1String("hicolor")) return;
  QStringList paths = QIcon::themeSearchPaths();
  const QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
  for (const QString& dir : dataDirs.split(':', Qt::SkipEmptyParts)) paths << dir + "/icons";
  QIcon::setThemeSearchPaths(paths);
  const bool adwaita = std::any_of(paths.cbegin(), paths.cend(),
                                   [](const QString& dir) { return QFileInfo::exists(dir + "/Adwaita/index.theme"); });
  QIcon::setThemeName(adwaita ? "Adwaita" : "hicolor");
}

// Exit status of a headless start that finds another Tandemo in the session; the systemd unit
// does not restart on it.
constexpr int kAnotherInstance = 4;

std::unique_ptr<QCoreApplication> makeApplication(const AppOptions& options, int& argc, char** argv) {
  if (options.headless) return std::make_unique<QCoreApplication>(argc, argv);
  auto qt = std::make_unique<QApplication>(argc, argv);
  QApplication::setDesktopFileName("org.tandemo.Tandemo");
  useIconTheme();
  return qt;
}

// The exit status when this start gives way to the instance that already runs.
std::optional<int> claimSession(ui::SingleInstance& instance, bool headless) {
  using Claim = ui::SingleInstance::Claim;
  switch (instance.claim(headless ? ui::SingleInstance::Role::headless : ui::SingleInstance::Role::windowed)) {
    case Claim::first: return std::nullopt;
    case Claim::shownOther: return 0;
    case Claim::otherRunning:
      if (headless) {
        std::cerr << "tandemo: Tandemo already runs in this session; this headless start does nothing\n";
        return kAnotherInstance;
      }
      std::cerr << "tandemo: another instance is already running in this session\n";
      return 1;
    case Claim::otherDidNotQuit:
      std::cerr << "tandemo: the Tandemo running without a window (tandemo --headless) did not quit within "
                << ui::SingleInstance::kTakeOverMs / 1000 << " seconds; quit it first\n";
      return 1;
  }
  return 1;
}

int run(int argc, char** argv) {
  const auto parsed = parseOptions(argc, argv);
  if (const int* code = std::get_if<int>(&parsed)) return *code;
  const AppOptions& options = std::get<AppOptions>(parsed);
  const MakeDesktop makeDesktop = chooseDesktop(options);
  // Screenshots need no display: they render on the offscreen platform unless told otherwise.
  if (options.screenshots && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

  const std::unique_ptr<QCoreApplication> qt = makeApplication(options, argc, argv);
  QCoreApplication::setApplicationName("Tandemo");

  ui::SingleInstance instance;
  if (!options.screenshots) {
    if (const auto code = claimSession(instance, options.headless)) return *code;
    if (options.headless && !instance.onBus()) std::cerr << "tandemo: no session bus; running without its interface\n";
  }

  // The real mouse is this process's for its whole run: a tandemoctl run alone waits for it and
  // then names us. A tandemoctl that holds it now is done within a second or two.
  std::optional<linux_platform::MouseLock> mouseLock;
  std::string mouseLockProblem;
  if (!options.screenshots && !options.simulation.enabled) {
    auto lock = linux_platform::MouseLock::acquire(std::chrono::milliseconds(2000));
    if (lock) {
      mouseLock.emplace(std::move(*lock));
    } else {
      mouseLockProblem = linux_platform::describe(lock.error());
    }
  }

  ui::QtMainLoop loop;
  QuitSignals quitSignals;
  std::unique_ptr<Desktop> desktop = makeDesktop(loop);
  auto* simulated = dynamic_cast<sim::SimulatedDesktop*>(desktop.get());
  linux_platform::PosixFileSystem disk;
  sim::MemoryFileSystem memory;  // screenshots show the default settings and save nothing
  FileSystem& files = options.screenshots ? static_cast<FileSystem&>(memory) : disk;
  StateStore store(files, options.stateFile.empty() ? StateStore::defaultLocation()
                                                    : std::filesystem::path(options.stateFile));
  auto controller = std::make_unique<Controller>(desktop->services(loop, store));
  auto* linuxDesktop = dynamic_cast<linux_platform::LinuxDesktop*>(desktop.get());
  if (linuxDesktop) linuxDesktop->start([&c = *controller](const std::string& line) { c.logLine(line); });
  if (!mouseLockProblem.empty()) controller->logLine("Going on without the mouse lock: " + mouseLockProblem);
  // Edits of the settings file by other programs (an editor, tandemoctl run alone) are followed.
  std::optional<linux_platform::FileWatch> settingsWatch;
  if (!options.screenshots) {
    settingsWatch.emplace(
        loop, controller->settingsFile(), [&c = *controller] { c.settingsFileChanged(); },
        [&c = *controller](const std::string& why) { c.logLine("Cannot follow edits of the settings file: " + why); });
  }
  ui::BusService& bus = instance.service();
  if (instance.onBus()) bus.serve(*controller, simulated != nullptr);

  // Every way out: release what the bridge holds, write the pending save, end the event loop.
  std::unique_ptr<ui::TandemoApp> scene;
  std::function<void()> quit = [&c = *controller, quitting = false]() mutable {
    if (std::exchange(quitting, true)) return;
    c.releaseBridge();
    c.flushPendingSave();
    QCoreApplication::quit();
  };
  if (!options.headless) {
    scene = std::make_unique<ui::TandemoApp>(
        *controller, ui::TandemoApp::Options{!options.screenshots, simulated ? &simulated->mouse() : nullptr});
    quit = [&scene] { scene->quit(); };
    QObject::connect(&instance, &ui::SingleInstance::showWindowRequested, scene.get(), &ui::TandemoApp::showWindow);
    QObject::connect(static_cast<QApplication*>(qt.get()), &QApplication::commitDataRequest, scene.get(),
                     [&] { controller->flushPendingSave(); });
  }
  QObject::connect(&bus, &ui::BusService::quitRequested, qt.get(), [&quit] { quit(); });
  quitSignals.watch(loop, [&quit] { quit(); });

  int code = 0;
  if (options.screenshots) {
    QString problem;
    const QStringList written =
        ui::takeScreenshots(*scene, simulated->mouse(), QString::fromStdString(*options.screenshots), problem);
    for (const QString& file : written) std::cout << "tandemo: wrote " << file.toStdString() << '\n';
    if (written.isEmpty()) std::cerr << "tandemo: screenshots failed: " << problem.toStdString() << '\n';
    code = written.isEmpty() ? 1 : 0;
  } else {
    if (scene) scene->start();
    code = QCoreApplication::exec();
  }
  // In this order: the bus interface and the views let go of the controller, whose destructor
  // writes a pending save and stops its threads before the desktop and the loop they use go.
  // The session-bus name goes last, so a successor finds the settings saved and the mouse free.
  bus.detach();
  scene.reset();
  settingsWatch.reset();
  if (linuxDesktop) linuxDesktop->start({});
  controller.reset();
  desktop.reset();
  return code;
}

}  // namespace
}  // namespace tandemo::app

int main(int argc, char** argv) { return tandemo::app::run(argc, argv); }
