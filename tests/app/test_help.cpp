// The help page: every line's text, place and fit on the page in the window's font,
// the same before, while and after a card is open.
#include "app_fixture.h"

#include <QFrame>
#include <QLabel>
#include <QTabWidget>

namespace {

struct Line {
    const char *name;
    int top;
    const char *text; // empty: ours to write, checked for its place and fit only
};

// clang-format off
const Line kLines[] = {
    {"Label128", 8, "Název :      OX_KRV5316  verze 1.20"},
    {"Label140", 40, ""},
    {"Label129", 72, "Použití :      Program je určen k ověření funkce čítačové karty KRV-5316 s firmwarem verze 1.2. Je vystavěn nad low-level knihovnou"},
    {"Label130", 88, "                   Zovak_OX9162.dll a pro svou činnost nepotřebuje žádnou další knihovnu. Program nevyužívá přerušení karty."},
    {"Label131", 120, "Obsluha :    Po spuštění programu je na záložce \"Výběr karty\" vypsán celkový počet nalezených karet ZOVAK s řadičem OX9162"},
    {"Label132", 136, "                   a počet karet KRV-5316. V tabulce je uveden seznam nalezených karet včetně jejich pozice v systému. Po výběru"},
    {"Label133", 152, "                   požadované karty lze kartu inicializovat tlačítkem \"Otevři kartu\".  Program při tom otestuje přístup ke kartě a nahraje do ní"},
    {"Label134", 168, "                   firmware verze 1.2. Výsledek inicializace je zobrazen ve \"Status karty\". Tlačítko \"Zavři kartu\" slouží pro uvolnění otevřené"},
    {"Label135", 184, "                   karty, tlačítko \"Konec\" ukončí činnost programu."},
    {"Label136", 200, "                   Na záložce \"Čítače\" jsou periodicky vypisovány hodnoty všech čítačů a aktuální úroveň signálu na jejich vstupech. Pomocí"},
    {"Label137", 216, "                   zaškrtávacích políček je možno spouštět a zastavovat jednotlivé čítače, resp. vynulovat jejich hodnotu."},
    {"Label138", 232, "                   Záložka \"Digitální vstupy/výstupy\" je určena k otestování digitálních portů karty. Je zde možno číst, resp. zapisovat na"},
    {"Label139", 248, "                   porty po jednotlivých bitech."},
    {"Label141", 280, ""},
};
// clang-format on

} // namespace

class HelpPageTest : public WindowTest {
  protected:
    std::vector<QString> texts() {
        std::vector<QString> result;
        for (const Line &line : kLines) {
            result.push_back(control<QLabel>(line.name)->text());
        }
        return result;
    }
};

TEST_F(HelpPageTest, EveryLineInPlaceWholeAndExact) {
    start();
    auto *page = control<QWidget>("TabSheet4");
    control<QTabWidget>("PageControl1")->setCurrentWidget(page);
    auto *bevel = control<QFrame>("Bevel1");
    ASSERT_NE(bevel, nullptr);
    EXPECT_EQ(bevel->geometry(), QRect(0, 0, 673, 356));
    EXPECT_EQ(bevel->frameShape(), QFrame::Box);
    EXPECT_EQ(bevel->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(page->findChildren<QLabel *>().size(), std::size(kLines)) << "a stray label";

    for (const Line &line : kLines) {
        SCOPED_TRACE(line.name);
        auto *label = control<QLabel>(line.name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->parentWidget(), page);
        EXPECT_TRUE(label->isVisible());
        if (*line.text != '\0') {
            EXPECT_EQ(label->text(), QString::fromUtf8(line.text));
        } else {
            EXPECT_GT(label->text().trimmed().size(), 10);
        }
        EXPECT_EQ(label->geometry().topLeft(), QPoint(8, line.top));
        EXPECT_EQ(label->height(), 13);
        EXPECT_FALSE(label->wordWrap());
        // Whole on one line, inside the page's frame.
        const int width = label->fontMetrics().horizontalAdvance(label->text());
        EXPECT_GE(label->width(), width);
        EXPECT_LT(8 + width, bevel->width() - bevel->frameWidth()) << width << " px";
        EXPECT_EQ(label->font(), form->font());
    }
}

TEST_F(HelpPageTest, TheOwnLinesHaveTheirHeadingsAndAddresses) {
    start();
    EXPECT_TRUE(control<QLabel>("Label140")->text().contains("ZOVAK"));
    const QString contact = control<QLabel>("Label141")->text();
    EXPECT_TRUE(contact.startsWith("Kontakt :    ")) << contact.toStdString();
    EXPECT_TRUE(contact.contains('@'));
    EXPECT_TRUE(contact.contains("www."));
}

TEST_F(HelpPageTest, TextsDoNotChangeWithTheCard) {
    start("0123@2/13");
    const std::vector<QString> before = texts();
    openCard(1);
    ASSERT_TRUE(control<QPushButton>("Button2")->isEnabled());
    tick();
    EXPECT_EQ(texts(), before);
    click("Button2");
    EXPECT_EQ(texts(), before);
}
