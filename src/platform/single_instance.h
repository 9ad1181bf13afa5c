// One running instance per user: the first instance holds a named lock; a
// later one finds the lock taken, asks the holder to bring its main window to
// the front, and gives up.
#pragma once
#include <functional>
#include <memory>
#include <string>

class TSingleInstanceBackend {
 public:
  virtual ~TSingleInstanceBackend() = default;
  // Tries to take the lock called name. On success returns true and from then
  // on calls onRaise (on the GUI thread) whenever a later instance asks for
  // the window. When another instance holds the lock, sends it the raise
  // request and returns false.
  virtual bool Acquire(const std::string& name, std::function<void()> onRaise) = 0;
  // Gives the lock up (nothing happens when it is not held).
  virtual void Release(const std::string& name) = 0;
};

// The installed backend; the in-process one when none was installed.
TSingleInstanceBackend& SingleInstanceBackend();
// Installs a backend (null puts the in-process one back).
void SetSingleInstanceBackend(std::unique_ptr<TSingleInstanceBackend> backend);

// The lock's name made safe as a file name: letters, digits, ".", "-" and "_"
// stay, every other character becomes "_", and the result is at most 64
// characters long. "Orbenwright, Inc. KORVEX : Previous Semaphore" gives
// "Orbenwright__Inc._KORVEX___Previous_Semaphore".
std::string SingleInstanceFileName(const std::string& name);

// Holds the lock for its lifetime:
//   TSingleInstanceLock lock(name, [] { /* restore and raise the window */ });
//   if (!lock.IsFirst()) return 0;
class TSingleInstanceLock {
 public:
  TSingleInstanceLock(const std::string& name, std::function<void()> onRaise);
  ~TSingleInstanceLock();
  TSingleInstanceLock(const TSingleInstanceLock&) = delete;
  TSingleInstanceLock& operator=(const TSingleInstanceLock&) = delete;
  bool IsFirst() const { return first_; }

 private:
  std::string name_;
  bool first_ = false;
};
