// A private X server for the tests and benchmarks that run the real program, and two
// process helpers for its clients. Qt Core only; needs the target ox_virtual_display.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs a short-lived X client on the display and returns what it printed.
inline QString runOnDisplay(const QString &program, const QStringList &arguments,
                            const QString &display) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.waitForFinished(5000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Asks a process to end, and makes it if it will not.
inline void stopProcess(QProcess &process) {
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

// A private X server from scripts/virtual_display.sh, the one the run command uses, on
// a display number it picks itself; stopped with the object.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        // The script prints the display once the server takes clients, or says why not.
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server_.start("bash", {OX_VIRTUAL_DISPLAY});
        if (server_.waitForReadyRead(30000) && server_.canReadLine()) {
            const QString line = QString::fromLatin1(server_.readLine()).trimmed();
            number_ = line.startsWith(':') ? line.mid(1) : QString();
        }
    }
    ~VirtualDisplay() { stopProcess(server_); }
    VirtualDisplay(const VirtualDisplay &) = delete;
    VirtualDisplay &operator=(const VirtualDisplay &) = delete;

    bool up() const { return !number_.isEmpty(); }
    QString name() const { return ":" + number_; }

  private:
    QProcess server_;
    QString number_;
};
