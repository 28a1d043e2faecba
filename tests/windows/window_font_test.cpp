// The window as Windows shows it, run under Wine by window_font_on_wine.py: every text
// in the chosen face alone, every label inside its parent and clear of the others, no
// line taller than its label; with OX_EXPECT_LIBRARY_ERROR, the library's failure (an
// exception, a fault) in the status line instead of the program's end.
#include "PageWidgets.h"
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
            const int room = onPage ? kPageArea.width() : parent->width();
            QVERIFY2(label->x() + metrics.horizontalAdvance(label->text()) <= room,
                     qPrintable(name + " runs out of its parent"));
            QVERIFY2(metrics.height() <= label->height(), qPrintable(name + " is cut below"));
            for (const QLabel *other : parent->findChildren<QLabel *>(Qt::FindDirectChildrenOnly)) {
                QVERIFY2(other == label || !other->geometry().intersects(label->geometry()),
                         qPrintable(name + " runs into " + other->objectName()));
            }
        }
        if (qEnvironmentVariableIsSet("OX_EXPECT_LIBRARY_ERROR")) {
            QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label7"))->text(),
                     QStringLiteral("Chyba volání knihovny ZOVAK_OX9162"));
        }
    }
};

QTEST_MAIN(WindowFontTest)
#include "window_font_test.moc"
