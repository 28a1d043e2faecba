// The window as Windows shows it: run under Wine by window_font_on_wine.py, in a prefix
// whose "MS Sans Serif" may lack the window's letters. Every text must come from the
// chosen face alone and every label fit its place; with a library that fails by an
// exception or a fault, the status line must say so instead of the program ending.
#include "Unit1.h"

#include <QFontInfo>
#include <QLabel>
#include <QStackedWidget>
#include <QTest>

class WindowFontTest : public QObject {
    Q_OBJECT

  private slots:
    void labelsFitInOneFace() {
        TForm1 window;
        QFont face = window.font();
        qInfo("chosen face: %s", qPrintable(QFontInfo(face).family()));
        face.setStyleStrategy(QFont::NoFontMerging);
        const QFontMetrics metrics(face);
        for (const QLabel *label : window.findChildren<QLabel *>()) {
            const QString name = label->objectName();
            for (const char32_t c : label->text().toUcs4()) {
                QVERIFY2(c == U' ' || metrics.inFontUcs4(c),
                         qPrintable(name + ": a borrowed letter"));
            }
            const QWidget *parent = label->parentWidget();
            const bool onPage = qobject_cast<QStackedWidget *>(parent->parentWidget()) != nullptr;
            const int room = onPage ? 673 : parent->width();
            QVERIFY2(label->x() + metrics.horizontalAdvance(label->text()) <= room,
                     qPrintable(name + " runs out of its parent"));
            QVERIFY2(metrics.height() <= label->height(), qPrintable(name + " is cut below"));
            for (const QLabel *other : parent->findChildren<QLabel *>(Qt::FindDirectChildrenOnly)) {
                QVERIFY2(other == label || !other->geometry().intersects(label->geometry()),
                         qPrintable(name + " runs into " + other->objectName()));
            }
        }
    }

    void libraryFailureIsTheStatus() {
        if (qEnvironmentVariableIsEmpty("OX_EXPECT_LIBRARY_ERROR")) {
            QSKIP("the library works here");
        }
        TForm1 window;
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label7"))->text(),
                 QStringLiteral("Chyba volání knihovny ZOVAK_OX9162"));
    }
};

QTEST_MAIN(WindowFontTest)
#include "window_font_test.moc"
