#include "platform/qt/qt_single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>

#include "platform/single_instance.h"

namespace {

const QByteArray kRaiseRequest = "raise\n";
constexpr int kSendTimeoutMs = 2000;
constexpr int kLockWaitMs = 5000;
constexpr int kLockPollMs = 100;

struct THeldLock {
  int Fd = -1;
  std::unique_ptr<QLocalServer> Server;
};

class TQtSingleInstance : public TSingleInstanceBackend {
 public:
  ~TQtSingleInstance() override {
    while (!held_.empty()) Release(held_.begin()->first);
  }

  bool Acquire(const std::string& name, std::function<void()> onRaise) override {
    const std::string base = SingleInstanceBasePath(name);
    const std::string socketPath = base + ".sock";
    int fd = ::open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // Without a lock file the program still starts, only without the guard.
    if (fd < 0) return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int code = errno;
      if (code != EWOULDBLOCK) {
        ::close(fd);
        return true;
      }
      // The holder shows its window when it still listens. One that no
      // longer listens is on its way out: wait for its lock to come free.
      if (SendRaise(socketPath) || !WaitForLock(fd)) {
        ::close(fd);
        return false;
      }
    }
    // The lock is ours. A socket left behind by a crashed holder is removed
    // before listening; the kernel released that holder's lock already.
    THeldLock& held = held_[name];
    if (held.Fd >= 0) ::close(held.Fd);
    held.Fd = fd;
    held.Server = std::make_unique<QLocalServer>();
    QLocalServer* server = held.Server.get();
    QLocalServer::removeServer(QString::fromStdString(socketPath));
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (server->listen(QString::fromStdString(socketPath))) {
      QObject::connect(server, &QLocalServer::newConnection, server, [server, onRaise] {
        while (QLocalSocket* socket = server->nextPendingConnection()) Serve(server, socket, onRaise);
      });
    }
    return true;
  }

  void Release(const std::string& name) override {
    auto it = held_.find(name);
    if (it == held_.end()) return;
    if (it->second.Server) it->second.Server->close();  // also removes the socket file
    it->second.Server.reset();
    if (it->second.Fd >= 0) {
      // The lock file stays: removing it would let a starting instance lock
      // a file that is no longer the one others open.
      ::flock(it->second.Fd, LOCK_UN);
      ::close(it->second.Fd);
    }
    held_.erase(it);
  }

 private:
  std::map<std::string, THeldLock> held_;

  // Reads one request from a later instance. The handler runs from the event
  // loop after this signal has returned, so it may even release the lock.
  static void Serve(QLocalServer* server, QLocalSocket* socket, const std::function<void()>& onRaise) {
    auto received = std::make_shared<QByteArray>();
    auto done = std::make_shared<bool>(false);
    auto read = [server, socket, onRaise, received, done] {
      if (*done) return;
      received->append(socket->readAll());
      if (received->contains(kRaiseRequest)) {
        *done = true;
        if (onRaise) QTimer::singleShot(0, server, onRaise);
        socket->disconnectFromServer();
      } else if (received->size() > 64) {
        *done = true;  // not one of ours
        socket->abort();
      }
    };
    QObject::connect(socket, &QLocalSocket::readyRead, socket, read);
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    read();
  }

  // True when the holder took the request.
  static bool SendRaise(const std::string& socketPath) {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(socketPath));
    if (!socket.waitForConnected(kSendTimeoutMs)) return false;
    socket.write(kRaiseRequest);
    const bool sent = socket.waitForBytesWritten(kSendTimeoutMs) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kSendTimeoutMs);
    return sent;
  }

  static bool WaitForLock(int fd) {
    for (int waited = 0; waited < kLockWaitMs; waited += kLockPollMs) {
      ::usleep(kLockPollMs * 1000);
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    }
    return false;
  }
};

}  // namespace

std::string SingleInstanceRuntimeDir() {
  struct stat st;
  if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && *r && ::stat(r, &st) == 0 && S_ISDIR(st.st_mode))
    return r;
  return "/tmp";
}

std::string SingleInstanceBasePath(const std::string& name) {
  std::string dir = SingleInstanceRuntimeDir();
  if (dir.back() != '/') dir += '/';
  return dir + SingleInstanceFileName(name) + "-" + std::to_string(::getuid());
}

void InstallQtSingleInstanceBackend() { SetSingleInstanceBackend(std::make_unique<TQtSingleInstance>()); }
