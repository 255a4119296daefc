// The channel between a second start of the program and the copy that runs:
// where its lock file and socket live, the activation message, the server the
// running copy listens with, and the client a second copy sends with.
//
// Place: $XDG_RUNTIME_DIR when it is set, is absolute and is a user-only
// folder of ours; otherwise <temp>/aerlume-<uid>, created with mode 0700 and
// used only when it is a real folder (not a link) owned by the user with no
// group or other access. When no such folder can be had there is no
// single-instance check: the copy runs as the first one.
//
// Scope: one copy per graphical session. The runtime folder is per user, not
// per log-on (a user's concurrent log-ons share it), so the names carry the
// session: its display ($WAYLAND_DISPLAY, else $DISPLAY without the screen
// number), else $XDG_SESSION_ID; with none of them, the user is the scope.
// A start in one session thus never raises the window of another.
//
// Names, in that folder: "aerlume-<key>-<uid>[-<session>].lock" (QLockFile)
// and "...sock" (QLocalServer, user-only access); see SessionScope.
//
// Wire format of one activation (the second copy writes it, then closes):
//     AERLUME-ACTIVATE 1\n        magic line with the protocol version
//     <file name>\n               UTF-8, 0..kMaxFileNameBytes bytes, may be empty
// Nothing may follow the second line feed. A file name that is longer, holds
// a NUL, CR or LF, or is not valid UTF-8 makes the whole message malformed,
// so the sender leaves such a name out (the running copy discards the name
// anyway). On a well-formed message the running copy answers "OK\n" and
// closes the connection; anything else is closed without an answer and
// ignored. A connection that has not completed its message within
// kConnectionDeadlineMs, or has sent more than kMaxMessageBytes, is dropped;
// at most kMaxConnections are served at once (more are closed at once), so
// a client that never finishes cannot stall the running copy.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;
class QLocalSocket;

namespace instance {

constexpr char kMagicLine[] = "AERLUME-ACTIVATE 1";
constexpr int kMaxFileNameBytes = 4096;
constexpr int kMaxMessageBytes = static_cast<int>(sizeof(kMagicLine)) + kMaxFileNameBytes + 1;
constexpr int kConnectionDeadlineMs = 2000;
constexpr int kMaxConnections = 8;
constexpr char kAnswer[] = "OK\n";

// The folder for the lock file and the socket, or empty when none is safe
// (see above). Creates the temp-dir fallback when needed.
QString RuntimeDir();
// The session part of the names: "wayland-<name>", "x11-<display>" or
// "session-<id>" (percent-encoded; replaced by a hash when long, so the
// socket path stays short), or "" when the environment names no session.
QString SessionScope();
// "<dir>/aerlume-<key>-<uid>" plus "-<SessionScope()>" when there is one,
// without extension.
QString BasePath(const QString& dir, const QString& key);

// The message for an activation; a name that cannot travel is left out.
QByteArray EncodeActivation(const QString& fileName);

enum class ParseResult { Incomplete, Complete, Malformed };
// Reads what has arrived so far. Complete: *fileName holds the name ("" for
// none). Incomplete: more bytes may still make it well formed.
ParseResult ParseActivation(const QByteArray& data, QString* fileName);

// The running copy's side.
class CActivationServer : public QObject {
  Q_OBJECT

 public:
  explicit CActivationServer(QObject* parent = nullptr);
  ~CActivationServer() override;

  // Listens on the socket path (a stale socket file left by a crashed copy is
  // removed first; only the lock holder may call this). False on failure.
  bool Listen(const QString& socketPath);
  QString SocketPath() const;
  // Connections being read now.
  int OpenConnections() const { return m_nOpen; }

 Q_SIGNALS:
  // A well-formed activation arrived; the name is "" when none was given.
  void activationReceived(const QString& fileName);

 private:
  void OnNewConnection();
  void Serve(QLocalSocket* socket);

  std::unique_ptr<QLocalServer> m_pServer;
  int m_nOpen = 0;
};

// The marker that a copy runs, and its channel: the lock file, and the
// server the lock holder listens with.
class CInstanceGuard {
 public:
  enum class Result {
    First,      // this copy holds the lock (and listens when it could)
    Another,    // another live copy holds it
    Unchecked,  // no safe folder or no lock file possible: run as the first copy
  };

  explicit CInstanceGuard(const QString& key);
  ~CInstanceGuard();

  // Takes the lock. Only a lock whose process is gone counts as stale, never
  // an old one: the first copy may run for weeks.
  Result Acquire();
  // The server of a First copy (null when listening failed, or otherwise).
  CActivationServer* Server() const { return m_pServer.get(); }
  // Where the running copy listens (valid in every copy once a folder exists).
  QString SocketPath() const { return m_strBase.isEmpty() ? QString() : m_strBase + QStringLiteral(".sock"); }
  QString LockPath() const { return m_strBase.isEmpty() ? QString() : m_strBase + QStringLiteral(".lock"); }

 private:
  QString m_strBase;
  std::unique_ptr<QLockFile> m_pLock;
  std::unique_ptr<CActivationServer> m_pServer;
};

// The second copy's side: connects (retrying while the running copy may
// still be starting its server), sends the activation and waits for the
// answer. True when the running copy answered; never longer than timeoutMs.
bool SendActivation(const QString& socketPath, const QString& fileName, int timeoutMs);

}  // namespace instance
