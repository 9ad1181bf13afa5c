#include "platform/message_box.h"

#include <stdexcept>

#include "platform/headless/headless_dialogs.h"

const char* const ApplicationTitle = "KORVEX 6";

namespace {

constexpr TMsgDlgBtn kAllButtons[] = {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll};

TMessageBoxBackend* g_backend = nullptr;

}  // namespace

std::vector<TMsgDlgBtn> TMsgDlgButtons::List() const {
  std::vector<TMsgDlgBtn> out;
  for (TMsgDlgBtn b : kAllButtons)
    if (Has(b)) out.push_back(b);
  return out;
}

TModalResult ButtonModalResult(TMsgDlgBtn b) {
  switch (b) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
  }
  return mrNone;
}

std::string ButtonCaption(TMsgDlgBtn b) {
  switch (b) {
    case mbYes: return "&Yes";
    case mbNo: return "&No";
    case mbOK: return "OK";
    case mbCancel: return "Cancel";
    case mbAbort: return "&Abort";
    case mbRetry: return "&Retry";
    case mbIgnore: return "&Ignore";
    case mbAll: return "&All";
  }
  return "";
}

std::string DefaultMessageCaption(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return "Warning";
    case mtError: return "Error";
    case mtInformation: return "Information";
    case mtConfirmation: return "Confirm";
    case mtCustom: return ApplicationTitle;
  }
  return ApplicationTitle;
}

TMsgDlgBtn DefaultButton(TMsgDlgButtons buttons) {
  if (buttons.Has(mbOK)) return mbOK;
  if (buttons.Has(mbYes)) return mbYes;
  std::vector<TMsgDlgBtn> list = buttons.List();
  return list.empty() ? mbOK : list.front();
}

TMsgDlgBtn DefaultButton(const TMessageBoxRequest& request) {
  if (request.NoIsDefault && request.Buttons.Has(mbNo)) return mbNo;
  return DefaultButton(request.Buttons);
}

bool EscapeButton(TMsgDlgButtons buttons, TMsgDlgBtn& out) {
  if (buttons.Has(mbCancel)) {
    out = mbCancel;
    return true;
  }
  if (buttons.Has(mbNo)) {
    out = mbNo;
    return true;
  }
  std::vector<TMsgDlgBtn> list = buttons.List();
  if (list.size() == 1) {
    out = list.front();
    return true;
  }
  return false;
}

std::string MessageDisplayText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '&') {
      // "&&" shows one "&"; a lone "&" would only underline the next letter.
      if (i + 1 < text.size() && text[i + 1] == '&') {
        out += '&';
        ++i;
      }
    } else if (c == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

TMessageBoxBackend* SetMessageBoxBackend(TMessageBoxBackend* backend) {
  TMessageBoxBackend* previous = g_backend;
  g_backend = backend;
  return previous;
}

TMessageBoxBackend& MessageBoxBackend() {
  return g_backend ? *g_backend : HeadlessMessageBoxBackend();
}

TModalResult MessageDlgCaption(const std::string& caption, const std::string& text,
                               TMsgDlgType type, TMsgDlgButtons buttons) {
  if (buttons.Empty()) throw std::invalid_argument("message box without buttons: " + text);
  TMessageBoxRequest request;
  request.Type = type;
  request.Caption = caption;
  request.Text = text;
  request.Buttons = buttons;
  return MessageBoxBackend().ShowMessageBox(request);
}

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  return MessageDlgCaption(DefaultMessageCaption(type), text, type, buttons);
}

void ShowMessage(const std::string& text) {
  MessageDlgCaption(ApplicationTitle, text, mtCustom, mbOK);
}

void ErrorBox(const std::string& text) { MessageDlg(text, mtError, mbOK); }
void WarningBox(const std::string& text) { MessageDlg(text, mtWarning, mbOK); }
void InformationBox(const std::string& text) { MessageDlg(text, mtInformation, mbOK); }

TModalResult AskChangingQuestion(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  if (buttons.Empty()) throw std::invalid_argument("message box without buttons: " + text);
  TMessageBoxRequest request;
  request.Type = type;
  request.Caption = DefaultMessageCaption(type);
  request.Text = text;
  request.Buttons = buttons;
  request.EscapeCancels = true;
  return MessageBoxBackend().ShowMessageBox(request);
}

TModalResult ConfirmationBox(const std::string& text, TMsgDlgButtons buttons) {
  return MessageDlg(text, mtConfirmation, buttons);
}

bool ConfirmDestroying(const std::string& text) {
  TMessageBoxRequest request;
  request.Type = mtConfirmation;
  request.Caption = DefaultMessageCaption(mtConfirmation);
  request.Text = text;
  request.Buttons = mbYesNo;
  request.NoIsDefault = true;
  return MessageBoxBackend().ShowMessageBox(request) == mrYes;
}

bool ConfirmOverwrite(const std::string& fileName) {
  return ConfirmDestroying("File <" + fileName + "> exists!\r\nDo you wish to overwrite it?");
}

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  std::string answer = value;
  if (!MessageBoxBackend().InputQuery(caption, prompt, answer)) return false;
  value = answer;
  return true;
}

std::string InputBox(const std::string& caption, const std::string& prompt,
                     const std::string& defaultValue) {
  std::string value = defaultValue;
  InputQuery(caption, prompt, value);
  return value;
}

void MessageBeep(uint32_t type) { MessageBoxBackend().Beep(type); }
