#pragma once

#include <QWidget>

#include <array>

class QGroupBox;
class QLabel;
class QPushButton;

namespace tarvex {

class MessageService;
class SystemInfoLauncher;
class SystemNames;

// The About box: title and version, the user's and the computer's names, two author lines, and a
// button that starts the desktop's system-information tool. Modeless; OK closes and destroys it.
class FrmAbout final : public QWidget {
 public:
  // The services may be null: no names are known, no tool can be started.
  FrmAbout(const SystemNames* names, SystemInfoLauncher* sysinfo, MessageService* messages,
           QWidget* parent = nullptr);

  QLabel* lblTitle = nullptr;
  QLabel* picIcon = nullptr;
  QGroupBox* Frame1 = nullptr;
  std::array<QLabel*, 2> Label1{};  // user line, computer line
  std::array<QLabel*, 2> Label2{};  // author lines
  QPushButton* cmdOK = nullptr;
  QPushButton* cmdSysInfo = nullptr;

  void Form_Load();
  void cmdOK_Click();
  void cmdSysInfo_Click();
  // Starts the system-information tool, or says that it cannot be used.
  void StartSysInfo();

 private:
  const SystemNames* names_;
  SystemInfoLauncher* sysinfo_;
  MessageService* messages_;
};

}  // namespace tarvex
