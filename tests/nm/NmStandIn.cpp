#include "tests/nm/NmStandIn.h"

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QStandardPaths>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/common/test_support.h"

namespace nmtest {
namespace {

const QString kNmService = QStringLiteral("org.freedesktop.NetworkManager");

// Debian's interpreter, which sees python3-dbusmock (another python3 on PATH may not).
QString Python() {
  return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                              : QStringLiteral("python3");
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace

StandIn::~StandIn() { Stop(); }

std::string StandIn::MissingTools() {
  if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) return "dbus-daemon is not installed";
  if (QStandardPaths::findExecutable(Python()).isEmpty() && !QFileInfo::exists(Python()))
    return "python3 is not installed";
  if (!QFileInfo::exists(QStringLiteral("/usr/lib/python3/dist-packages/dbusmock/templates/networkmanager.py")))
    return "python3-dbusmock is not installed";
  return {};
}

bool StandIn::Start(std::string* error) {
  if (!m_dir.isValid()) {
    *error = "no temporary folder";
    return false;
  }
  const QString socket = m_dir.filePath(QStringLiteral("bus"));
  m_daemon.setProgram(QStringLiteral("dbus-daemon"));
  m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                         QStringLiteral("--address=unix:path=") + socket, QStringLiteral("--print-address=1")});
  m_daemon.start();
  if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(5000)) {
    *error = "dbus-daemon did not start";
    return false;
  }
  m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
  static std::atomic<int> count{0};
  m_connectionName = QStringLiteral("nm-stand-in-control-%1").arg(++count);
  m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, m_connectionName));
  if (!m_bus->isConnected()) {
    *error = "cannot connect to the private bus " + m_address.toStdString();
    return false;
  }
  if (const char* saved = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
    m_savedAddress = saved;
    m_haveSaved = true;
  }
  setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8().constData(), 1);
  return StartService(error);
}

bool StandIn::StartService(std::string* error) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
  m_service.setProcessEnvironment(env);
  m_service.setProgram(Python());
  m_service.setArguments({QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                          QString::fromStdString(testsupport::SourcePath("tests/nm/nm_stand_in.py"))});
  m_service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  m_service.setStandardOutputFile(QProcess::nullDevice());
  m_service.start();
  QDBusConnectionInterface* bus = m_bus->interface();
  if (!m_service.waitForStarted(5000) ||
      !WaitFor([&] { return m_service.state() == QProcess::NotRunning || bus->isServiceRegistered(kNmService).value(); },
               15000) ||
      m_service.state() == QProcess::NotRunning) {
    *error = "the NetworkManager stand-in did not come up";
    return false;
  }
  return true;
}

void StandIn::StopService() {
  if (m_service.state() == QProcess::NotRunning) return;
  m_service.terminate();
  if (!m_service.waitForFinished(5000)) {
    m_service.kill();
    m_service.waitForFinished(5000);
  }
  if (m_bus) WaitFor([&] { return !m_bus->interface()->isServiceRegistered(kNmService).value(); }, 5000);
}

void StandIn::Stop() {
  StopService();
  if (m_bus) {
    m_bus.reset();
    QDBusConnection::disconnectFromBus(m_connectionName);
  }
  if (m_daemon.state() != QProcess::NotRunning) {
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000)) {
      m_daemon.kill();
      m_daemon.waitForFinished(5000);
    }
  }
  if (m_haveSaved) setenv("DBUS_SYSTEM_BUS_ADDRESS", m_savedAddress.c_str(), 1);
  m_haveSaved = false;
}

void StandIn::Freeze(bool frozen) {
  if (m_service.state() == QProcess::Running) ::kill(static_cast<pid_t>(m_service.processId()), frozen ? SIGSTOP : SIGCONT);
}

QDBusMessage StandIn::Mock(const QString& method, const QVariantList& args) {
  QDBusMessage call = QDBusMessage::createMethodCall(kNmService, QStringLiteral("/org/freedesktop"),
                                                     QStringLiteral("org.freedesktop.DBus.Mock"), method);
  call.setArguments(args);
  const QDBusMessage reply = m_bus->call(call, QDBus::Block, 5000);
  EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
      << method.toStdString() << ": " << reply.errorName().toStdString() << " " << reply.errorMessage().toStdString();
  return reply;
}

QString StandIn::MockText(const QString& method, const QVariantList& args) {
  const QDBusMessage reply = Mock(method, args);
  if (reply.arguments().isEmpty()) return {};
  const QVariant v = reply.arguments().front();
  if (v.canConvert<QDBusObjectPath>() && v.userType() == qMetaTypeId<QDBusObjectPath>())
    return v.value<QDBusObjectPath>().path();
  return v.toString();
}

}  // namespace nmtest
