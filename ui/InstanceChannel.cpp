#include "ui/InstanceChannel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <cstdlib>

namespace instance {

namespace {

// A folder that only this user can enter: a real folder (lstat, so no link
// can redirect us), owned by us, without group or other permissions.
bool IsPrivateFolder(const QByteArray& path) {
  struct stat st {};
  if (::lstat(path.constData(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

}  // namespace

QString RuntimeDir() {
  const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
  if (!xdg.isEmpty() && xdg.startsWith('/') && IsPrivateFolder(xdg)) return QString::fromLocal8Bit(xdg);

  const QString fallback = QDir::tempPath() + QStringLiteral("/aerlume-") + QString::number(::getuid());
  const QByteArray native = QFile::encodeName(fallback);
  if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) return QString();
  return IsPrivateFolder(native) ? fallback : QString();
}

namespace {

// Longest encoded session name kept as it is: the socket path must fit the
// 108 bytes of a local socket address.
constexpr qsizetype kMaxScopeBytes = 16;

QString ScopeName(const char* kind, const QByteArray& value) {
  QByteArray encoded = value.toPercentEncoding();
  if (encoded.size() > kMaxScopeBytes)
    encoded = QCryptographicHash::hash(value, QCryptographicHash::Sha256).toHex().left(kMaxScopeBytes);
  return QString::fromLatin1(kind) + QLatin1Char('-') + QString::fromLatin1(encoded);
}

}  // namespace

QString SessionScope() {
  // The display decides where the window shows: the same display is the same
  // session, whichever terminal or launcher started the copy.
  const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
  if (!wayland.isEmpty()) return ScopeName("wayland", wayland);
  QByteArray x11 = qgetenv("DISPLAY");
  if (!x11.isEmpty()) {
    // ":0" and ":0.1" are one display (screens of one server).
    const qsizetype colon = x11.lastIndexOf(':');
    const qsizetype dot = x11.indexOf('.', colon < 0 ? 0 : colon);
    if (colon >= 0 && dot > colon) x11.truncate(dot);
    return ScopeName("x11", x11);
  }
  const QByteArray session = qgetenv("XDG_SESSION_ID");
  if (!session.isEmpty()) return ScopeName("session", session);
  return QString();
}

QString BasePath(const QString& dir, const QString& key) {
  QString base = dir + QStringLiteral("/aerlume-") + key + QLatin1Char('-') + QString::number(::getuid());
  const QString scope = SessionScope();
  if (!scope.isEmpty()) base += QLatin1Char('-') + scope;
  return base;
}

namespace {

bool NameCanTravel(const QByteArray& utf8) {
  return utf8.size() <= kMaxFileNameBytes && !utf8.contains('\0') && !utf8.contains('\n') && !utf8.contains('\r');
}

}  // namespace

QByteArray EncodeActivation(const QString& fileName) {
  QByteArray message(kMagicLine);
  message += '\n';
  const QByteArray name = fileName.toUtf8();
  if (NameCanTravel(name)) message += name;
  message += '\n';
  return message;
}

ParseResult ParseActivation(const QByteArray& data, QString* fileName) {
  if (data.size() > kMaxMessageBytes) return ParseResult::Malformed;
  const QByteArray magic = QByteArray(kMagicLine) + '\n';
  // Every byte that has arrived must agree with the magic line so far.
  const qsizetype head = std::min(data.size(), magic.size());
  if (data.left(head) != magic.left(head)) return ParseResult::Malformed;
  if (data.size() <= magic.size()) return ParseResult::Incomplete;

  const qsizetype end = data.indexOf('\n', magic.size());
  const QByteArray name = data.mid(magic.size(), end < 0 ? -1 : end - magic.size());
  if (name.size() > kMaxFileNameBytes || name.contains('\0') || name.contains('\r')) return ParseResult::Malformed;
  if (end < 0) return ParseResult::Incomplete;
  if (end != data.size() - 1) return ParseResult::Malformed;  // bytes after the message

  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder(name);
  if (decoder.hasError()) return ParseResult::Malformed;
  if (fileName) *fileName = text;
  return ParseResult::Complete;
}

CActivationServer::CActivationServer(QObject* parent) : QObject(parent) {}

CActivationServer::~CActivationServer() {
  if (m_pServer) m_pServer->close();
}

bool CActivationServer::Listen(const QString& socketPath) {
  m_pServer = std::make_unique<QLocalServer>();
  m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
  m_pServer->setMaxPendingConnections(kMaxConnections);
  QLocalServer::removeServer(socketPath);
  if (!m_pServer->listen(socketPath)) {
    m_pServer.reset();
    return false;
  }
  connect(m_pServer.get(), &QLocalServer::newConnection, this, &CActivationServer::OnNewConnection);
  return true;
}

QString CActivationServer::SocketPath() const { return m_pServer ? m_pServer->fullServerName() : QString(); }

void CActivationServer::OnNewConnection() {
  while (QLocalSocket* socket = m_pServer->nextPendingConnection()) {
    if (m_nOpen >= kMaxConnections) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    Serve(socket);
  }
}

// Reads one connection without ever blocking: bytes are collected as they
// arrive; the deadline timer and the size limit end connections that never
// complete. Every path out closes the socket and frees the slot exactly once.
void CActivationServer::Serve(QLocalSocket* socket) {
  struct State {
    QByteArray buffer;
    bool done = false;
  };
  auto state = std::make_shared<State>();
  ++m_nOpen;
  auto* deadline = new QTimer(socket);
  deadline->setSingleShot(true);

  auto finish = [this, socket, state, deadline](bool answer) {
    if (state->done) return;
    state->done = true;
    deadline->stop();
    --m_nOpen;
    QObject::disconnect(socket, nullptr, this, nullptr);
    if (answer) {
      socket->write(kAnswer);
      socket->flush();
      socket->disconnectFromServer();
    } else {
      socket->abort();
    }
    socket->deleteLater();
  };

  auto onReadable = [this, socket, state, finish] {
    if (state->done) return;
    // Never take more than can still belong to a well-formed message.
    state->buffer.append(socket->read(kMaxMessageBytes + 1 - state->buffer.size()));
    QString name;
    switch (ParseActivation(state->buffer, &name)) {
      case ParseResult::Incomplete:
        return;
      case ParseResult::Malformed:
        finish(false);
        return;
      case ParseResult::Complete:
        finish(true);
        Q_EMIT activationReceived(name);
        return;
    }
  };

  connect(deadline, &QTimer::timeout, this, [finish] { finish(false); });
  // A client may write and hang up at once: take what it left, then give up.
  connect(socket, &QLocalSocket::disconnected, this, [onReadable, finish] {
    onReadable();
    finish(false);
  });
  connect(socket, &QLocalSocket::readyRead, this, onReadable);
  deadline->start(kConnectionDeadlineMs);
  // Bytes may already be waiting when the connection is handed over.
  if (socket->bytesAvailable() > 0) QTimer::singleShot(0, socket, onReadable);
}

CInstanceGuard::CInstanceGuard(const QString& key) {
  const QString dir = RuntimeDir();
  if (!dir.isEmpty()) m_strBase = BasePath(dir, key);
}

CInstanceGuard::~CInstanceGuard() {
  m_pServer.reset();
  if (m_pLock) m_pLock->unlock();
}

CInstanceGuard::Result CInstanceGuard::Acquire() {
  if (m_strBase.isEmpty()) return Result::Unchecked;
  m_pLock = std::make_unique<QLockFile>(LockPath());
  m_pLock->setStaleLockTime(0);
  if (m_pLock->tryLock(0)) {
    m_pServer = std::make_unique<CActivationServer>();
    if (!m_pServer->Listen(SocketPath())) m_pServer.reset();  // runs on; later starts cannot reach it
    return Result::First;
  }
  const bool held = m_pLock->error() == QLockFile::LockFailedError;
  m_pLock.reset();
  return held ? Result::Another : Result::Unchecked;
}

bool SendActivation(const QString& socketPath, const QString& fileName, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  for (;;) {
    socket.connectToServer(socketPath);
    if (socket.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) break;
    socket.abort();
    // The running copy takes its lock before it listens: give it a moment.
    if (deadline.hasExpired()) return false;
    QThread::msleep(50);
    if (deadline.hasExpired()) return false;
  }
  socket.write(EncodeActivation(fileName));
  if (!socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) return false;
  QByteArray answer;
  while (answer.size() < static_cast<qsizetype>(sizeof(kAnswer) - 1) && !deadline.hasExpired()) {
    if (!socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) break;
    answer += socket.readAll();
  }
  socket.abort();
  return answer == kAnswer;
}

}  // namespace instance
