#include "dnc/dnc_server.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "foundation/file_utils.h"
#include "foundation/settings_families.h"
#include "model/view_services.h"
#include "platform/common_dialogs.h"
#include "platform/events.h"
#include "platform/message_box.h"

namespace {

// The name without its folders.
std::string WithoutFolders(const std::string& name) {
  const size_t at = name.find_last_of("\\/:");
  return at == std::string::npos ? name : name.substr(at + 1);
}

// A lamp under its caption in the monitor group.
TPanel& Lamp(TGroupBox& group, const std::string& name, const std::string& caption) {
  TPanel& column = group.Add<TPanel>(name + "Column");
  column.SetBevel(bvNone);
  column.Add<TLabel>(name + "Label", caption);
  TPanel& lamp = column.Add<TPanel>(name);
  lamp.SetWidth(8);
  lamp.SetHeight(16);
  lamp.SetColor(clGray);
  return lamp;
}

void ClickHandler(TMenuItem& item, std::function<void()> handler) {
  item.OnClick = [handler = std::move(handler)](TMenuItem&) { handler(); };
}

}  // namespace

// ---------------------------------------------------------------------------
// Com Port dialog

TcomportForm::TcomportForm()
    : TForm("TcomportForm"),
      ComPortGroup(Add<TRadioGroup>("ComPortGroup", "Com Port")),
      BaudRateGroup(Add<TRadioGroup>("BaudRateGroup", "Baud Rate")),
      OKButton(Add<TButton>("OKButton", "OK", mrOk)),
      CancelButton(Add<TButton>("CancelButton", "Cancel", mrCancel)) {
  SetCaption("Select Com Port");
  SetSizeable(false);
  ComPortGroup.SetColumns(4);
  ComPortGroup.SetItems({"&1", "&2", "&3", "&4"});
  BaudRateGroup.SetColumns(3);
  std::vector<std::string> rates;
  for (int rate : DncBaudTable) rates.push_back(std::to_string(rate));
  BaudRateGroup.SetItems(rates);
  OKButton.SetDefault(true);
  CancelButton.SetCancel(true);
}

bool SelectComPort(uint8_t& port, int32_t& baud) {
  TcomportForm form;
  form.ComPortGroup.SetItemIndex(std::clamp<int>(port, 1, 4) - 1);
  const auto* rate = std::find(std::begin(DncBaudTable), std::end(DncBaudTable), baud);
  form.BaudRateGroup.SetItemIndex(rate == std::end(DncBaudTable) ? 6 : int(rate - std::begin(DncBaudTable)));
  if (form.ShowModal() != mrOk) return false;
  port = uint8_t(std::max(0, form.ComPortGroup.ItemIndex()) + 1);
  baud = DncBaudTable[std::clamp(form.BaudRateGroup.ItemIndex(), 0, 8)];
  return true;
}

// ---------------------------------------------------------------------------
// Server configuration dialog

TDNCServerConfDialog::TDNCServerConfDialog()
    : TForm("TDNCServerConfDialog"),
      AllowUploadCheckBox(Add<TCheckBox>("AllowUploadCheckBox", "&Allow Uploads")),
      UploadLabel(Add<TLabel>("UploadLabel", "&Upload Path")),
      UploadEdit(Add<TEdit>("UploadEdit")),
      Label1(Add<TLabel>("Label1", "&Download Path")),
      DownloadEdit(Add<TEdit>("DownloadEdit")),
      OKButton(Add<TButton>("OKButton", "OK", mrOk)),
      CancelButton(Add<TButton>("CancelButton", "Cancel", mrCancel)) {
  SetCaption("DNC Server Configuration");
  SetSizeable(false);
  UploadEdit.SetWidth(300);
  DownloadEdit.SetWidth(300);
  OKButton.SetDefault(true);
  CancelButton.SetCancel(true);
}

bool ConfigureDncServer(bool& allowUploads, std::string& uploadDir, std::string& downloadDir) {
  TDNCServerConfDialog form;
  form.AllowUploadCheckBox.SetChecked(allowUploads);
  form.UploadEdit.SetText(uploadDir);
  form.DownloadEdit.SetText(downloadDir);
  if (form.ShowModal() != mrOk) return false;
  allowUploads = form.AllowUploadCheckBox.Checked();
  uploadDir = form.UploadEdit.Text().substr(0, 255);
  downloadDir = form.DownloadEdit.Text().substr(0, 255);
  return true;
}

// ---------------------------------------------------------------------------
// The server window

TDNCServerDialog::TDNCServerDialog()
    : TForm("TDNCServerDialog"),
      OKButton(Add<TButton>("OKButton", "&Done", mrOk)),
      MonitorGroup(Add<TGroupBox>("MonitorGroup", "Monitor")),
      CDPanel(Lamp(MonitorGroup, "CDPanel", "CD")),
      TXPanel(Lamp(MonitorGroup, "TXPanel", "TX")),
      RXPanel(Lamp(MonitorGroup, "RXPanel", "RX")),
      Timer1(Add<TFormTimer>("Timer1", 500)),
      Memo1(Add<TMemo>("Memo1")),
      ProgressLabel(Add<TLabel>("ProgressLabel", "File Transfer Progress")),
      ProgressGauge(Add<TGauge>("ProgressGauge")) {
  SetCaption("DNC Server");
  SetSizeable(true);
  SetClientSize(352, 254);
  SetSizeable(false);
  OKButton.SetDefault(true);
  OKButton.SetAlign(alBottom);

  TMenuItem& file = MainMenu1.Add("&File", "File1");
  ClickHandler(file.Add("&Transmit File", "TransmitFile1"), [this] { TransmitFile1Click(); });
  ClickHandler(file.Add("&Fetch File", "FetchFile1"), [this] { FetchFile1Click(); });
  file.AddSeparator();
  ClickHandler(file.Add("E&xit", "Exit1"), [this] { Exit1Click(); });
  TMenuItem& setup = MainMenu1.Add("&Setup", "Setup1");
  ClickHandler(setup.Add("&Com port", "Comport1"), [this] { Comport1Click(); });
  ClickHandler(setup.Add("&DNC Server", "DNCServer1"), [this] { DNCServer1Click(); });
  TMenuItem& server = MainMenu1.Add("Serve&r", "Server1");
  ClickHandler(server.Add("&Start Server", "StartServer1"), [this] { StartServer1Click(); });
  ClickHandler(server.Add("Sto&p Server", "StopServer1"), [this] { StopServer1Click(); });
  TMenuItem& help = MainMenu1.Add("&Help", "Help1");
  ClickHandler(help.Add("&About", "About1"), [this] { About1Click(); });
  WorkingMenu.Add("Working...", "Working1");
  SetMenu(&MainMenu1);

  MonitorGroup.SetFlow(TFlow::Horizontal);
  Memo1.SetReadOnly(true);
  Memo1.SetScrollBars(true);
  Memo1.SetAlign(alClient);
  Memo1.SetLines({""});
  ProgressLabel.SetVisible(false);
  ProgressGauge.SetVisible(false);
  Timer1.OnTimer = [this](TControl&) { Timer1Timer(); };

  DNC13Link1.AcceptCmds = true;
  DNC13Link1.SetComPortBaud(0);
  DNC13Link1.OnPktSentMsg = [this](TDNC13Link&) { TXPanel.SetColor(clRed); };
  DNC13Link1.OnPktRcvdMsg = [this](TDNC13Link&) { RXPanel.SetColor(clRed); };
  DNC13Link1.OnProgressMsg = [this](TDNC13Link& link) {
    if (link.Progress() == 0) return;
    ProgressGauge.SetVisible(true);
    ProgressLabel.SetVisible(true);
    ProgressGauge.SetProgress(link.Progress());
  };
  DNC13Link1.OnTaskDone = [this](TDNC13Link&) {
    ProgressGauge.SetVisible(false);
    ProgressLabel.SetVisible(false);
  };
  DNC13Link1.OnTaskFailed = [this](TDNC13Link&) { ShowServerState(); };
  DNC13Link1.OnStatusMsg = [this](TDNC13Link& link) {
    if (!link.Message().empty()) Memo1.AddLine(link.Message());
  };
}

TDNCServerDialog::~TDNCServerDialog() {
  SetMenu(nullptr);
  DNC13Link1.OnStatusMsg = nullptr;
  DNC13Link1.OnTaskFailed = nullptr;
  DNC13Link1.SetEnabled(false);
}

void TDNCServerDialog::ShowServerState() {
  const bool running = DNC13Link1.Enabled();
  CDPanel.SetColor(running ? clLime : clGray);
  if (TMenuItem* setup = MainMenu1.FindItem("Setup1")) setup->SetEnabled(!running);
}

void TDNCServerDialog::Exit1Click() { SetModalResult(mrOk); }

void TDNCServerDialog::Comport1Click() {
  SelectComPort(ComPort, BaudRate);
  // The server is stopped here (Setup is disabled while it runs), so both the
  // port and the rate reach the link at once.
  DNC13Link1.SetComPortName("COM" + std::to_string(ComPort));
  DNC13Link1.SetComPortBaud(BaudRate);
}

void TDNCServerDialog::DNCServer1Click() {
  ConfigureDncServer(AllowUploads, DNCUploadDirectory, DNCDownloadDirectory);
  DNC13Link1.UploadDir = DNCUploadDirectory;
  DNC13Link1.DownloadDir = DNCDownloadDirectory;
  DNC13Link1.AllowUploads = AllowUploads;
}

void TDNCServerDialog::StartServer1Click() {
  try {
    DNC13Link1.SetEnabled(true);
  } catch (const EDncPortError& e) {
    // The reason goes to the log, where the user reads the link's reports.
    Memo1.AddLine(e.what());
    MessageDlg("Failure starting specified COM port", mtError, mbOKOnly);
    return;
  }
  ShowServerState();
}

void TDNCServerDialog::StopServer1Click() {
  DNC13Link1.SetEnabled(false);
  ShowServerState();
}

void TDNCServerDialog::About1Click() {
  MessageDlg("KORVEX 6 DNC Single Node Server", mtInformation, mbOKOnly);
}

void TDNCServerDialog::Timer1Timer() {
  TXPanel.SetColor(clGray);
  RXPanel.SetColor(clGray);
}

void TDNCServerDialog::RunUserCommand(const std::string& command) {
  const bool opened = !DNC13Link1.Enabled();
  if (opened) StartServer1Click();
  if (!DNC13Link1.Enabled()) return;
  DNC13Link1.ExecuteUserCommand(command);
  SetMenu(&WorkingMenu);
  while (DNC13Link1.DNCCommandProcessing()) {
    const uint32_t before = GetTickCount();
    ProcessMessages();
    // Nothing was due: give the processor back until the next tick.
    if (GetTickCount() == before) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  SetMenu(&MainMenu1);
  if (opened && DNC13Link1.Enabled()) StopServer1Click();
  ShowServerState();
}

void TDNCServerDialog::TransmitFile1Click() {
  TOpenDialog open;
  open.Title = "Select file to transmit";
  open.FileName = "*.*";
  if (DirectoryExists(DNCDownloadDirectory)) open.InitialDir = DNCDownloadDirectory;
  if (!open.Execute()) return;
  std::string remote = WithoutFolders(open.FileName);
  if (!InputQuery("Select remote file name", "file name", remote)) return;
  if (!FileExistsNoWild(open.FileName)) return;
  RunUserCommand("COPY," + open.FileName + ",XM(" + remote + ")");
}

void TDNCServerDialog::FetchFile1Click() {
  std::string remote;
  if (!InputQuery("Select remote file name", "file name", remote)) return;
  TSaveDialog save;
  save.Title = "save fetched file as";
  save.FileName = WithoutFolders(remote);
  if (DirectoryIsWritable(DNCUploadDirectory)) save.InitialDir = DNCUploadDirectory;
  if (!save.Execute()) return;
  // The link refuses a PC file that exists, so none is overwritten.
  RunUserCommand("COPY,XM(" + remote + ")," + save.FileName);
}

void RunDncServer() {
  LoadDncSettings();
  {
    TDNCServerDialog dialog;
    dialog.DNC13Link1.SetComPortName("\\\\.\\COM" + std::to_string(ComPort));
    dialog.DNC13Link1.SetComPortBaud(BaudRate);
    dialog.DNC13Link1.UploadDir = DNCUploadDirectory;
    dialog.DNC13Link1.DownloadDir = DNCDownloadDirectory;
    dialog.DNC13Link1.AllowUploads = AllowUploads;
    TModalBracket bracket;
    dialog.ShowModal();
  }
  SaveDncSettings();
}
