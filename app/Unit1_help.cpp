// The help page: a framed page of fixed text, one label per line.
#include "PageWidgets.h"
#include "Unit1.h"

#include <QFrame>
#include <QLabel>

namespace {

struct HelpLine {
    const char *name;
    int top; // 16 apart within a paragraph, 32 between paragraphs
    const char *text;
};

// Continuation lines start with 19 blanks, so that they line up under the headed
// lines' text.
// clang-format off: one line of the page per row
const HelpLine kHelpLines[] = {
    {"Label128", 8, "Název :      OX_KRV5316  verze 1.20"},
    {"Label140", 40, "Copyright (C) 2005  ZOVAK spol. s r.o.  Všechna práva vyhrazena."},
    {"Label129", 72,
     "Použití :      Program je určen k ověření funkce čítačové karty KRV-5316 s firmwarem verze "
     "1.2. Je vystavěn nad low-level knihovnou"},
    {"Label130", 88,
     "                   Zovak_OX9162.dll a pro svou činnost nepotřebuje žádnou další knihovnu. "
     "Program nevyužívá přerušení karty."},
    {"Label131", 120,
     "Obsluha :    Po spuštění programu je na záložce \"Výběr karty\" vypsán celkový počet "
     "nalezených karet ZOVAK s řadičem OX9162"},
    {"Label132", 136,
     "                   a počet karet KRV-5316. V tabulce je uveden seznam nalezených karet "
     "včetně jejich pozice v systému. Po výběru"},
    {"Label133", 152,
     "                   požadované karty lze kartu inicializovat tlačítkem \"Otevři kartu\".  "
     "Program při tom otestuje přístup ke kartě a nahraje do ní"},
    {"Label134", 168,
     "                   firmware verze 1.2. Výsledek inicializace je zobrazen ve \"Status "
     "karty\". Tlačítko \"Zavři kartu\" slouží pro uvolnění otevřené"},
    {"Label135", 184, "                   karty, tlačítko \"Konec\" ukončí činnost programu."},
    {"Label136", 200,
     "                   Na záložce \"Čítače\" jsou periodicky vypisovány hodnoty všech čítačů a "
     "aktuální úroveň signálu na jejich vstupech. Pomocí"},
    {"Label137", 216,
     "                   zaškrtávacích políček je možno spouštět a zastavovat jednotlivé čítače, "
     "resp. vynulovat jejich hodnotu."},
    {"Label138", 232,
     "                   Záložka \"Digitální vstupy/výstupy\" je určena k otestování digitálních "
     "portů karty. Je zde možno číst, resp. zapisovat na"},
    {"Label139", 248, "                   porty po jednotlivých bitech."},
    {"Label141", 280, "Kontakt :    technická podpora  podpora@zovak.example,  www.zovak.example"},
};
// clang-format on

} // namespace

void TForm1::buildHelpPage(QWidget *page) {
    auto *bevel = new QFrame(page);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setGeometry(kPageArea);
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    for (const HelpLine &line : kHelpLines) {
        makeLabel(page, QString::fromLatin1(line.name), 8, line.top, QString::fromUtf8(line.text));
    }
}
