#include "platform/single_instance.h"

#include <map>

namespace {

// Names held in this process, with the handler of each holder. A second
// acquire of a held name calls the holder's handler at once.
class THeadlessSingleInstance : public TSingleInstanceBackend {
 public:
  bool Acquire(const std::string& name, std::function<void()> onRaise) override {
    auto it = held_.find(name);
    if (it != held_.end()) {
      // Copied first: the handler may release the name.
      std::function<void()> raise = it->second;
      if (raise) raise();
      return false;
    }
    held_[name] = std::move(onRaise);
    return true;
  }
  void Release(const std::string& name) override { held_.erase(name); }

 private:
  std::map<std::string, std::function<void()>> held_;
};

std::unique_ptr<TSingleInstanceBackend>& Installed() {
  static std::unique_ptr<TSingleInstanceBackend> backend = std::make_unique<THeadlessSingleInstance>();
  return backend;
}

}  // namespace

TSingleInstanceBackend& SingleInstanceBackend() { return *Installed(); }

void SetSingleInstanceBackend(std::unique_ptr<TSingleInstanceBackend> backend) {
  Installed() = backend ? std::move(backend) : std::make_unique<THeadlessSingleInstance>();
}

std::string SingleInstanceFileName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                c == '-' || c == '_';
    out += keep ? static_cast<char>(c) : '_';
    if (out.size() == 64) break;
  }
  // "." and ".." are not file names of their own.
  if (out.empty() || out.find_first_not_of('.') == std::string::npos) out = "_" + out;
  return out;
}

TSingleInstanceLock::TSingleInstanceLock(const std::string& name, std::function<void()> onRaise)
    : name_(name), first_(SingleInstanceBackend().Acquire(name, std::move(onRaise))) {}

TSingleInstanceLock::~TSingleInstanceLock() {
  if (first_) SingleInstanceBackend().Release(name_);
}
