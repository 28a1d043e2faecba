// The field keeps QLineEdit's look, focus and caret, but every way the edit control
// would change its text by itself is shut: typed keys, input methods, drops, the
// context menu and the X11 middle-button paste.
#include "BitField.h"

#include <QKeyEvent>
#include <QMouseEvent>

BitField::BitField(QWidget *parent) : QLineEdit(parent) {
    setFrame(false);
    // The digit on the line of its row caption, not in the middle of the tall field.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

// Tab and Backtab never get here: QWidget::event moves the focus with them first.
void BitField::keyPressEvent(QKeyEvent *event) {
    emit keyDown();
    event->accept();
}

void BitField::keyReleaseEvent(QKeyEvent *event) {
    event->accept();
}

void BitField::inputMethodEvent(QInputMethodEvent *event) {
    event->ignore();
}

void BitField::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}
