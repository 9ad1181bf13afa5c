// The headless forms backend: scripted modal forms, a fixed-pitch font.
#include "platform/headless/headless_forms.h"

#include <deque>
#include <map>
#include <utility>
#include <vector>

namespace {

struct TScripts {
  std::map<std::string, TModalScript> registered;
  std::map<std::string, std::deque<TModalScript>> queued;
  std::vector<std::string> shown;
  // Modeless forms shown and not hidden since, with their class names (a
  // form freed while shown is hidden by its destructor and leaves the list).
  std::vector<std::pair<std::string, TForm*>> showing;
};

TScripts& Scripts() {
  static TScripts scripts;
  return scripts;
}

class THeadlessFormsBackend : public TFormsBackend {
 public:
  void RunModal(TForm& form) override {
    TScripts& s = Scripts();
    s.shown.push_back(form.ClassName());
    TModalScript script;
    auto q = s.queued.find(form.ClassName());
    if (q != s.queued.end() && !q->second.empty()) {
      script = std::move(q->second.front());
      q->second.pop_front();
    } else if (auto r = s.registered.find(form.ClassName()); r != s.registered.end()) {
      script = r->second;
    }
    if (!script) throw EUnscriptedModalForm(form.ClassName());
    script(form);
    if (!form.ModalEnded())
      throw EModalScriptError("The script for the modal form " + form.ClassName() +
                              " returned with the form still open");
  }
  void EndModal(TForm&) override {}
  void ShowForm(TForm& form) override { Scripts().showing.emplace_back(form.ClassName(), &form); }
  void HideForm(TForm& form) override {
    auto& showing = Scripts().showing;
    std::erase_if(showing, [&form](const auto& entry) { return entry.second == &form; });
  }
  void BringFormToFront(TForm&) override {}
  // A fixed-pitch font of 7 x 15 pixels.
  TPoint TextExtent(const std::string& text) override { return TPoint{7 * int(text.size()), 15}; }
  bool LaysOutShownForms() const override { return false; }
};

}  // namespace

EUnscriptedModalForm::EUnscriptedModalForm(const std::string& className)
    : std::runtime_error("No script for the modal form " + className), className_(className) {}

void RegisterModalScript(const std::string& className, TModalScript script) {
  Scripts().registered[className] = std::move(script);
}

void QueueModalScript(const std::string& className, TModalScript script) {
  Scripts().queued[className].push_back(std::move(script));
}

void ResetModalScripts() {
  TScripts& s = Scripts();
  s.registered.clear();
  s.queued.clear();
  s.shown.clear();
  s.showing.clear();
}

const std::vector<std::string>& ModalFormsShown() { return Scripts().shown; }

TForm* ShowingModelessForm(const std::string& className) {
  const auto& showing = Scripts().showing;
  for (auto it = showing.rbegin(); it != showing.rend(); ++it)
    if (it->first == className) return it->second;
  return nullptr;
}

TFormsBackend& HeadlessFormsBackend() {
  static THeadlessFormsBackend backend;
  return backend;
}
