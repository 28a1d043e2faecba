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

namespace {

// Ctrl+Tab and Ctrl+Shift+Tab turn the page: left unaccepted, they go up to the tab
// control as from any other control. (Tab and Shift+Tab never get here: QWidget::event
// moves the focus with them first.)
bool isPageKey(const QKeyEvent *event) {
    return (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) &&
           event->modifiers().testFlag(Qt::ControlModifier);
}

} // namespace

void BitField::keyPressEvent(QKeyEvent *event) {
    if (isPageKey(event)) {
        event->ignore();
        return;
    }
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
