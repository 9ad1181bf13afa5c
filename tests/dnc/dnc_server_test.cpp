#include "dnc/dnc_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dnc_machine.h"
#include "foundation/settings_families.h"
#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/registry.h"

namespace fs = std::filesystem;

namespace {

void MapComPort(int number, const std::string& device) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Orbenwright\\KORVEX\\6.0\\Serial Ports", true));
  ASSERT_TRUE(reg.WriteString("COM" + std::to_string(number), device));
}

TMenuItem& Item(TForm& form, const std::string& name) {
  TMenuItem* item = form.Menu()->FindItem(name);
  if (!item) throw std::runtime_error("no menu item " + name);
  return *item;
}

bool HasLine(const TMemo& memo, const std::string& line) {
  for (const std::string& l : memo.Lines())
    if (l == line) return true;
  return false;
}

}  // namespace

class TDncServerTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetModalScripts();
    ResetMessageBoxScript();
    Upload = TempDir / "up";
    Download = TempDir / "down";
    fs::create_directories(Upload);
    fs::create_directories(Download);
    // The machine answers while the window waits for a transfer.
    HeadlessSetProcessMessagesHook([this] {
      Machine.Pump();
      HeadlessAdvanceTime(20);
    });
  }
  void TearDown() override {
    HeadlessSetProcessMessagesHook({});
    ResetModalScripts();
    TKorvexTest::TearDown();
  }
  // Stored settings the window starts from.
  void StoreSettings(uint8_t port, int32_t baud) {
    LoadDncSettings();
    ComPort = port;
    BaudRate = baud;
    AllowUploads = true;
    DNCUploadDirectory = Upload.string() + "/";
    DNCDownloadDirectory = Download.string() + "/";
    SaveDncSettings();
  }

  TDncMachine Machine;
  fs::path Upload, Download;
};

TEST_F(TDncServerTest, TheComPortDialogKeepsStoredValuesInItsRangeAndCancelChangesNothing) {
  struct TCase {
    uint8_t Port;
    int32_t Baud;
    int ShownPort, ShownBaud;
  };
  for (const TCase c : {TCase{0, 110, 0, 0}, TCase{7, 14400, 3, 6}, TCase{2, 38400, 1, 8}}) {
    QueueModalScript("TcomportForm", [&](TForm& f) {
      EXPECT_EQ(f.Caption(), "Select Com Port");
      EXPECT_EQ(f.Get<TRadioGroup>("ComPortGroup").ItemIndex(), c.ShownPort);
      EXPECT_EQ(f.Get<TRadioGroup>("BaudRateGroup").ItemIndex(), c.ShownBaud);
      f.Click("CancelButton");
    });
    uint8_t port = c.Port;
    int32_t baud = c.Baud;
    EXPECT_FALSE(SelectComPort(port, baud));
    EXPECT_EQ(port, c.Port);
    EXPECT_EQ(baud, c.Baud);
  }
  QueueModalScript("TcomportForm", [](TForm& f) {
    f.Get<TRadioGroup>("ComPortGroup").ClickItem(2);
    f.Get<TRadioGroup>("BaudRateGroup").ClickItem(7);
    f.Click("OKButton");
  });
  uint8_t port = 0;
  int32_t baud = 0;
  EXPECT_TRUE(SelectComPort(port, baud));
  EXPECT_EQ(port, 3);
  EXPECT_EQ(baud, 19200);

  QueueModalScript("TDNCServerConfDialog", [](TForm& f) {
    EXPECT_EQ(f.Get<TEdit>("UploadEdit").Text(), "/up");
    EXPECT_TRUE(f.Get<TCheckBox>("AllowUploadCheckBox").Checked());
    f.Click("AllowUploadCheckBox");
    f.Get<TEdit>("DownloadEdit").SetText(std::string(300, 'd'));
    f.Click("OKButton");
  });
  bool allow = true;
  std::string up = "/up", down = "/down";
  EXPECT_TRUE(ConfigureDncServer(allow, up, down));
  EXPECT_FALSE(allow);
  EXPECT_EQ(up, "/up");
  EXPECT_EQ(down, std::string(255, 'd'));
}

TEST_F(TDncServerTest, TheWindowTransmitsAndFetchesOverTheStoredPortAndLogsTheLink) {
  MapComPort(2, Machine.Path);
  StoreSettings(2, 9600);
  WriteFileBytes(Download / "PANEL.DRL", "%\r\nT1\r\nX1Y1\r\nM30\r\n");
  Machine.Programs["O7"] = {"%", "X2Y2", "M30"};

  RegisterModalScript("TDNCServerDialog", [&](TForm& form) {
    auto& dialog = dynamic_cast<TDNCServerDialog&>(form);
    EXPECT_EQ(dialog.DNC13Link1.ComPortName(), "\\\\.\\COM2");
    EXPECT_EQ(dialog.Memo1.Lines(), std::vector<std::string>{""});
    EXPECT_FALSE(dialog.ProgressGauge.Visible());

    // Transmit while the server is stopped: the port opens for the transfer
    // and closes again.
    ScriptFileDialogAnswer((Download / "PANEL.DRL").string());
    ScriptInputBoxAnswer("P100");
    std::vector<std::string> menus;
    dialog.DNC13Link1.OnPktSentMsg = [&](TDNC13Link&) { menus.push_back(form.Menu()->Name()); };
    Item(form, "TransmitFile1").Click();
    EXPECT_EQ(Machine.Programs["P100"], (std::vector<std::string>{"%", "T1", "X1Y1", "M30"}));
    ASSERT_FALSE(menus.empty());
    EXPECT_EQ(menus.front(), "WorkingMenu");
    EXPECT_EQ(form.Menu(), &dialog.MainMenu1);
    EXPECT_FALSE(dialog.DNC13Link1.Enabled());
    EXPECT_TRUE(HasLine(dialog.Memo1, "DNC Send <" + (Download / "PANEL.DRL").string() + "> transfer completed"));
    const TCommonDialogRecord& open = ShownCommonDialogs().back();
    EXPECT_EQ(open.Title, "Select file to transmit");
    EXPECT_EQ(open.FileName, "*.*");
    EXPECT_EQ(open.InitialDir, Download.string() + "/");
    EXPECT_EQ(ShownMessageBoxes().back().Proposal, "PANEL.DRL");

    // Start the server, then fetch a program into the upload folder.
    Item(form, "StartServer1").Click();
    EXPECT_TRUE(dialog.DNC13Link1.Enabled());
    EXPECT_EQ(dialog.CDPanel.Color(), clLime);
    EXPECT_FALSE(Item(form, "Setup1").Enabled());
    ScriptInputBoxAnswer("O7");
    ScriptFileDialogAnswer((Upload / "o7.nc").string());
    Item(form, "FetchFile1").Click();
    EXPECT_EQ(ReadFileBytes(Upload / "o7.nc"), "%\r\nX2Y2\r\nM30\r\n");
    EXPECT_EQ(ShownCommonDialogs().back().Title, "save fetched file as");
    EXPECT_EQ(ShownCommonDialogs().back().FileName, "O7");
    EXPECT_TRUE(dialog.DNC13Link1.Enabled());  // it was running before
    EXPECT_EQ(dialog.RXPanel.Color(), clRed);
    HeadlessAdvanceTime(600);
    EXPECT_EQ(dialog.RXPanel.Color(), clGray);

    // The machine's own upload lands in the upload folder.
    Machine.Upload("FROMCNC", {"X9Y9"});
    for (int i = 0; i < 400; ++i) ProcessMessages();
    EXPECT_EQ(ReadFileBytes(Upload / "FROMCNC"), "X9Y9\r\n");

    Item(form, "StopServer1").Click();
    EXPECT_EQ(dialog.CDPanel.Color(), clGray);
    EXPECT_TRUE(Item(form, "Setup1").Enabled());
    Item(form, "Exit1").Click();
  });
  RunDncServer();
  EXPECT_EQ(ModalFormsShown(), std::vector<std::string>{"TDNCServerDialog"});
}

TEST_F(TDncServerTest, SetupReachesTheLinkAndAPortThatFailsIsReportedClearly) {
  MapComPort(3, (TempDir / "no-such-device").string());
  MapComPort(4, Machine.Path);
  StoreSettings(1, 9600);
  RegisterModalScript("TDNCServerDialog", [&](TForm& form) {
    auto& dialog = dynamic_cast<TDNCServerDialog&>(form);
    // Port 3 at 2400: both reach the link.
    QueueModalScript("TcomportForm", [](TForm& f) {
      f.Get<TRadioGroup>("ComPortGroup").ClickItem(2);
      f.Get<TRadioGroup>("BaudRateGroup").ClickItem(4);
      f.Click("OKButton");
    });
    Item(form, "Comport1").Click();
    EXPECT_EQ(dialog.DNC13Link1.ComPortName(), "COM3");
    EXPECT_EQ(dialog.DNC13Link1.ComPortBaud(), 2400);

    Item(form, "StartServer1").Click();
    EXPECT_FALSE(dialog.DNC13Link1.Enabled());
    EXPECT_EQ(ShownMessageBoxes().back().Text, "Failure starting specified COM port");
    EXPECT_EQ(ShownMessageBoxes().back().Type, mtError);
    EXPECT_EQ(dialog.Memo1.Lines().back(), "No such port or directory");
    EXPECT_EQ(dialog.CDPanel.Color(), clGray);

    // A transmit on a port that fails to open sends nothing and leaves the
    // window usable.
    ScriptFileDialogAnswer((Download / "X.NC").string());
    ScriptInputBoxAnswer("X");
    WriteFileBytes(Download / "X.NC", "X1\r\n");
    Item(form, "TransmitFile1").Click();
    EXPECT_EQ(form.Menu(), &dialog.MainMenu1);
    EXPECT_TRUE(Machine.Programs.empty());

    QueueModalScript("TcomportForm", [](TForm& f) {
      f.Get<TRadioGroup>("ComPortGroup").ClickItem(3);
      f.Click("OKButton");
    });
    Item(form, "Comport1").Click();
    QueueModalScript("TDNCServerConfDialog", [&](TForm& f) {
      f.Get<TEdit>("UploadEdit").SetText((TempDir / "elsewhere").string());
      f.Click("OKButton");
    });
    fs::create_directories(TempDir / "elsewhere");
    Item(form, "DNCServer1").Click();
    EXPECT_EQ(dialog.DNC13Link1.UploadDir, (TempDir / "elsewhere").string());
    Item(form, "StartServer1").Click();
    EXPECT_TRUE(dialog.DNC13Link1.Enabled());

    // The port goes away under a running server.
    Machine.HangUp();
    for (int i = 0; i < 10; ++i) ProcessMessages();
    EXPECT_FALSE(dialog.DNC13Link1.Enabled());
    EXPECT_EQ(dialog.CDPanel.Color(), clGray);
    EXPECT_EQ(dialog.Memo1.Lines().back().rfind("DNC Port error : ", 0), 0u);

    Item(form, "About1").Click();
    EXPECT_EQ(ShownMessageBoxes().back().Text, "KORVEX 6 DNC Single Node Server");
    form.Click("OKButton");
  });
  RunDncServer();
  // The choices were kept.
  ComPort = 0;
  BaudRate = 0;
  LoadDncSettings();
  EXPECT_EQ(ComPort, 4);
  EXPECT_EQ(BaudRate, 2400);
  EXPECT_EQ(DNCUploadDirectory, (TempDir / "elsewhere").string());
}
