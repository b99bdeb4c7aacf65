// The Linux program: the Qt application, the platform's ports, the core's desktop and the main
// window, and the ways the program ends (close box, signals, end of the desktop session).
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/platform.h"
#include "app/program_name.h"
#include "frontend/headless/linux_headless.h"
#include "frontend/headless/options.h"
#include "frontend/qt/qt_host.h"
#include "frontend/qt/signal_bridge.h"
#include "frontend/qt/x11_window_manager.h"
#include "process/linux/inherited_signals.h"
#include "process/linux/linux_process.h"
#include "settings/linux/file_checks.h"
#include "settings/linux/file_store.h"
#include "settings/linux/journal_file.h"
#include "settings/one_copy.h"
#include "ui/desktop.h"

int main(int argc, char** argv) {
  // Before anything is launched or any thread exists: whatever started us may have ignored SIGCHLD
  // (no child's exit status would ever be seen) or left SIGPIPE fatal (a report to a logger that went
  // away would end the run before it stored anything).
  process::SetStartupSignals();
  // The name as started, before Qt sees argv: a link or copy under another name has its own section.
  const std::string exe_name = app::ProgramNameFromArgv0(argc > 0 ? argv[0] : "");

  // Our own options come first, and without a display: --help on a server must not need one.
  const headless::Options options =
      headless::ParseOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (!options.error.empty()) {
    std::cerr << "TARNWICK: " << options.error << std::endl;
    return headless::kCouldNotBegin;
  }
  if (options.help) {
    std::cout << headless::Usage(exe_name,
                                 settings::FileStore().SectionFile(settings::kApplication, exe_name).native());
    return 0;
  }
  if (options.version) {
    std::cout << headless::VersionLine() << std::endl;
    return 0;
  }

  // Before any window or display: a second copy of this section ends here, having touched nothing.
  settings::FileStore store;
  const settings::StartUp start = settings::OneCopyPerSection(store, settings::kApplication, exe_name);
  if (!start.say.empty()) settings::Report(start.say);
  if (!start.run) return start.exit_status;
  if (options.headless) return headless::LinuxHeadlessMain(exe_name, options, store);

  QApplication app(argc, argv);
  // The program ends when the core has closed its last window, never because Qt hid one.
  QApplication::setQuitOnLastWindowClosed(false);
  QGuiApplication::setDesktopFileName("tarnwick");

  process::LinuxProcessControl processes;
  ui::Desktop desktop;
  qt_frontend::QtHost host(desktop);
  qt_frontend::X11WindowManager window_manager(host);
  settings::JournalFile journal(settings::JournalFile::StateRootFromEnvironment(), exe_name);
  journal.Line(headless::VersionLine() + " opens: graphical");
  app::Platform platform{processes, store, window_manager, exe_name, &journal};

  // Every outside request to end goes through the main window's close, so unloading stores everything
  // before Qt takes any widget down.
  qt_frontend::SignalBridge signal_bridge([&host](int) { host.CloseTopLevels(); });
  host.FollowSession(app);

  host.OpenTopLevel(std::make_unique<TARNWICK_MAIN>(desktop, platform));
  // Looking the icon up in the theme folders costs several milliseconds of file checks: done once
  // the window is up, it never delays the first painted window.
  QTimer::singleShot(250, &app, [] { QApplication::setWindowIcon(QIcon::fromTheme("tarnwick")); });
  const int rc = QApplication::exec();
  host.CloseTopLevels();
  desktop.CollectClosed();
  journal.Line(headless::VersionLine() + " closes");
  return rc;
}
