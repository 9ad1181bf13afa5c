#include "import/import_host.h"

namespace {

class TDetachedReport : public TImportReport {
 public:
  explicit TDetachedReport(TDetachedImportHost::TReportText& text) : Text_(text) {}
  void Write(const std::string& text) override {
    Text_.Text += text;
    column_ += static_cast<int32_t>(text.size());
  }
  void WriteLn(const std::string& text) override {
    Text_.Text += text;
    Text_.Text += '\n';
    column_ = 1;
  }
  int32_t WhereX() override { return column_; }
  void ClrScr() override {
    Text_.Text.clear();
    column_ = 1;
  }

 private:
  TDetachedImportHost::TReportText& Text_;
  int32_t column_ = 1;
};

TImportHost* Installed = nullptr;

}  // namespace

std::unique_ptr<TImportReport> TDetachedImportHost::OpenReport(const std::string& caption,
                                                               int32_t, int32_t) {
  Reports.push_back({caption, {}});
  return std::make_unique<TDetachedReport>(Reports.back());
}

TDetachedImportHost& DetachedImportHost() {
  static TDetachedImportHost host;
  return host;
}

TImportHost& ImportHost() { return Installed != nullptr ? *Installed : DetachedImportHost(); }

TImportHost* SetImportHost(TImportHost* host) {
  TImportHost* previous = Installed;
  Installed = host;
  return previous;
}
