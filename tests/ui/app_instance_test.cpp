// One copy per graphical session: the activation wire format, the server's
// handling of bad and silent clients, the lock (held, stale, old), its folder
// and its session scope, and bringing the program to the front.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utime.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QWidget>
#include <atomic>
#include <cstring>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/common/test_support.h"
#include "ui/InstanceChannel.h"
#include "ui/WinAppEx.h"

namespace fs = std::filesystem;
using instance::ParseActivation;
using instance::ParseResult;

namespace {

constexpr char kKey[] = "{73B17E14-A8D3-479f-886E-509ED6A0D888}";

QByteArray Message(const QByteArray& name) { return QByteArray("AERLUME-ACTIVATE 1\n") + name + '\n'; }

// A private runtime folder (XDG_RUNTIME_DIR) and temp folder (TMPDIR).
class InstanceTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "aerlume-inst-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
    fs::create_directories(m_root / "run");
    fs::create_directories(m_root / "tmp");
    chmod((m_root / "run").c_str(), 0700);
    Save("XDG_RUNTIME_DIR", m_savedRuntime, m_hadRuntime);
    Save("TMPDIR", m_savedTmp, m_hadTmp);
    setenv("XDG_RUNTIME_DIR", RunDir().c_str(), 1);
    setenv("TMPDIR", (m_root / "tmp").c_str(), 1);
  }
  void TearDown() override {
    Restore("XDG_RUNTIME_DIR", m_savedRuntime, m_hadRuntime);
    Restore("TMPDIR", m_savedTmp, m_hadTmp);
    std::error_code ec;
    fs::remove_all(m_root, ec);
  }
  std::string RunDir() const { return (m_root / "run").string(); }
  std::string TmpDir() const { return (m_root / "tmp").string(); }

  // Sends from another thread while this one runs the server's event loop.
  bool SendWhileServing(const QString& path, const QString& name, std::function<bool()> until = nullptr) {
    std::atomic<bool> done{false};
    std::atomic<bool> answered{false};
    std::thread client([&] {
      answered = instance::SendActivation(path, name, 3000);
      done = true;
    });
    testsupport::SpinUntil([&] { return done.load() && (!until || until()); }, std::chrono::seconds(5));
    client.join();
    return answered;
  }

 private:
  static void Save(const char* name, std::string& value, bool& had) {
    const char* current = std::getenv(name);
    had = current != nullptr;
    if (had) value = current;
  }
  static void Restore(const char* name, const std::string& value, bool had) {
    if (had)
      setenv(name, value.c_str(), 1);
    else
      unsetenv(name);
  }

  fs::path m_root;
  std::string m_savedRuntime, m_savedTmp;
  bool m_hadRuntime = false, m_hadTmp = false;
};

// A raw client of the socket, outside Qt, for what a second copy never sends.
int RawConnect(const QString& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray native = QFile::encodeName(path);
  std::memcpy(address.sun_path, native.constData(), std::min<size_t>(native.size(), sizeof(address.sun_path) - 1));
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// True when the server closed the connection (read gives end of file).
bool ClosedByServer(int fd) {
  char byte;
  return recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

}  // namespace

TEST(ActivationFormat, WellFormedMessagesAndTheirPrefixes) {
  QString name = QStringLiteral("unset");
  EXPECT_EQ(ParseActivation(Message(""), &name), ParseResult::Complete);
  EXPECT_EQ(name, QString());
  EXPECT_EQ(ParseActivation(Message("/home/u/caf\xc3\xa9 list.txt"), &name), ParseResult::Complete);
  EXPECT_EQ(name, QStringLiteral("/home/u/caf\u00e9 list.txt"));
  EXPECT_EQ(ParseActivation(Message(QByteArray(instance::kMaxFileNameBytes, 'a')), &name), ParseResult::Complete);

  // Every proper prefix of a message is incomplete, never malformed.
  const QByteArray full = Message("name");
  for (qsizetype n = 0; n < full.size(); ++n)
    EXPECT_EQ(ParseActivation(full.left(n), nullptr), ParseResult::Incomplete) << n;

  // What the sender writes reads back; a name that cannot travel is left out.
  EXPECT_EQ(ParseActivation(instance::EncodeActivation(QStringLiteral("a b")), &name), ParseResult::Complete);
  EXPECT_EQ(name, QStringLiteral("a b"));
  EXPECT_EQ(ParseActivation(instance::EncodeActivation(QStringLiteral("two\nlines")), &name), ParseResult::Complete);
  EXPECT_EQ(name, QString());
  EXPECT_EQ(instance::EncodeActivation(QString(instance::kMaxFileNameBytes + 1, QLatin1Char('x'))), Message(""));
}

TEST(ActivationFormat, MalformedMessages) {
  EXPECT_EQ(ParseActivation("GET / HTTP/1.0\r\n", nullptr), ParseResult::Malformed);
  EXPECT_EQ(ParseActivation("AERLUME-ACTIVATE 2\n\n", nullptr), ParseResult::Malformed);
  EXPECT_EQ(ParseActivation(Message("x") + "more", nullptr), ParseResult::Malformed);
  EXPECT_EQ(ParseActivation(Message(QByteArray("a\0b", 3)), nullptr), ParseResult::Malformed);
  EXPECT_EQ(ParseActivation(Message("a\rb"), nullptr), ParseResult::Malformed);
  EXPECT_EQ(ParseActivation(Message("\xff\xfe"), nullptr), ParseResult::Malformed);
  // Too long a name is refused as soon as it is too long, before any line end.
  const QByteArray head("AERLUME-ACTIVATE 1\n");
  EXPECT_EQ(ParseActivation(head + QByteArray(instance::kMaxFileNameBytes, 'a'), nullptr), ParseResult::Incomplete);
  EXPECT_EQ(ParseActivation(head + QByteArray(instance::kMaxFileNameBytes + 1, 'a'), nullptr),
            ParseResult::Malformed);
}

TEST_F(InstanceTest, FirstCopyHoldsTheLockAndLaterOnesReachIt) {
  instance::CInstanceGuard first(QString::fromLatin1(kKey));
  ASSERT_EQ(first.Acquire(), instance::CInstanceGuard::Result::First);
  ASSERT_NE(first.Server(), nullptr);
  EXPECT_TRUE(first.SocketPath().startsWith(QString::fromStdString(RunDir()) + QStringLiteral("/aerlume-")));
  // User-only: the socket file grants nothing to group or others.
  struct stat st {};
  ASSERT_EQ(stat(QFile::encodeName(first.SocketPath()).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);

  std::vector<QString> received;
  QObject::connect(first.Server(), &instance::CActivationServer::activationReceived,
                   [&](const QString& name) { received.push_back(name); });

  instance::CInstanceGuard second(QString::fromLatin1(kKey));
  EXPECT_EQ(second.Acquire(), instance::CInstanceGuard::Result::Another);
  EXPECT_EQ(second.SocketPath(), first.SocketPath());
  EXPECT_TRUE(SendWhileServing(second.SocketPath(), QStringLiteral("notes.txt"), [&] { return !received.empty(); }));
  EXPECT_TRUE(SendWhileServing(second.SocketPath(), QString(), [&] { return received.size() == 2; }));
  EXPECT_EQ(received, (std::vector<QString>{QStringLiteral("notes.txt"), QString()}));
}

TEST_F(InstanceTest, BadAndSilentClientsDoNotStallTheServer) {
  instance::CInstanceGuard first(QString::fromLatin1(kKey));
  ASSERT_EQ(first.Acquire(), instance::CInstanceGuard::Result::First);
  instance::CActivationServer* server = first.Server();
  int received = 0;
  QObject::connect(server, &instance::CActivationServer::activationReceived, [&](const QString&) { ++received; });

  const int silent = RawConnect(first.SocketPath());
  ASSERT_GE(silent, 0);
  const int garbage = RawConnect(first.SocketPath());
  ASSERT_GE(garbage, 0);
  ASSERT_EQ(send(garbage, "GARBAGE\n\n", 9, 0), 9);
  const int flood = RawConnect(first.SocketPath());
  ASSERT_GE(flood, 0);
  const QByteArray big = "AERLUME-ACTIVATE 1\n" + QByteArray(instance::kMaxFileNameBytes + 64, 'z');
  ASSERT_EQ(send(flood, big.constData(), big.size(), 0), big.size());

  // Garbage and oversize are dropped at once, the silent one stays open...
  EXPECT_TRUE(testsupport::SpinUntil([&] { return ClosedByServer(garbage) && ClosedByServer(flood); },
                                     std::chrono::milliseconds(1000)));
  EXPECT_EQ(server->OpenConnections(), 1);
  // ... and a proper activation is served meanwhile: while the silent
  // client is still connected, not after it was dropped.
  EXPECT_TRUE(SendWhileServing(first.SocketPath(), QString(), [&] { return received == 1; }));
  EXPECT_EQ(received, 1);
  EXPECT_FALSE(ClosedByServer(silent));

  // The silent client is dropped at its deadline.
  EXPECT_TRUE(testsupport::SpinUntil([&] { return ClosedByServer(silent); }, std::chrono::seconds(4)));
  EXPECT_EQ(server->OpenConnections(), 0);
  close(silent);
  close(garbage);
  close(flood);
}

TEST_F(InstanceTest, TooManyOpenClientsAreTurnedAwayNotQueued) {
  instance::CInstanceGuard first(QString::fromLatin1(kKey));
  ASSERT_EQ(first.Acquire(), instance::CInstanceGuard::Result::First);
  std::vector<int> clients;
  for (int i = 0; i < instance::kMaxConnections + 3; ++i) clients.push_back(RawConnect(first.SocketPath()));
  testsupport::SpinUntil([&] { return ClosedByServer(clients.back()); }, std::chrono::milliseconds(1000));
  EXPECT_EQ(first.Server()->OpenConnections(), instance::kMaxConnections);
  EXPECT_TRUE(ClosedByServer(clients.back()));
  for (int fd : clients) close(fd);
  EXPECT_TRUE(testsupport::SpinUntil([&] { return first.Server()->OpenConnections() == 0; }));
}

TEST_F(InstanceTest, StaleLockOfACrashedCopyDoesNotBlockButAnOldLiveOneDoes) {
  const QString lockPath = [&] {
    instance::CInstanceGuard probe(QString::fromLatin1(kKey));
    return probe.LockPath();
  }();
  // A lock file left by a process that is gone (pid 2^22 + 1 is above the
  // kernel's pid limit), with a leftover socket file beside it.
  {
    QFile stale(lockPath);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("4194305\naerlume\n" + QSysInfo::machineHostName().toUtf8() + "\n");
  }
  {
    QFile leftover(QString(lockPath).replace(QStringLiteral(".lock"), QStringLiteral(".sock")));
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
  }
  instance::CInstanceGuard first(QString::fromLatin1(kKey));
  ASSERT_EQ(first.Acquire(), instance::CInstanceGuard::Result::First);
  EXPECT_NE(first.Server(), nullptr);

  // A lock an hour old whose process lives is still held.
  struct utimbuf old {};
  old.actime = old.modtime = time(nullptr) - 3600;
  ASSERT_EQ(utime(QFile::encodeName(lockPath).constData(), &old), 0);
  instance::CInstanceGuard second(QString::fromLatin1(kKey));
  EXPECT_EQ(second.Acquire(), instance::CInstanceGuard::Result::Another);
}

TEST_F(InstanceTest, RuntimeFolderMustBePrivate) {
  EXPECT_EQ(instance::RuntimeDir(), QString::fromStdString(RunDir()));

  // Group access makes it unusable: the user-only folder under TMPDIR is used.
  chmod(RunDir().c_str(), 0770);
  const QString fallback = QString::fromStdString(TmpDir()) + QStringLiteral("/aerlume-") + QString::number(getuid());
  EXPECT_EQ(instance::RuntimeDir(), fallback);
  struct stat st {};
  ASSERT_EQ(stat(QFile::encodeName(fallback).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(instance::RuntimeDir(), fallback);

  // A fallback that others can enter is refused: no check at all then.
  chmod(QFile::encodeName(fallback).constData(), 0755);
  EXPECT_EQ(instance::RuntimeDir(), QString());
  instance::CInstanceGuard guard(QString::fromLatin1(kKey));
  EXPECT_EQ(guard.Acquire(), instance::CInstanceGuard::Result::Unchecked);
}

namespace {

// Sets (or, with null, removes) an environment variable for one scope.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    m_had = std::getenv(name) != nullptr;
    Set(value);
  }
  ~EnvVar() { Set(m_had ? m_old.c_str() : nullptr); }
  void Set(const char* value) const {
    if (value)
      setenv(m_name, value, 1);
    else
      unsetenv(m_name);
  }

 private:
  const char* m_name;
  std::string m_old;
  bool m_had = false;
};

}  // namespace

// One user, two graphical log-ons sharing the runtime folder: each runs its
// own copy, and a start reaches the copy of its own session only.
TEST_F(InstanceTest, EachGraphicalSessionOfOneUserRunsItsOwnCopy) {
  EnvVar wayland("WAYLAND_DISPLAY", nullptr);
  EnvVar session("XDG_SESSION_ID", "7");
  EnvVar display("DISPLAY", ":5");
  instance::CInstanceGuard first(QString::fromLatin1(kKey));
  ASSERT_EQ(first.Acquire(), instance::CInstanceGuard::Result::First);
  display.Set(":6");
  instance::CInstanceGuard other(QString::fromLatin1(kKey));
  ASSERT_EQ(other.Acquire(), instance::CInstanceGuard::Result::First);
  EXPECT_NE(other.SocketPath(), first.SocketPath());

  int toFirst = 0, toOther = 0;
  QObject::connect(first.Server(), &instance::CActivationServer::activationReceived, [&] { ++toFirst; });
  QObject::connect(other.Server(), &instance::CActivationServer::activationReceived, [&] { ++toOther; });
  // Another screen of the first display is the first session.
  display.Set(":5.1");
  instance::CInstanceGuard second(QString::fromLatin1(kKey));
  EXPECT_EQ(second.Acquire(), instance::CInstanceGuard::Result::Another);
  EXPECT_TRUE(SendWhileServing(second.SocketPath(), QString(), [&] { return toFirst == 1; }));
  EXPECT_EQ(toOther, 0);

  // A Wayland display names the session before the X display does; without
  // any display the log-on session's id does; without that, the user.
  wayland.Set("wayland-1");
  EXPECT_EQ(instance::SessionScope(), QStringLiteral("wayland-wayland-1"));
  wayland.Set(nullptr);
  display.Set(nullptr);
  EXPECT_EQ(instance::SessionScope(), QStringLiteral("session-7"));
  session.Set(nullptr);
  EXPECT_TRUE(instance::BasePath(QStringLiteral("/d"), QStringLiteral("k")).endsWith(QStringLiteral("-k-") +
                                                                                     QString::number(getuid())));
  // A long or odd name stays short and safe in a socket path.
  display.Set("some.very.long.host.name.example:12.0");
  const QString scope = instance::SessionScope();
  EXPECT_LE(scope.size(), 20);
  EXPECT_FALSE(scope.contains(QLatin1Char('/')));
}

TEST(InstanceArguments, FirstFileArgumentSkipsOptions) {
  EXPECT_EQ(CWinAppEx::FirstFileArgument({QStringLiteral("aerlume")}), QString());
  EXPECT_EQ(CWinAppEx::FirstFileArgument({QStringLiteral("aerlume"), QStringLiteral("-x"), QStringLiteral("a.txt"),
                                          QStringLiteral("b.txt")}),
            QStringLiteral("a.txt"));
}

TEST(BringToFront, ShowsAHiddenOrMinimisedMainWindow) {
  testsupport::ExpectQtWarning("This plugin does not support");
  QWidget main;
  main.resize(200, 100);
  CWinAppEx::BringToFront(&main);
  EXPECT_TRUE(main.isVisible());
  main.showMinimized();
  ASSERT_TRUE(testsupport::SpinUntil([&] { return main.isMinimized(); }));
  CWinAppEx::BringToFront(&main);
  EXPECT_TRUE(main.isVisible());
  EXPECT_FALSE(main.isMinimized());
  EXPECT_TRUE(testsupport::SpinUntil([&] { return QApplication::activeWindow() == &main; }));
}

TEST(BringToFront, AnOpenModalDialogComesToTheFront) {
  testsupport::ExpectQtWarning("This plugin does not support");
  QWidget main;
  main.show();
  QDialog dialog(&main);
  dialog.setModal(true);
  dialog.show();
  main.activateWindow();
  ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
  CWinAppEx::BringToFront(&main);
  EXPECT_TRUE(testsupport::SpinUntil([&] { return QApplication::activeWindow() == &dialog; }));
}
