#include "PageWidgets.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>

namespace {

constexpr int LabelHeight = 13;

// A one-line caption drawn at its baseline: it looks as QLabel draws it, without the
// general text layout that QLabel runs on every repaint, which the ~30 cells that
// change on each tick would otherwise pay for.
class CellLabel : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QFontMetrics metrics = fontMetrics();
        painter.drawText(QPoint(0, (height() - metrics.height()) / 2 + metrics.ascent()), text());
    }
};

} // namespace

QString numberedName(const char *prefix, int number) {
    return QString::fromLatin1(prefix) + QString::number(number);
}

QLabel *makeLabel(QWidget *parent, const QString &name, int left, int top, const QString &caption) {
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->move(left, top);
    fitLabel(label);
    return label;
}

void fitLabel(QLabel *label) {
    label->resize(label->sizeHint().width(), LabelHeight);
}

// Digits share one width in the window's fonts, so a new caption needs no new layout;
// the cell paints its own white, so a new caption repaints the cell alone and not its
// panel.
QLabel *makeCell(QWidget *parent, const QString &name, int left, int top, const QString &widest) {
    QLabel *label = new CellLabel(widest, parent);
    label->setObjectName(name);
    label->move(left, top);
    fitLabel(label);
    label->setText(QStringLiteral("0"));
    label->setAutoFillBackground(true);
    return label;
}

QFrame *makeWhitePanel(QWidget *parent, const QString &name, int left, int top, int width,
                       int height) {
    auto *panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setGeometry(left, top, width, height);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, Qt::white);
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
    return panel;
}
