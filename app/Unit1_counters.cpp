// The counters page: 24 rows of value, input level, Start/Stop box and zero box, the
// two buttons that write the masks, and the tick's counters step.
#include "KRV5316_regs.h"
#include "PageWidgets.h"
#include "Unit1.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace {

// A click anywhere on the box counts, not only on its square:
// the box shows as a narrow strip of the white column.
class CellCheckBox : public QCheckBox {
  public:
    using QCheckBox::QCheckBox;

  protected:
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }
};

enum class Column { Value, Level, StartStop, Zero };

// The white panels in their tab order (Panel1 first); each holds four counters.
struct PanelRow {
    int left;
    int top;
    int width;
    Column column;
    int firstCounter;
};
constexpr PanelRow kPanels[] = {
    {64, 32, 81, Column::Value, 0},        {152, 32, 33, Column::Level, 0},
    {192, 32, 49, Column::StartStop, 0},   {248, 32, 49, Column::Zero, 0},
    {64, 120, 81, Column::Value, 4},       {152, 120, 33, Column::Level, 4},
    {192, 120, 49, Column::StartStop, 4},  {248, 120, 49, Column::Zero, 4},
    {64, 208, 81, Column::Value, 8},       {152, 208, 33, Column::Level, 8},
    {192, 208, 49, Column::StartStop, 8},  {248, 208, 49, Column::Zero, 8},
    {408, 32, 81, Column::Value, 12},      {408, 120, 81, Column::Value, 16},
    {408, 208, 81, Column::Value, 20},     {496, 32, 33, Column::Level, 12},
    {496, 120, 33, Column::Level, 16},     {496, 208, 33, Column::Level, 20},
    {536, 32, 49, Column::StartStop, 12},  {536, 120, 49, Column::StartStop, 16},
    {536, 208, 49, Column::StartStop, 20}, {592, 32, 49, Column::Zero, 12},
    {592, 120, 49, Column::Zero, 16},      {592, 208, 49, Column::Zero, 20},
};

// Per column: the first control's number, the left edge of its cells in the panel, and
// the word after the counter's name in a control's accessible name ("CNT5 hodnota").
struct CellKind {
    const char *prefix;
    int firstNumber;
    int left;
    const char *what;
};
constexpr CellKind kCells[] = {
    {"Label", 40, 8, "hodnota"},       // Value: Label40 to Label63
    {"Label", 64, 13, "vstup"},        // Level: Label64 to Label87
    {"CheckBox", 1, 19, "Start/Stop"}, // StartStop: CheckBox1 to CheckBox24
    {"CheckBox", 25, 18, "Nulování"}   // Zero: CheckBox25 to CheckBox48
};

struct Heading {
    const char *name;
    int left;
    const char *caption;
};
constexpr Heading kHeadings[] = {
    {"Label20", 64, "Hodnota"},     {"Label21", 152, "Vstup"},    {"Label22", 192, "Start/Stop"},
    {"Label23", 248, "Nulování"},   {"Label36", 408, "Hodnota"},  {"Label37", 496, "Vstup"},
    {"Label38", 536, "Start/Stop"}, {"Label39", 592, "Nulování"},
};

constexpr int kCellTop = 8; // first cell in a panel
constexpr int kCellPitch = 16;

QPushButton *makeButton(QWidget *page, const char *name, int left, const char *caption,
                        const char *description) {
    auto *button = new QPushButton(QString::fromUtf8(caption), page);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleDescription(QString::fromUtf8(description));
    button->setGeometry(left, 312, 75, 25);
    button->setEnabled(false);
    return button;
}

} // namespace

void TForm1::buildCountersPage(QWidget *page) {
    for (const Heading &h : kHeadings) {
        makeLabel(page, QString::fromLatin1(h.name), h.left, 16, QString::fromUtf8(h.caption));
    }
    // Names: Label8 to Label19 on the left half, Label24 to Label35 on the right;
    // each block of four starts on its panel's first cell line.
    constexpr int kPerHalf = int(kCounterCount) / 2;
    for (int i = 0; i < int(kCounterCount); ++i) {
        const bool left = i < kPerHalf;
        const int inHalf = i % kPerHalf;
        const int top = 32 + 88 * (inHalf / 4) + kCellTop + kCellPitch * (inHalf % 4);
        makeLabel(page, numberedName("Label", (left ? 8 : 24) + inHalf), left ? 16 : 352, top,
                  numberedName("CNT", i));
    }
    // Panels in tab order, so the focus chain runs through the boxes as laid out.
    for (int p = 0; p < int(std::size(kPanels)); ++p) {
        const PanelRow &row = kPanels[p];
        QFrame *panel =
            makeWhitePanel(page, numberedName("Panel", p + 1), row.left, row.top, row.width, 81);
        const CellKind &kind = kCells[int(row.column)];
        for (int k = 0; k < 4; ++k) {
            const int i = row.firstCounter + k;
            const QString name = numberedName(kind.prefix, kind.firstNumber + i);
            const QString what =
                numberedName("CNT", i) + QLatin1Char(' ') + QString::fromUtf8(kind.what);
            const int top = kCellTop + kCellPitch * k;
            if (row.column == Column::Value || row.column == Column::Level) {
                const bool value = row.column == Column::Value;
                QLabel *label = makeCell(panel, name, what, kind.left, top, value ? UINT32_MAX : 1);
                (value ? valueLabels : levelLabels)[i] = label;
                continue;
            }
            auto *box = new CellCheckBox(panel);
            box->setObjectName(name);
            box->setAccessibleName(what);
            box->setGeometry(kind.left, top, 97, 17);
            const int number = kind.firstNumber + i;
            // clicked() comes only from the operator, so the clearing done by the
            // program never counts as a click.
            connect(box, &QCheckBox::clicked, this, [this, number] { CheckBoxClick(number); });
            (row.column == Column::StartStop ? startStopBoxes : zeroBoxes)[i] = box;
        }
    }
    Button4 = makeButton(page, "Button4", 480, "Start/Stop",
                         "Spustí čítače zaškrtnuté ve sloupcích Start/Stop a ostatní zastaví");
    Button5 = makeButton(page, "Button5", 568, "Nuluj",
                         "Vynuluje čítače zaškrtnuté ve sloupcích Nulování");
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
}

void TForm1::CountersStep(uintptr_t base) {
    for (unsigned i = 0; i < kCounterCount; ++i) {
        valueLabels[i]->setText(QString::number(ReadCounter(base, i)));
    }
    const Mask3 levels = ReadInputLevels(base);
    for (unsigned i = 0; i < kCounterCount; ++i) {
        const bool high = levels[CounterGroup(i)] & CounterBit(i);
        levelLabels[i]->setText(high ? QStringLiteral("1") : QStringLiteral("0"));
    }
}

// CheckBox1Click to CheckBox48Click: the box has already taken its new state.
void TForm1::CheckBoxClick(int number) {
    const bool startStop = number <= int(kCounterCount);
    QCheckBox *box = startStop ? startStopBoxes[number - 1] : zeroBoxes[number - 1 - kCounterCount];
    if (CardOpen) {
        (startStop ? Button4 : Button5)->setEnabled(true);
    } else {
        box->setChecked(false);
    }
}

namespace {
Mask3 maskOf(const std::array<QCheckBox *, kCounterCount> &boxes, bool clearAfterReading) {
    Mask3 mask{};
    for (unsigned i = 0; i < boxes.size(); ++i) {
        if (boxes[i]->isChecked()) {
            mask[CounterGroup(i)] |= CounterBit(i);
        }
        if (clearAfterReading) {
            boxes[i]->setChecked(false);
        }
    }
    return mask;
}
} // namespace

void TForm1::Button4Click() {
    if (!CardOpen) {
        return;
    }
    const uintptr_t base = CardList.Cards[SelectedCard].BaseAdr;
    const Mask3 mask = maskOf(startStopBoxes, false);
    WriteStartStop(base, mask[0], mask[1], mask[2]);
    Button4->setEnabled(false);
}

void TForm1::Button5Click() {
    if (!CardOpen) {
        return;
    }
    const uintptr_t base = CardList.Cards[SelectedCard].BaseAdr;
    const Mask3 mask = maskOf(zeroBoxes, true);
    WriteClearMask(base, mask[0], mask[1], mask[2]);
    Button5->setEnabled(false);
}
