// What the importers use of the main window: the modal bracket, the
// please-wait box and cursor, the report window, the view's update lock and
// repaint, the displayed-layer bits, the file viewer and the job name.
//
// The main window installs its side at start-up; until then a detached host
// keeps what the window would show (the report lines, the layers shown), so
// the importers run and can be tested with no window.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

// A report window: a text console of a given size.
class TImportReport {
 public:
  virtual ~TImportReport() = default;
  virtual void Write(const std::string& text) = 0;
  virtual void WriteLn(const std::string& text = "") = 0;
  // 1-based cursor column.
  virtual int32_t WhereX() = 0;
  virtual void ClrScr() = 0;
};

class TImportHost {
 public:
  virtual ~TImportHost() = default;
  virtual void BeginModal() = 0;
  virtual void EndModal() = 0;
  virtual void ShowPleaseWait(const std::string& text) = 0;
  virtual void HidePleaseWait() = 0;
  virtual void SetBusyCursor(bool busy) = 0;
  // A report window with the caption, sized to columns x rows.
  virtual std::unique_ptr<TImportReport> OpenReport(const std::string& caption, int32_t columns,
                                                    int32_t rows) = 0;
  // Sets the bit of the CAD layer (0..29) in the displayed-layer mask.
  virtual void ShowCadLayer(uint8_t layer) = 0;
  // Shows what was drawn since the last update.
  virtual void UpdateView() = 0;
  // Whole working area; update lock on and off.
  virtual void ZoomAll() = 0;
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  // Names the job after the imported file when it has no name yet, and
  // refreshes the caption.
  virtual void NameJobAfter(const std::string& bareFileName) = 0;
  // The file read-only in the viewer.
  virtual void ViewFile(const std::string& fileName) = 0;
};

// The host without a window.
class TDetachedImportHost : public TImportHost {
 public:
  void BeginModal() override { ++ModalDepth; }
  void EndModal() override { --ModalDepth; }
  void ShowPleaseWait(const std::string& text) override { PleaseWait.push_back(text); }
  void HidePleaseWait() override {}
  void SetBusyCursor(bool) override {}
  std::unique_ptr<TImportReport> OpenReport(const std::string& caption, int32_t columns,
                                            int32_t rows) override;
  void ShowCadLayer(uint8_t layer) override {
    if (layer < 30) ShownLayers |= 1u << layer;
  }
  void UpdateView() override {}
  void ZoomAll() override {}
  void BeginUpdate() override {}
  void EndUpdate() override {}
  void NameJobAfter(const std::string& bareFileName) override { JobName = bareFileName; }
  void ViewFile(const std::string& fileName) override { Viewed.push_back(fileName); }

  int32_t ModalDepth = 0;
  uint32_t ShownLayers = 0;
  std::string JobName;
  std::vector<std::string> PleaseWait;
  std::vector<std::string> Viewed;
  // Caption and text of every report window opened, the last one last
  // (of a long report, its last megabyte or more).
  struct TReportText {
    std::string Caption;
    std::string Text;
  };
  std::deque<TReportText> Reports;
};

TImportHost& ImportHost();
// Installs the host (null: the detached one); answers the previous one.
TImportHost* SetImportHost(TImportHost* host);
// The detached host (tests read what it kept).
TDetachedImportHost& DetachedImportHost();

// The modal bracket of the host for the guard's lifetime.
class TImportModal {
 public:
  TImportModal() { ImportHost().BeginModal(); }
  ~TImportModal() { ImportHost().EndModal(); }
  TImportModal(const TImportModal&) = delete;
  TImportModal& operator=(const TImportModal&) = delete;
};
