#include <signal.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <csignal>
#include <utility>
#include <QIcon>
#include <QStringList>
#include <functional>
#include <iostream>
#include <memory>

#include "Options.h"
#include "controller/Desktop.h"
#include "linux/LinuxDesktop.h"
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

constexpr int kQuitSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The write end of the pipe the quit signals' handler writes to. A signal handler reaches only
// process-wide state, so this one descriptor is global.
int quitPipeWrite = -1;

void onQuitSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(quitPipeWrite, &byte, 1);
}

// SIGINT, SIGTERM and SIGHUP quit like "Quit Tandemo" does: the handler wakes the main loop
// through a pipe. (Blocking them for a signalfd instead would leave them blocked in every
// program the app starts.) Returns the read end, or -1.
int handleQuitSignals() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  quitPipeWrite = fds[1];
  struct sigaction action {};
  action.sa_handler = onQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int number : kQuitSignals) sigaction(number, &action, nullptr);
  return fds[0];
}

// Back to the default actions before the pipe closes, so no late signal writes into a reused descriptor.
void stopHandlingQuitSignals(int readEnd) {
  if (readEnd < 0) return;
  for (const int number : kQuitSignals) std::signal(number, SIG_DFL);
  ::close(readEnd);
  ::close(std::exchange(quitPipeWrite, -1));
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
  const MakeDesktop makeDesktop = chooseDesktop(options);
  // Screenshots need no display: they render on the offscreen platform unless told otherwise.
  if (options.screenshots && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

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
  const int quitFd = handleQuitSignals();
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
  auto scene = std::make_unique<ui::TandemoApp>(
      *controller, ui::TandemoApp::Options{!options.screenshots, simulated ? &simulated->mouse() : nullptr});
  QObject::connect(&instance, &ui::SingleInstance::showWindowRequested, scene.get(), &ui::TandemoApp::showWindow);
  QObject::connect(&qt, &QApplication::commitDataRequest, scene.get(), [&] { controller->flushPendingSave(); });
  if (quitFd >= 0) {
    loop.watchReadable(quitFd, [&] {
      char bytes[16];
      while (::read(quitFd, bytes, sizeof bytes) > 0) {
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
  if (linuxDesktop) linuxDesktop->start({});
  controller.reset();
  desktop.reset();
  stopHandlingQuitSignals(quitFd);
  return code;
}

}  // namespace
}  // namespace tandemo::app

int main(int argc, char** argv) { return tandemo::app::run(argc, argv); }
