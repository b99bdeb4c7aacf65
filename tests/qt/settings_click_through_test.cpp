// Setting up a run through the real widgets: Settings, the node-programs window, a typed command
// line, Save, Close, Close; the store file and the main window's holder both hold what was typed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/main_window.h"
#include "fake_processes.h"
#include "frontend/qt/qt_host.h"
#include "settings/file_store.h"
#include "settings/qt_daemon_cli_settings.h"
#include "ui/window_manager.h"

namespace {

QWidget* Find(QWidget* window, const std::string& name) {
  return window->findChild<QWidget*>(QString::fromStdString(name), Qt::FindDirectChildrenOnly);
}

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(SettingsClickThrough, ACommandLineTypedAndSavedReachesTheStoreFileAndTheMainWindow) {
  const auto root = std::filesystem::temp_directory_path() / ("tarnwick-click-" + std::to_string(::getpid()));
  std::filesystem::remove_all(root);
  {
    settings::FileStore store(root);
    fakes::FakeProcesses processes;
    ui::NoWindowManager wm;
    app::Platform platform{processes, store, wm, "TARNWICK-CLICK"};
    ui::Desktop desktop;
    qtfe::QtHost host(desktop);
    auto& main = static_cast<TARNWICK_MAIN&>(host.OpenTopLevel(std::make_unique<TARNWICK_MAIN>(desktop, platform)));

    static_cast<QPushButton*>(Find(host.WidgetOf(main), "SETTINGS_BUTTON"))->click();
    ui::Form& hub = *desktop.open_forms().back();
    static_cast<QPushButton*>(Find(host.WidgetOf(hub), "QT_DAEMON_CLI_BUTTON"))->click();
    auto& nodes = dynamic_cast<TARNWICK_QT_DAEMON_CLI_SETTINGS&>(*desktop.open_forms().back());
    QWidget* window = host.WidgetOf(nodes);

    const QString typed = QString::fromUtf8("/opt/My Node/bin/node-qt -datadir=\"/srv/blöcke, alt\" -x\\y");
    auto* box = static_cast<QLineEdit*>(Find(window, "QT_RUN_CMD_TEXTBOX"));
    box->setFocus();
    for (QChar ch : typed) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(box, &press);
    }
    auto* cancel = static_cast<QPushButton*>(Find(window, "CANCEL_BUTTON"));
    static_cast<QPushButton*>(Find(window, "SAVE_BUTTON"))->click();
    EXPECT_EQ(cancel->text(), "Close");
    cancel->click();  // Close
    EXPECT_EQ(desktop.open_forms().size(), 2u);
    static_cast<QPushButton*>(Find(host.WidgetOf(hub), "CLOSE_BUTTON"))->click();
    EXPECT_EQ(desktop.open_forms().size(), 1u);

    EXPECT_EQ(main.QT_FULL_RUN_CMD_TEXTBOX.text(), typed.toStdString());
    const std::string file = ReadFile(root / "TARNWICK" / "TARNWICK-CLICK.conf");
    EXPECT_NE(file.find("\nQT_FULL_RUN_CMD_TEXTBOX=" + typed.toStdString() + "\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\nQT_RUN_CMD_TEXTBOX=" + typed.toStdString() + "\n"), std::string::npos) << file;
    host.CloseTopLevels();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  settings::FileStore again(root);
  EXPECT_EQ(again.GetSetting("TARNWICK", "TARNWICK-CLICK", "QT_FULL_RUN_CMD_TEXTBOX", ""),
            "/opt/My Node/bin/node-qt -datadir=\"/srv/blöcke, alt\" -x\\y");
  std::filesystem::remove_all(root);
}

}  // namespace
