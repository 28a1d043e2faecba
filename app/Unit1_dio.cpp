// The digital I/O page: DIN shown bit by bit, DOUT and X-DOUT set bit by bit in their
// fields and written with their "Zápis" buttons, and the tick's DIN step.
#include "BitField.h"
#include "KRV5316_regs.h"
#include "PageWidgets.h"
#include "Unit1.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

uint8_t DoutValue = 0;
uint8_t XDoutValue = 0;

namespace {

enum class Port { Din, Dout, Xdout };

// One group box per port, left to right in tab order.
struct PortGroup {
    Port port;
    const char *box;
    int left;
    const char *title;
    const char *panel;
    const char *rowName; // row captions rowName.0 to rowName.7, byte caption rowName
    int firstRowLabel;   // bits 0 to 7, then the byte caption
    const char *cellPrefix;
    int firstCell;        // cell of bit 0
    const char *byteCell; // in the panel, below the bit cells
    const char *button;   // none for DIN
};
constexpr PortGroup kGroups[] = {
    {Port::Din, "GroupBox1", 16, " DIN ", "Panel25", "DIN", 90, "Label", 117, "Label125", nullptr},
    {Port::Dout, "GroupBox2", 176, " DOUT ", "Panel26", "DOUT", 99, "Edit", 1, "Label126",
     "Button6"},
    {Port::Xdout, "GroupBox3", 336, " X-DOUT ", "Panel27", "X-DOUT", 108, "Edit", 10, "Label127",
     "Button7"},
};

constexpr int kRowPitch = 16;

QString bitText(bool set) {
    return set ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

void TForm1::buildDigitalIoPage(QWidget *page) {
    for (const PortGroup &g : kGroups) {
        auto *box = new QGroupBox(QString::fromLatin1(g.title), page);
        box->setObjectName(QString::fromLatin1(g.box));
        box->setGeometry(g.left, 16, 137, 257);
        const QString rowName = QString::fromLatin1(g.rowName);
        // A bit's row caption ("DOUT.3") also names its cell or field for a screen reader.
        const auto bitName = [&rowName](int bit) {
            return rowName + QLatin1Char('.') + QString::number(bit);
        };
        for (int bit = 0; bit < 8; ++bit) {
            makeLabel(box, numberedName("Label", g.firstRowLabel + bit), 16, 32 + kRowPitch * bit,
                      bitName(bit));
        }
        makeLabel(box, numberedName("Label", g.firstRowLabel + 8), 16, 176, rowName);

        // The panel clips the wide fields to the strip that holds their digit.
        QFrame *panel = makeWhitePanel(box, QString::fromLatin1(g.panel), 80, 24, 41, 177);
        for (int bit = 0; bit < 8; ++bit) {
            const QString name = numberedName(g.cellPrefix, g.firstCell + bit);
            const int top = 8 + kRowPitch * bit;
            if (g.port == Port::Din) {
                dinCells[bit] = makeCell(panel, name, bitName(bit), 17, top, 1);
                continue;
            }
            auto *field = new BitField(panel);
            field->setObjectName(name);
            field->setAccessibleName(bitName(bit));
            field->setGeometry(17, top, 121, 21);
            field->setText(QStringLiteral("0"));
            const int number = g.firstCell + bit;
            connect(field, &BitField::keyDown, this, [this, number] { EditKeyDown(number); });
            (g.port == Port::Dout ? doutFields : xdoutFields)[bit] = field;
        }
        QLabel *byteCell = makeCell(panel, QString::fromLatin1(g.byteCell), rowName, 11, 152, 255);
        if (g.port == Port::Din) {
            Label125 = byteCell;
            continue;
        }
        auto *button = new QPushButton(QString::fromUtf8("Zápis"), box);
        button->setObjectName(QString::fromLatin1(g.button));
        button->setAccessibleDescription(QStringLiteral("Zapíše bajt %1 na kartu").arg(rowName));
        button->setGeometry(32, 216, 75, 25);
        button->setEnabled(false);
        if (g.port == Port::Dout) {
            Label126 = byteCell;
            Button6 = button;
            connect(button, &QPushButton::clicked, this, &TForm1::Button6Click);
        } else {
            Label127 = byteCell;
            Button7 = button;
            connect(button, &QPushButton::clicked, this, &TForm1::Button7Click);
        }
    }
}

void TForm1::DinStep(uintptr_t base) {
    const uint8_t din = ReadDin(base);
    Label125->setText(QString::number(din));
    for (int bit = 0; bit < 8; ++bit) {
        dinCells[bit]->setText(bitText((din >> bit) & 1U));
    }
}

// Edit1KeyDown to Edit8KeyDown (DOUT bits 0 to 7), Edit10KeyDown to Edit17KeyDown
// (X-DOUT bits 0 to 7). The running byte follows the field's new text, not a
// recomputation from all eight fields.
void TForm1::EditKeyDown(int number) {
    if (!CardOpen) {
        return;
    }
    const bool dout = number <= 8;
    const int bit = dout ? number - 1 : number - 10;
    QLineEdit *field = (dout ? doutFields : xdoutFields)[bit];
    uint8_t &value = dout ? DoutValue : XDoutValue;
    const auto weight = uint8_t(1U << bit);

    field->setText(bitText(field->text() == QLatin1String("0")));
    if (field->text() == QLatin1String("0")) {
        value = uint8_t(value - weight);
    } else {
        value = uint8_t(value + weight);
    }
    (dout ? Label126 : Label127)->setText(QString::number(value));
}

void TForm1::Button6Click() {
    if (CardOpen) {
        WriteDout(CardList.Cards[SelectedCard].BaseAdr, DoutValue);
    }
}

void TForm1::Button7Click() {
    if (CardOpen) {
        WriteXdout(CardList.Cards[SelectedCard].BaseAdr, XDoutValue);
    }
}
