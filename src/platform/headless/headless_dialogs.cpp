#include "platform/headless/headless_dialogs.h"

#include <deque>
#include <filesystem>

namespace {

// --- Message boxes ---------------------------------------------------------

struct TBoxAnswer {
  enum TWhat { Box, InputOk, InputCancel } What = Box;
  bool Enter = false;  // a box: the default button, whichever it is
  TModalResult Result = mrNone;
  std::string Value;
};

struct TBoxState {
  std::deque<TBoxAnswer> Queue;
  std::vector<TMessageBoxRecord> Shown;
  std::vector<uint32_t> Beeps;
};

TBoxState& Boxes() {
  static TBoxState state;
  return state;
}

const char* ResultName(TModalResult r) {
  switch (r) {
    case mrNone: return "mrNone";
    case mrOk: return "mrOk";
    case mrCancel: return "mrCancel";
    case mrAbort: return "mrAbort";
    case mrRetry: return "mrRetry";
    case mrIgnore: return "mrIgnore";
    case mrYes: return "mrYes";
    case mrNo: return "mrNo";
    case mrAll: return "mrAll";
  }
  return "unknown result";
}

const char* TypeName(TMsgDlgType t) {
  switch (t) {
    case mtWarning: return "warning";
    case mtError: return "error";
    case mtInformation: return "information";
    case mtConfirmation: return "confirmation";
    case mtCustom: return "message";
  }
  return "message";
}

std::string DescribeBox(const TMessageBoxRequest& r) {
  std::string buttons;
  for (TMsgDlgBtn b : r.Buttons.List()) {
    if (!buttons.empty()) buttons += "/";
    buttons += ButtonCaption(b);
  }
  return std::string(TypeName(r.Type)) + " box \"" + r.Caption + "\" [" + buttons + "]: \"" +
         r.Text + "\"";
}

bool HasButtonFor(TMsgDlgButtons buttons, TModalResult result) {
  for (TMsgDlgBtn b : buttons.List())
    if (ButtonModalResult(b) == result) return true;
  return false;
}

class THeadlessMessageBoxes : public TMessageBoxBackend {
 public:
  TModalResult ShowMessageBox(const TMessageBoxRequest& request) override {
    TBoxState& s = Boxes();
    TMessageBoxRecord rec;
    rec.Kind = TMessageBoxKind::MessageBox;
    rec.Type = request.Type;
    rec.Caption = request.Caption;
    rec.Text = request.Text;
    rec.Buttons = request.Buttons;
    rec.Default = DefaultButton(request);
    s.Shown.push_back(rec);
    const size_t index = s.Shown.size() - 1;

    const bool okOnly = request.Buttons == TMsgDlgButtons(mbOK);
    if (okOnly) {
      if (!s.Queue.empty() && s.Queue.front().What == TBoxAnswer::Box &&
          (s.Queue.front().Result == mrOk || s.Queue.front().Enter))
        s.Queue.pop_front();
      s.Shown[index].Answer = mrOk;
      return mrOk;
    }
    if (s.Queue.empty())
      throw EUnscriptedDialog("no scripted answer for the " + DescribeBox(request));
    TBoxAnswer answer = s.Queue.front();
    if (answer.What != TBoxAnswer::Box)
      throw EUnscriptedDialog("an input box answer was scripted, but the next box is the " +
                              DescribeBox(request));
    if (answer.Enter) answer.Result = ButtonModalResult(s.Shown[index].Default);
    const bool escape = request.EscapeCancels && answer.Result == mrCancel;
    if (!escape && !HasButtonFor(request.Buttons, answer.Result))
      throw EUnscriptedDialog(std::string("scripted answer ") + ResultName(answer.Result) +
                              " has no button on the " + DescribeBox(request));
    s.Queue.pop_front();
    s.Shown[index].Answer = answer.Result;
    return answer.Result;
  }

  bool InputQuery(const std::string& caption, const std::string& prompt,
                  std::string& value) override {
    TBoxState& s = Boxes();
    TMessageBoxRecord rec;
    rec.Kind = TMessageBoxKind::InputBox;
    rec.Caption = caption;
    rec.Text = prompt;
    rec.Proposal = value;
    s.Shown.push_back(rec);
    const size_t index = s.Shown.size() - 1;
    const std::string what = "input box \"" + caption + "\": \"" + prompt + "\"";
    if (s.Queue.empty()) throw EUnscriptedDialog("no scripted answer for the " + what);
    TBoxAnswer answer = s.Queue.front();
    if (answer.What == TBoxAnswer::Box)
      throw EUnscriptedDialog(std::string("scripted box answer ") + ResultName(answer.Result) +
                              " does not answer the " + what);
    s.Queue.pop_front();
    if (answer.What == TBoxAnswer::InputCancel) {
      s.Shown[index].Answer = mrCancel;
      return false;
    }
    s.Shown[index].Answer = mrOk;
    s.Shown[index].Value = answer.Value;
    value = answer.Value;
    return true;
  }

  void Beep(uint32_t type) override { Boxes().Beeps.push_back(type); }
};

// --- Common dialogs --------------------------------------------------------

struct TDialogAnswer {
  enum TWhat { File, FontChoice, Cancel } What = Cancel;
  std::string FileName;
  int FilterIndex = 0;
  TFont Font;
};

struct TDialogState {
  std::deque<TDialogAnswer> Queue;
  std::vector<TCommonDialogRecord> Shown;
};

TDialogState& Dialogs() {
  static TDialogState state;
  return state;
}

const char* KindName(TCommonDialogKind k) {
  switch (k) {
    case TCommonDialogKind::Open: return "open dialog";
    case TCommonDialogKind::Save: return "save dialog";
    case TCommonDialogKind::Font: return "font dialog";
  }
  return "dialog";
}

class THeadlessCommonDialogs : public TCommonDialogBackend {
 public:
  bool ExecuteFileDialog(TOpenDialog& dialog) override {
    TDialogState& s = Dialogs();
    TCommonDialogRecord rec;
    rec.Kind = dialog.Kind() == TFileDialogKind::Save ? TCommonDialogKind::Save
                                                      : TCommonDialogKind::Open;
    rec.Title = dialog.Title;
    rec.InitialDir = dialog.InitialDir;
    rec.FileName = dialog.FileName;
    rec.Filter = dialog.Filter;
    rec.FilterIndex = dialog.FilterIndex;
    rec.Options = dialog.Options;
    s.Shown.push_back(rec);
    const size_t index = s.Shown.size() - 1;
    const std::string what =
        std::string(KindName(rec.Kind)) + " \"" + dialog.Title + "\" (file name \"" +
        dialog.FileName + "\", folder \"" + dialog.InitialDir + "\")";

    if (s.Queue.empty()) throw EUnscriptedDialog("no scripted answer for the " + what);
    TDialogAnswer answer = s.Queue.front();
    if (answer.What == TDialogAnswer::FontChoice)
      throw EUnscriptedDialog("a font was scripted, but the next dialog is the " + what);
    if (answer.What == TDialogAnswer::File && answer.FilterIndex != 0) {
      const int count = static_cast<int>(ParseFilterText(dialog.Filter).size());
      if (answer.FilterIndex < 1 || answer.FilterIndex > count)
        throw EUnscriptedDialog("scripted filter index " + std::to_string(answer.FilterIndex) +
                                " is not among the " + std::to_string(count) +
                                " filters of the " + what);
    }
    s.Queue.pop_front();
    if (answer.What == TDialogAnswer::Cancel) return false;

    std::string name = answer.FileName;
    if (name.find('/') == std::string::npos) {
      std::filesystem::path folder = dialog.InitialDir.empty()
                                         ? std::filesystem::current_path()
                                         : std::filesystem::path(dialog.InitialDir);
      name = (folder / name).string();
    }
    dialog.FileName = name;
    if (answer.FilterIndex != 0) dialog.FilterIndex = answer.FilterIndex;
    s.Shown[index].Accepted = true;
    return true;
  }

  bool ExecuteFontDialog(TFontDialog& dialog) override {
    TDialogState& s = Dialogs();
    TCommonDialogRecord rec;
    rec.Kind = TCommonDialogKind::Font;
    rec.Font = dialog.Font;
    rec.FontOptions = dialog.Options;
    s.Shown.push_back(rec);
    const size_t index = s.Shown.size() - 1;
    const std::string what = "font dialog (font \"" + dialog.Font.Name + "\")";
    if (s.Queue.empty()) throw EUnscriptedDialog("no scripted answer for the " + what);
    TDialogAnswer answer = s.Queue.front();
    if (answer.What == TDialogAnswer::File)
      throw EUnscriptedDialog("a file was scripted, but the next dialog is the " + what);
    s.Queue.pop_front();
    if (answer.What == TDialogAnswer::Cancel) return false;
    dialog.Font = answer.Font;
    s.Shown[index].Accepted = true;
    return true;
  }
};

}  // namespace

void ScriptMessageBoxAnswer(TModalResult answer) {
  TBoxAnswer a;
  a.What = TBoxAnswer::Box;
  a.Result = answer;
  Boxes().Queue.push_back(a);
}

void ScriptMessageBoxEnter() {
  TBoxAnswer a;
  a.What = TBoxAnswer::Box;
  a.Enter = true;
  Boxes().Queue.push_back(a);
}

void ScriptInputBoxAnswer(const std::string& value) {
  TBoxAnswer a;
  a.What = TBoxAnswer::InputOk;
  a.Value = value;
  Boxes().Queue.push_back(a);
}

void ScriptInputBoxCancel() {
  TBoxAnswer a;
  a.What = TBoxAnswer::InputCancel;
  Boxes().Queue.push_back(a);
}

size_t PendingMessageBoxAnswers() { return Boxes().Queue.size(); }
const std::vector<TMessageBoxRecord>& ShownMessageBoxes() { return Boxes().Shown; }
const std::vector<uint32_t>& Beeps() { return Boxes().Beeps; }

void ResetMessageBoxScript() {
  TBoxState& s = Boxes();
  s.Queue.clear();
  s.Shown.clear();
  s.Beeps.clear();
}

void ScriptFileDialogAnswer(const std::string& fileName, int filterIndex) {
  TDialogAnswer a;
  a.What = TDialogAnswer::File;
  a.FileName = fileName;
  a.FilterIndex = filterIndex;
  Dialogs().Queue.push_back(a);
}

void ScriptFontDialogAnswer(const TFont& font) {
  TDialogAnswer a;
  a.What = TDialogAnswer::FontChoice;
  a.Font = font;
  Dialogs().Queue.push_back(a);
}

void ScriptCommonDialogCancel() { Dialogs().Queue.push_back(TDialogAnswer{}); }

size_t PendingCommonDialogAnswers() { return Dialogs().Queue.size(); }
const std::vector<TCommonDialogRecord>& ShownCommonDialogs() { return Dialogs().Shown; }

void ResetCommonDialogScript() {
  Dialogs().Queue.clear();
  Dialogs().Shown.clear();
}

void ResetHeadlessDialogs() {
  ResetMessageBoxScript();
  ResetCommonDialogScript();
}

TMessageBoxBackend& HeadlessMessageBoxBackend() {
  static THeadlessMessageBoxes backend;
  return backend;
}

TCommonDialogBackend& HeadlessCommonDialogBackend() {
  static THeadlessCommonDialogs backend;
  return backend;
}
