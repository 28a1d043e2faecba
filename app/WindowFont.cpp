#include "WindowFont.h"

#include "PageWidgets.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>
#include <iterator>

namespace {

// Status lines come and go with the cards, so their letters are asked for as a whole:
// the window speaks Czech.
const char kCzechLetters[] = "ÁČĎÉĚÍŇÓŘŠŤÚŮÝŽáčďéěíňóřšťúůýž";

QFont sized(const QString &family) {
    QFont font(family);
    font.setPixelSize(11);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// Every text the window shows now, and the letters it may show later.
QString shownTexts(const QWidget *window) {
    QString texts = QString::fromUtf8(kCzechLetters);
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        texts += label->text();
    }
    for (const QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        texts += button->text();
    }
    for (const QTabWidget *tabs : window->findChildren<QTabWidget *>()) {
        for (int i = 0; i < tabs->count(); ++i) {
            texts += tabs->tabText(i);
        }
    }
    return texts;
}

// Without merging, the metrics answer for the face itself, not for the faces Qt would
// borrow missing characters from.
bool hasEveryCharacter(QFont font, const QString &texts) {
    font.setStyleStrategy(QFont::NoFontMerging);
    const QFontMetrics metrics(font);
    for (const char32_t c : texts.toUcs4()) {
        if (c > U' ' && !metrics.inFontUcs4(c)) {
            return false;
        }
    }
    return true;
}

// Inside its parent, and over no sibling that does not wholly hold it (the help page's
// bevel holds its lines). A page has its size only once the window is shown.
bool fitsItsPlace(const QLabel *label) {
    const QRect place = label->geometry();
    const QWidget *parent = label->parentWidget();
    const bool onPage = qobject_cast<const QStackedWidget *>(parent->parentWidget()) != nullptr;
    if (!(onPage ? kPageArea : parent->rect()).contains(place) ||
        label->fontMetrics().height() > label->height()) {
        return false;
    }
    for (const QObject *object : parent->children()) {
        const auto *sibling = qobject_cast<const QWidget *>(object);
        if (sibling != nullptr && sibling != label && sibling->geometry().intersects(place) &&
            !sibling->geometry().contains(place)) {
            return false;
        }
    }
    return true;
}

} // namespace

QList<QFont> windowFontCandidates() {
    const QStringList installed = QFontDatabase::families();
    QList<QFont> fonts;
    for (const char *family : kWindowFamilies) {
        if (installed.contains(QLatin1String(family))) {
            fonts << sized(QLatin1String(family));
        }
    }
    if (fonts.isEmpty()) {
        fonts << sized(QLatin1String(std::end(kWindowFamilies)[-1]));
    }
    return fonts;
}

bool showsWholly(const QWidget *window) {
    if (!hasEveryCharacter(window->font(), shownTexts(window))) {
        return false;
    }
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        if (label->pixmap().isNull() && !label->text().isEmpty() && !fitsItsPlace(label)) {
            return false;
        }
    }
    return true;
}
