// The DNC server window and its two set-up dialogs.
//
// The window owns one link, shows its status lines in a log, lamps for
// carrier, transmit and receive and a progress gauge, and lets the user
// start and stop server mode, choose the port, rate and folders, transmit a
// file to the machine and fetch a program from it.
#pragma once
#include <cstdint>
#include <string>

#include "dnc/dnc_link.h"
#include "platform/forms.h"
#include "platform/menus.h"

// "Select Com Port".
class TcomportForm : public TForm {
 public:
  TcomportForm();
  TRadioGroup& ComPortGroup;
  TRadioGroup& BaudRateGroup;
  TButton& OKButton;
  TButton& CancelButton;
};

// The rates of the baud-rate group, in its order.
inline constexpr int DncBaudTable[9] = {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400};

// The Com Port dialog on a port number (1 = COM1) and a rate: the port shows
// kept within 1..4, a rate outside the table as 9600. On OK both take the
// choice and the answer is true; on Cancel nothing changes.
bool SelectComPort(uint8_t& port, int32_t& baud);

// "DNC Server Configuration".
class TDNCServerConfDialog : public TForm {
 public:
  TDNCServerConfDialog();
  TCheckBox& AllowUploadCheckBox;
  TLabel& UploadLabel;
  TEdit& UploadEdit;
  TLabel& Label1;
  TEdit& DownloadEdit;
  TButton& OKButton;
  TButton& CancelButton;
};

// The configuration dialog on the upload flag and the two folders; OK takes
// the values back (folders cut to 255 characters).
bool ConfigureDncServer(bool& allowUploads, std::string& uploadDir, std::string& downloadDir);

class TDNCServerDialog : public TForm {
 public:
  TDNCServerDialog();
  ~TDNCServerDialog() override;

  TDNC13Link DNC13Link1;
  TMainMenu MainMenu1{"MainMenu1"};
  TMainMenu WorkingMenu{"WorkingMenu"};
  TButton& OKButton;
  TGroupBox& MonitorGroup;
  TPanel& CDPanel;
  TPanel& TXPanel;
  TPanel& RXPanel;
  TFormTimer& Timer1;
  TMemo& Memo1;
  TLabel& ProgressLabel;
  TGauge& ProgressGauge;

  void Exit1Click();
  void Comport1Click();
  void DNCServer1Click();
  void StartServer1Click();
  void StopServer1Click();
  void About1Click();
  void TransmitFile1Click();
  void FetchFile1Click();
  void Timer1Timer();

 private:
  // Gives the link a user command and keeps the messages running until it
  // ended, opening the port for it when the server is stopped.
  void RunUserCommand(const std::string& command);
  // The lamps and the Setup menu follow the link (it closes itself when the
  // port goes away).
  void ShowServerState();
};

// File > DNC Server: the window with the stored DNC settings, inside the
// main window's modal bracket; the settings are saved afterwards.
void RunDncServer();
