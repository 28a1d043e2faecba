// A private X server for the tests and benchmarks that run the real program, and the
// two process helpers it needs. Qt Core only.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

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

// Xvfb on a display number it picks itself; stopped with the object.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        server_.start("Xvfb", {"-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0",
                               "1024x768x24"});
        QElapsedTimer clock;
        clock.start();
        while (number_.isEmpty() && clock.elapsed() < 10000 && server_.waitForReadyRead(500)) {
            number_ = QString::fromLatin1(server_.readAllStandardOutput()).trimmed();
        }
        // The number comes a moment before the server takes clients.
        while (up() && !runOnDisplay("xwininfo", {"-root"}, name()).contains("Window id") &&
               clock.elapsed() < 10000) {
            QThread::msleep(10);
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
