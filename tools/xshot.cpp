// Saves one X window (or the whole screen) as a PNG, for displays without a desktop
// such as Xvfb: xshot <window id, e.g. 0x400007, or "root"> <file.png>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: xshot <window id|root> <file.png>\n");
        return 2;
    }
    const QString id = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    const WId window = id == QLatin1String("root") ? 0 : id.toULongLong(&ok, 0);
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!ok || screen == nullptr) {
        std::fprintf(stderr, "xshot: bad window id %s or no screen\n", argv[1]);
        return 2;
    }
    const QPixmap shot = screen->grabWindow(window);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "xshot: cannot grab window %s into %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
