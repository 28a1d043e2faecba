// The program as a screen reader meets it: on a virtual display with a private session
// bus and the accessibility bus, an AT-SPI client reads the window's tree, each control
// with its role and name, and presses "Otevřít kartu" through its accessible action.
#include "running_program.h"
#include "test_paths.h"

#include <QDir>
#include <QProcess>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// What the buses start on their own (the accessibility bus, the registry) leaves its
// parent; the test adopts it, so that it ends it and reaps it at the end.
class AdoptedChildren {
  public:
    AdoptedChildren() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~AdoptedChildren() {
        // The processes the test started itself are finished by now.
        const std::vector<pid_t> pids = children();
        for (pid_t pid : pids) {
            kill(pid, SIGTERM);
        }
        for (pid_t pid : pids) {
            // Two seconds for each to end on its own; its pidfd reads once it has.
            pollfd ended{static_cast<int>(syscall(SYS_pidfd_open, pid, 0)), POLLIN, 0};
            if (poll(&ended, 1, 2000) != 1) {
                kill(pid, SIGKILL);
            }
            waitpid(pid, nullptr, 0);
            close(ended.fd);
        }
        prctl(PR_SET_CHILD_SUBREAPER, 0);
    }
    AdoptedChildren(const AdoptedChildren &) = delete;
    AdoptedChildren &operator=(const AdoptedChildren &) = delete;

  private:
    static std::vector<pid_t> children() {
        std::vector<pid_t> found;
        for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
            QFile stat("/proc/" + entry + "/stat");
            if (entry.toInt() == 0 || !stat.open(QIODevice::ReadOnly)) {
                continue;
            }
            // "pid (name) state ppid ...": the name may hold blanks and parentheses.
            const QByteArray text = stat.readAll();
            if (text.mid(text.lastIndexOf(')') + 2).split(' ').value(1).toInt() == getpid()) {
                found.push_back(entry.toInt());
            }
        }
        return found;
    }
};

// A private session bus with the AT-SPI bus launcher on it, which starts the
// accessibility bus and its registry. No address: no session bus; `why` says why.
struct AccessibilityBus {
    explicit AccessibilityBus(QProcessEnvironment env) {
        daemon.setProcessEnvironment(env);
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (daemon.waitForReadyRead(5000)) {
            address = QString::fromLatin1(daemon.readLine()).trimmed();
        }
        if (address.isEmpty()) {
            why = daemon.errorString() + " " + daemon.readAllStandardError();
            return;
        }
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        launcher.setProcessEnvironment(env);
        launcher.setProcessChannelMode(QProcess::MergedChannels); // the buses' chatter
        launcher.start("/usr/libexec/at-spi-bus-launcher", {"--launch-immediately"});
        // gdbus returns once the launcher holds its name on the bus, or after 10 s.
        QProcess owner;
        owner.start("gdbus", {"wait", "--address", address, "--timeout", "10", "org.a11y.Bus"});
        static_cast<void>(QTest::qWaitFor(
            [&] {
                return owner.state() == QProcess::NotRunning ||
                       launcher.state() == QProcess::NotRunning;
            },
            15000));
        stopProcess(owner);
        if (!(launcherUp = registered())) {
            why = QString(owner.error() == QProcess::FailedToStart ? "cannot run gdbus; " : "") +
                  launcher.errorString() + " " + launcher.readAll();
        }
    }
    ~AccessibilityBus() {
        stopProcess(launcher);
        stopProcess(daemon);
    }

    bool registered() const {
        QProcess ask;
        ask.start("dbus-send", {"--bus=" + address, "--print-reply", "--dest=org.freedesktop.DBus",
                                "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                                "string:org.a11y.Bus"});
        ask.waitForFinished(2000);
        return ask.readAllStandardOutput().contains("boolean true");
    }

    QProcess daemon, launcher;
    QString address, why;
    bool launcherUp = false;
};

// One node of the tree as the client prints it.
struct Node {
    int depth;
    QString role, name, description, value;
};

std::vector<Node> parseTree(const QString &output) {
    std::vector<Node> nodes;
    for (const QString &line : output.split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split('\t');
        if (f.size() == 5) {
            nodes.push_back({f[0].toInt(), f[1], f[2], f[3], f[4]});
        }
    }
    return nodes;
}

QStringList namesOf(const std::vector<Node> &nodes, const QString &role) {
    QStringList names;
    for (const Node &n : nodes) {
        if (n.role == role) {
            names << n.name;
        }
    }
    return names;
}

TEST_F(ProgramTest, AccessibilityClientReadsTheWindowAndOpensTheCard) {
    const AdoptedChildren adopted; // first made, so last to end
    VirtualDisplay display;
    ASSERT_TRUE(display.up()) << "Xvfb did not start";
    QProcessEnvironment env = environment();
    env.insert("DISPLAY", display.name()); // the launcher marks this display's root window
    env.remove("AT_SPI_BUS_ADDRESS");
    const AccessibilityBus bus(env);
    if (bus.address.isEmpty()) {
        GTEST_SKIP() << "no D-Bus session bus could start: " << bus.why.toStdString();
    }
    ASSERT_TRUE(bus.launcherUp) << "the AT-SPI bus launcher did not come up: "
                                << bus.why.toStdString();
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address);
    env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");

    const QString trace = work.filePath("trace.txt");
    QProcess client;
    QStringList lines;
    {
        RunningProgram program(env, display, trace, "0123@2/13");
        ASSERT_FALSE(program.window().isEmpty()) << program.errors();
        client.setProcessEnvironment(env);
        client.start(TestPath("OX_PYTHON"),
                     {TestPath("OX_TREE_READER"), "OX_KRV5316", "--press", "Otevřít kartu"});
        ASSERT_TRUE(client.waitForStarted(5000)) << "cannot run " << TestPath("OX_PYTHON");
        ASSERT_TRUE(client.waitForFinished(30000)) << "the client hung";
        lines = waitForTicks(trace, 2);
    }
    const QString output = QString::fromUtf8(client.readAllStandardOutput());
    ASSERT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
    const std::vector<Node> tree = parseTree(output);
    ASSERT_FALSE(tree.empty());
    EXPECT_EQ(tree[0].role, "application");
    ASSERT_GT(tree.size(), 1u);
    EXPECT_EQ(tree[1].depth, 1);
    EXPECT_EQ(tree[1].role, "frame");
    EXPECT_EQ(tree[1].name, Title);

    const QStringList pages = {"Výběr karty", "Čítače", "Digitální vstupy/výstupy", "Nápověda"};
    EXPECT_EQ(namesOf(tree, "page tab"), pages);
    for (const QString &page : pages) {
        EXPECT_TRUE(namesOf(tree, "filler").contains(page)) << "no page " << page.toStdString();
    }

    for (const Node &n : tree) {
        const bool operated = n.role == "check box" || n.role == "text" ||
                              n.role == "push button" || n.role == "table";
        EXPECT_FALSE(operated && n.name.isEmpty()) << "an unnamed " << n.role.toStdString();
    }
    const QStringList boxes = namesOf(tree, "check box"), fields = namesOf(tree, "text");
    EXPECT_EQ(boxes.size(), 48);
    EXPECT_EQ(fields.size(), 16);
    QStringList both = boxes + fields;
    EXPECT_EQ(both.removeDuplicates(), 0) << "a name repeats";
    // One of each role, to see names travel over the bus; the in-process tests hold the rest.
    EXPECT_TRUE(boxes.contains("CNT5 Start/Stop"));
    EXPECT_TRUE(fields.contains("X-DOUT.7"));
    EXPECT_TRUE(namesOf(tree, "table").contains("Výběr karty KRV-5316"));
    EXPECT_TRUE(namesOf(tree, "push button").contains("Zavřít kartu"));
    // Cells give their number as a value, beside the name that says what it is (a row
    // caption may say the same, without a number).
    for (const char *cell : {"CNT5 hodnota", "DIN.2"}) {
        const auto valued = std::count_if(tree.begin(), tree.end(), [cell](const Node &n) {
            return n.role == "label" && n.name == cell && n.value == "0";
        });
        EXPECT_EQ(valued, 1) << cell;
    }
    QStringList writes;
    for (const Node &n : tree) {
        if (n.role == "push button" && n.name == "Zápis") {
            writes << n.description;
        }
    }
    ASSERT_EQ(writes.size(), 2);
    EXPECT_TRUE(writes[0].contains(" DOUT ")) << writes[0].toStdString();
    EXPECT_TRUE(writes[1].contains(" X-DOUT ")) << writes[1].toStdString();

    // The press opened the card, the firmware went down and ticks follow; the ticks'
    // shape is the click test's business.
    ASSERT_TRUE(lines.contains("call OX9162_Open 0 0 = 0")) << "the press did not open the card";
    const qsizetype version = lines.indexOf("R 0 5fc 12");
    ASSERT_GE(version, 0) << "no version read";
    EXPECT_GE(lines.size(), version + 1 + 2 * tickShape().size()) << "fewer than two ticks";
}

} // namespace
