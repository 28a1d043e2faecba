#include "PageWidgets.h"

#include <QAccessibleWidget>
#include <QFrame>
#include <QLabel>
#include <QPainter>

namespace {

constexpr int kLabelHeight = 13;

// A one-line caption drawn at its baseline: it looks as QLabel draws it, without the
// general text layout that QLabel runs on every repaint, which the ~30 cells that
// change on each tick would otherwise pay for.
class CellLabel : public QLabel {
    // Its own class name, so that its accessible interface is found before a label's.
    Q_OBJECT

  public:
    CellLabel(QWidget *parent, uint32_t maximum)
        : QLabel(QString::number(maximum), parent), maximum_(maximum) {}
    uint32_t maximum() const { return maximum_; }

  protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QFontMetrics metrics = fontMetrics();
        painter.drawText(QPoint(0, (height() - metrics.height()) / 2 + metrics.ascent()), text());
    }

  private:
    uint32_t maximum_;
};

// A cell's accessible name says what it shows, so its number, which a label would give
// as its name, goes out as a read-only value instead.
class CellAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit CellAccessible(CellLabel *cell)
        : QAccessibleWidget(cell, QAccessible::StaticText), cell_(cell) {}

    void *interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface *>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? cell_->text() : QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return cell_->text().toDouble(); }
    void setCurrentValue(const QVariant &) override {} // shown, never set from outside
    QVariant maximumValue() const override { return double(cell_->maximum()); }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 1.0; }

  private:
    CellLabel *cell_;
};

// Qt keeps the interfaces that a factory makes and deletes them with their widgets.
QAccessibleInterface *cellAccessible(const QString &className, QObject *object) {
    if (className == QLatin1String("CellLabel")) {
        return new CellAccessible(qobject_cast<CellLabel *>(object));
    }
    return nullptr;
}

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
    label->resize(label->sizeHint().width(), kLabelHeight);
}

// Digits share one width in the window's fonts, so a new caption needs no new layout;
// the cell paints its own white, so a new caption repaints the cell alone and not its
// panel.
QLabel *makeCell(QWidget *parent, const QString &name, const QString &accessibleName, int left,
                 int top, uint32_t maximum) {
    QAccessible::installFactory(cellAccessible); // once: Qt skips a factory it holds
    QLabel *label = new CellLabel(parent, maximum);
    label->setObjectName(name);
    label->setAccessibleName(accessibleName);
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

#include "PageWidgets.moc"
