// What a screen reader learns of the window in-process: a name of its own for every
// control the operator reaches, what the writing buttons act on, and the cells' numbers.
#include "app_fixture.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <map>

class AccessibilityTest : public WindowTest {
  protected:
    QAccessibleInterface *accessible(const QString &name) {
        QWidget *w = control<QWidget>(name);
        return w != nullptr ? QAccessible::queryAccessibleInterface(w) : nullptr;
    }
    std::string text(const QString &name, QAccessible::Text kind) {
        QAccessibleInterface *a = accessible(name);
        return a != nullptr ? a->text(kind).toStdString() : std::string();
    }
    double value(const QString &name) {
        QAccessibleInterface *a = accessible(name);
        QAccessibleValueInterface *v = a != nullptr ? a->valueInterface() : nullptr;
        EXPECT_NE(v, nullptr) << name.toStdString() << " has no value";
        return v != nullptr ? v->currentValue().toDouble() : -1;
    }
};

TEST_F(AccessibilityTest, EveryControlAndCellHasANameOfItsOwn) {
    start();
    std::map<std::string, std::string> owners; // accessible name -> object name
    for (QWidget *w : form->findChildren<QWidget *>()) {
        // The tab bar's scroll buttons stay hidden: the four tabs fit.
        const bool operated = !w->isHidden() && (w->focusPolicy() & Qt::TabFocus) &&
                              (qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w) ||
                               qobject_cast<QAbstractItemView *>(w));
        const bool cell = w->inherits("CellLabel");
        if (!operated && !cell) {
            continue;
        }
        const std::string object = w->objectName().toStdString();
        const std::string name =
            QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).toStdString();
        EXPECT_FALSE(name.empty()) << object;
        if (qobject_cast<QPushButton *>(w) != nullptr) {
            continue; // two say "Zápis"; their descriptions tell them apart
        }
        const auto [where, fresh] = owners.emplace(name, object);
        EXPECT_TRUE(fresh) << object << " and " << where->second << " are both \"" << name << '"';
    }
    // The check boxes, the bit fields and the grid; the cells.
    EXPECT_EQ(owners.size(), 48 + 16 + 1 + 48 + 8 + 3u);

    // Numbered controls name their own counter or bit, not a neighbour's.
    const std::pair<const char *, const char *> samples[] = {
        {"CheckBox6", "CNT5 Start/Stop"},
        {"CheckBox30", "CNT5 Nulování"},
        {"Label45", "CNT5 hodnota"},
        {"Label69", "CNT5 vstup"},
        {"Edit4", "DOUT.3"},
        {"Label119", "DIN.2"},
    };
    for (const auto &[object, name] : samples) {
        EXPECT_EQ(text(object, QAccessible::Name), name) << object;
    }
    EXPECT_EQ(accessible("Edit4")->role(), QAccessible::EditableText);
    EXPECT_EQ(accessible("Label45")->role(), QAccessible::StaticText);
    // The grid's rows as the open button counts them: card 1 in row 1.
    QAccessibleTableInterface *grid = accessible("StringGrid1")->tableInterface();
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->rowDescription(1).toStdString(), "1");
    EXPECT_EQ(grid->cellAt(1, 0)->text(QAccessible::Name).toStdString(), "1");
}

TEST_F(AccessibilityTest, WritingButtonsSayWhatTheyActOn) {
    start();
    const std::pair<const char *, const char *> buttons[] = {{"Button6", " DOUT"},
                                                             {"Button7", "X-DOUT"},
                                                             {"Button4", "Start/Stop"},
                                                             {"Button5", "Nulování"}};
    for (const auto &[object, word] : buttons) {
        const std::string description = text(object, QAccessible::Description);
        EXPECT_NE(description.find(word), std::string::npos) << object << ": " << description;
    }
    EXPECT_EQ(text("Button6", QAccessible::Description).find("X-DOUT"), std::string::npos);
}

TEST_F(AccessibilityTest, CellsGiveTheNumberTheyShow) {
    start();
    openCard();
    oxsim::SetCounter(0, 5, 3000000000U);
    oxsim::SetDin(0, 0xA5);
    tick();
    EXPECT_EQ(value("Label45"), 3000000000.0); // CNT5 hodnota
    EXPECT_EQ(value("Label125"), 165.0);       // DIN
    EXPECT_EQ(value("Label119"), 1.0);         // DIN.2
    EXPECT_EQ(value("Label118"), 0.0);         // DIN.1
    EXPECT_EQ(text("Label125", QAccessible::Value), "165");
    EXPECT_EQ(text("Label125", QAccessible::Name), "DIN") << "the name stays while the value moves";
}
