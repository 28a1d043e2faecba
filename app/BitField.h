// A one-digit output bit field: it shows "0" or "1" and changes only through its
// owner's toggle. Every key that reaches it is reported as a key-down and goes no
// further, so the field never edits its own text; the keys that move the focus or
// turn the page are the window's and do not reach it.
#pragma once

#include <QLineEdit>

class BitField : public QLineEdit {
    Q_OBJECT

  public:
    explicit BitField(QWidget *parent = nullptr);

  signals:
    // A key went down while the field had the focus (auto-repeat included).
    void keyDown();

  protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};
