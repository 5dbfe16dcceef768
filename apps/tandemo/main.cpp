#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QStringList>
#include <functional>
#include <iostream>
#include <memory>

#include "Options.h"
#include "controller/Desktop.h"
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
// the real one. Nothing when there is none; `error` then says why.
MakeDesktop chooseDesktop(const AppOptions& options, std::string& error) {
  if (options.screenshots) return [](MainLoop& loop) { return simulatedDesktop(loop, Simulation{}); };
  if (options.simulation.enabled) {
    return [simulation = options.simulation](MainLoop& loop) { return simulatedDesktop(loop, simulation); };
  }
  error = "no device backend is built yet; use --simulate";
  return {};
}

// SIGINT, SIGTERM and SIGHUP quit like "Quit Tandemo" does. Blocked before any thread starts,
// so every thread leaves them to the descriptor the main loop watches.
int blockQuitSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, number);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  return ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

// Desktops name their icon theme; where the platform names none (offscreen, a bare X server) the
// freedesktop folders are searched with the standard theme, and Adwaita fills the gaps.
void useIconTheme() {
  QIcon::setFallbackThemeName("Adwaita");
  if (!QIcon::themeName().isEmpty()) return;
  QStringList paths = QIcon::themeSearchPaths();
  const QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
  for (const QString& dir : dataDirs.split(':', Qt::SkipEmptyParts)) paths << dir + "/icons";
  QIcon::setThemeSearchPaths(paths);
  QIcon::setThemeName("hicolor");
}

int run(int argc, char** argv) {
  const auto parsed = parseOptions(argc, argv);
  if (const int* code = std::get_if<int>(&parsed)) return *code;
  const AppOptions& options = std::get<AppOptions>(parsed);
  std::string error;
  const MakeDesktop makeDesktop = chooseDesktop(options, error);
  if (!makeDesktop) {
    std::cerr << "tandemo: " << error << '\n';
    return 3;
  }
  // Screenshots need no display: they render on the offscreen platform unless told otherwise.
  if (options.screenshots && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const int quitFd = blockQuitSignals();

  QApplication qt(argc, argv);
  QApplication::setApplicationName("Tandemo");
  QApplication::setDesktopFileName("org.tandemo.Tandemo");
  useIconTheme();

  ui::SingleInstance instance;
  if (!options.screenshots) {
    switch (instance.claim()) {
      case ui::SingleInstance::Claim::first: break;
      case ui::SingleInstance::Claim::shownOther: return 0;
      case ui::SingleInstance::Claim::otherRunning:
        std::cerr << "tandemo: another instance is already running in this session\n";
        return 1;
    }
  }

  ui::QtMainLoop loop;
  std::unique_ptr<Desktop> desktop = makeDesktop(loop);
  auto* simulated = dynamic_cast<sim::SimulatedDesktop*>(desktop.get());
  linux_platform::PosixFileSystem disk;
  sim::MemoryFileSystem memory;  // screenshots show the default settings and save nothing
  FileSystem& files = options.screenshots ? static_cast<FileSystem&>(memory) : disk;
  StateStore store(files, options.stateFile.empty() ? StateStore::defaultLocation()
                                                    : std::filesystem::path(options.stateFile));
  auto controller = std::make_unique<Controller>(desktop->services(loop, store));
  auto scene = std::make_unique<ui::TandemoApp>(
      *controller, ui::TandemoApp::Options{!options.screenshots, simulated ? &simulated->mouse() : nullptr});
  QObject::connect(&instance, &ui::SingleInstance::showWindowRequested, scene.get(), &ui::TandemoApp::showWindow);
  QObject::connect(&qt, &QApplication::commitDataRequest, scene.get(), [&] { controller->flushPendingSave(); });
  if (quitFd >= 0) {
    loop.watchReadable(quitFd, [&] {
      signalfd_siginfo info{};
      while (::read(quitFd, &info, sizeof info) == sizeof info) {
      }
      scene->quit();
    });
  }

  int code = 0;
  if (options.screenshots) {
    QString problem;
    const QStringList written =
        ui::takeScreenshots(*scene, simulated->mouse(), QString::fromStdString(*options.screenshots), problem);
    for (const QString& file : written) std::cout << "tandemo: wrote " << file.toStdString() << '\n';
    if (written.isEmpty()) std::cerr << "tandemo: screenshots failed: " << problem.toStdString() << '\n';
    code = written.isEmpty() ? 1 : 0;
  } else {
    scene->start();
    code = QApplication::exec();
  }
  // In this order: the views let go of the controller, whose destructor writes a pending save
  // and stops its threads before the desktop and the loop they use go.
  scene.reset();
  controller.reset();
  desktop.reset();
  if (quitFd >= 0) ::close(quitFd);
  return code;
}

}  // namespace
}  // namespace tandemo::app

int main(int argc, char** argv) { return tandemo::app::run(argc, argv); }
