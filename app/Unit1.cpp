// The window itself: its frame, the four pages, the 100 ms tick, and the card
// selection page with its open, close and end buttons.
#include "Unit1.h"

#include "KRV5316_dwn.h"
#include "KRV5316_regs.h"
#include "PageWidgets.h"
#include "WindowFont.h"
#include "ox9162_driver.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>

TPoleKaret CardList;
TForm1 *Form1 = nullptr;

namespace {

constexpr int kGridRows = 16; // header and 15 empty rows until cards are listed
constexpr int kGridRowHeight = 20;
const QColor kSilver(192, 192, 192);

// The wait cursor for as long as the download holds the message loop.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

QString position(const TKarta &card) {
    return QString::fromStdString(CardPosition(card.BUS, card.SLOT));
}

// A library's words: UTF-8 from the loader and the stand-in, the system's code page from
// a maker's DLL on Windows.
QString libraryText(const std::string &text) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8(QByteArrayView(text));
    return utf8.hasError() ? QString::fromLocal8Bit(text) : decoded;
}

void paintText(QWidget *w, const QColor &colour) {
    QPalette palette = w->palette();
    palette.setColor(QPalette::WindowText, colour);
    w->setPalette(palette);
}

// A top-level plain widget would reach a screen reader as an unnamed area, not as the
// program's window. Qt keeps and deletes the interface.
QAccessibleInterface *windowAccessible(const QString &className, QObject *object) {
    if (className == QLatin1String("TForm1")) {
        return new QAccessibleWidget(qobject_cast<QWidget *>(object), QAccessible::Window);
    }
    return nullptr;
}

// The grid of the cards found: a fixed header row and one row per card, picked by any
// of its cells.
QTableWidget *makeCardGrid(QWidget *page) {
    auto *grid = new QTableWidget(kGridRows, 3, page);
    grid->setObjectName(QStringLiteral("StringGrid1"));
    grid->setGeometry(48, 128, 320, 129);
    const int widths[] = {86, 102, 126};
    for (int c = 0; c < 3; ++c) {
        grid->setColumnWidth(c, widths[c]);
    }
    // The header row is row 0 of the grid, as the open button counts rows; the header
    // view shows it, fixed above the scrolling body, and the row itself stays hidden.
    grid->setRowHidden(0, true);
    QHeaderView *header = grid->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setHighlightSections(false);
    header->setSectionsClickable(false);
    header->setMinimumSectionSize(1);
    header->setFixedHeight(kGridRowHeight);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The hidden row captions still reach a screen reader: they count as the open
    // button does, the header row 0 and the cards from 1.
    QStringList rowCaptions(1);
    for (int r = 1; r < kGridRows; ++r) {
        rowCaptions << QString::number(r);
    }
    grid->setVerticalHeaderLabels(rowCaptions);
    QHeaderView *rows = grid->verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(kGridRowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    grid->setShowGrid(true);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setTabKeyNavigation(false); // Tab leaves the grid for the open button
    grid->setWordWrap(false);
    grid->setCurrentCell(1, 0);
    return grid;
}

// The card maker's logo, drawn unscaled from the top left.
void makeLogo(QWidget *page) {
    auto *image = new QLabel(page);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(472, 32, 97, 57);
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image->setPixmap(QPixmap(QStringLiteral(":/ox_krv5316/logo.bmp")));
}

} // namespace

TForm1::TForm1(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    QAccessible::installFactory(windowAccessible); // Qt skips a factory it holds
    setWindowTitle(QStringLiteral("  OX_KRV5316  -  test PCI karty ZOVAK"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(681, 385);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kSilver);
    palette.setColor(QPalette::Button, kSilver);
    setPalette(palette);
    setAutoFillBackground(true);

    QPixmap icon(QStringLiteral(":/ox_krv5316/icon.bmp"));
    icon.setMask(icon.createMaskFromColor(Qt::magenta)); // the drawing's background
    setWindowIcon(QIcon(icon));

    // The pages are laid out in each face until one shows them whole; the last is kept.
    const QList<QFont> fonts = windowFontCandidates();
    for (const QFont &font : fonts) {
        delete PageControl1;
        setFont(font);
        buildPages();
        if (showsWholly(this)) {
            break;
        }
    }

    // The frame is not known before the first show; centring the client area centres
    // the frame too, as far as its edges are alike, and the first show mends the rest.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect client = geometry();
        client.moveCenter(screen->availableGeometry().center());
        setGeometry(client);
    }

    FormCreate();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start(100);
}

// Where the system knows the frame by now (Windows: its title bar is taller than the
// other edges), the frame is centred; elsewhere the frame is the client area here.
void TForm1::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (Centred) {
        return;
    }
    Centred = true;
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        move(pos() + screen->availableGeometry().center() - frameGeometry().center());
    }
}

void TForm1::buildPages() {
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 0, 681, 385);
    const std::array<QString, 4> captions = {
        QStringLiteral("Výběr karty"), QStringLiteral("Čítače"),
        QStringLiteral("Digitální vstupy/výstupy"), QStringLiteral("Nápověda")};
    std::array<QWidget *, 4> pages{};
    for (std::size_t i = 0; i < pages.size(); ++i) {
        pages[i] = new QWidget(PageControl1);
        pages[i]->setObjectName(numberedName("TabSheet", int(i) + 1));
        pages[i]->setAutoFillBackground(true); // silver, not the style's lighter pane
        pages[i]->setAccessibleName(captions[i]);
        PageControl1->addTab(pages[i], captions[i]);
    }
    buildSelectionPage(pages[0]);
    buildCountersPage(pages[1]);
    buildDigitalIoPage(pages[2]);
    buildHelpPage(pages[3]);
    PageControl1->setCurrentIndex(0);
}

void TForm1::buildSelectionPage(QWidget *page) {
    buildSelectionLabels(page);
    StringGrid1 = makeCardGrid(page);
    // Its heading names it for a screen reader.
    StringGrid1->setAccessibleName(page->findChild<QLabel *>(QStringLiteral("Label3"))->text());
    makeLogo(page);
    buildSelectionButtons(page); // after the grid, for the tab order
}

void TForm1::buildSelectionLabels(QWidget *page) {
    struct LabelRow {
        QLabel *TForm1::*member;
        const char *name;
        int left, top;
        const char *text;
        bool blue;
    };
    static const LabelRow kLabels[] = {
        {nullptr, "Label1", 48, 40, "Počet nalezených karet ZOVAK", false},
        {&TForm1::Label5, "Label5", 312, 40, "0", true},
        {nullptr, "Label2", 48, 64, "Počet nalezených karet KRV-5316", false},
        {&TForm1::Label6, "Label6", 312, 64, "0", true},
        {nullptr, "Label3", 48, 112, "Výběr karty KRV-5316", false},
        {nullptr, "Label4", 48, 296, "Status karty", false},
        {&TForm1::Label7, "Label7", 128, 296, "V pořádku", true},
    };
    for (const LabelRow &row : kLabels) {
        QLabel *label = makeLabel(page, QString::fromLatin1(row.name), row.left, row.top,
                                  QString::fromUtf8(row.text));
        if (row.blue) {
            paintText(label, Qt::blue);
        }
        if (row.member != nullptr) {
            this->*row.member = label;
        }
    }
}

void TForm1::buildSelectionButtons(QWidget *page) {
    struct ButtonRow {
        QPushButton *TForm1::*member;
        const char *name;
        int top;
        const char *text;
        bool enabled;
        void (TForm1::*handler)();
    };
    static const ButtonRow kButtons[] = {
        {&TForm1::Button1, "Button1", 128, "Otevřít kartu", true, &TForm1::Button1Click},
        {&TForm1::Button2, "Button2", 168, "Zavřít kartu", false, &TForm1::Button2Click},
        {&TForm1::Button3, "Button3", 232, "Konec", true, &TForm1::Button3Click},
    };
    QWidget *previous = StringGrid1;
    for (const ButtonRow &row : kButtons) {
        auto *button = new QPushButton(QString::fromUtf8(row.text), page);
        button->setObjectName(QString::fromLatin1(row.name));
        button->setGeometry(472, row.top, 97, 25);
        button->setEnabled(row.enabled);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, row.handler);
        QWidget::setTabOrder(previous, button);
        previous = button;
        this->*row.member = button;
    }
}

// The buttons of all pages as an open card or none leaves them, in this order.
void TForm1::setCardButtons(bool open) {
    const std::pair<QPushButton *, bool> states[] = {
        {Button1, !open}, {Button2, open}, {Button4, false},
        {Button5, false}, {Button6, open}, {Button7, open},
    };
    for (const auto &[button, enabled] : states) {
        button->setEnabled(enabled);
    }
}

void TForm1::setStatus(const QString &text, const std::string &reason) {
    Label7->setText(text);
    Label7->setToolTip(libraryText(reason));
    fitLabel(Label7);
}

void TForm1::setTableStatus() {
    setStatus(QString::fromStdString(CardList.Status), OutcomeReason(CardList.Outcome));
}

void TForm1::FormCreate() {
    QApplication::setApplicationName(QStringLiteral("OX_KRV5316"));
    QApplication::setWindowIcon(windowIcon());
    CardsFound = false;
    CardOpen = false;
    SelectedCard = 0;

    const QStringList headings = {QStringLiteral("Index"), QStringLiteral("BUS"),
                                  QStringLiteral("SLOT")};
    StringGrid1->setHorizontalHeaderLabels(headings);
    for (int c = 0; c < 3; ++c) {
        StringGrid1->setItem(0, c, new QTableWidgetItem(headings[c]));
    }

    if (!FindCards(kKrv5316DeviceId, CardList)) {
        setTableStatus();
        return;
    }
    Label5->setText(QString::number(CardList.CountAll));
    fitLabel(Label5);
    Label6->setText(QString::number(CardList.CountFound));
    fitLabel(Label6);
    if (CardList.CountFound == 0) {
        setStatus(QStringLiteral("Nenalezena žádná karta KRV-5316"));
        return;
    }
    setStatus(QStringLiteral("Není otevřena žádná karta"));
    const int count = static_cast<int>(CardList.CountFound);
    StringGrid1->setRowCount(count + 1);
    for (int r = 1; r <= count; ++r) {
        const TKarta &card = CardList.Cards[r];
        const std::array<QString, 3> cells = {QString::number(r), QString::number(card.BUS),
                                              QString::number(card.SLOT)};
        for (int c = 0; c < 3; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            StringGrid1->setItem(r, c, item);
        }
    }
    CardsFound = true;
}

void TForm1::Timer1Timer() {
    if (!CardOpen) {
        return;
    }
    const uintptr_t base = CardList.Cards[SelectedCard].BaseAdr;
    CountersStep(base);
    DinStep(base);
}

void TForm1::Button1Click() {
    if (!CardsFound || CardOpen) {
        return;
    }
    const int r = std::clamp(StringGrid1->currentRow(), 0, 0xFFFF);
    if (!OpenCard(static_cast<uint16_t>(r), CardList)) {
        setTableStatus();
        return;
    }
    SelectedCard = r;
    const TKarta &card = CardList.Cards[SelectedCard];
    bool loaded = false;
    {
        // The download holds the message loop, so the operator learns what is going
        // on only if the status line is painted now.
        const WaitCursor wait;
        setStatus(QStringLiteral("Probíhá download karty na pozici ") + position(card));
        Label7->repaint();
        loaded = LoadFirmware(card.BaseAdr);
    }
    if (!loaded) {
        setStatus(QStringLiteral("Chyba download karty na pozici ") + position(card));
        return;
    }
    const uint8_t v = ReadVersion(card.BaseAdr);
    setStatus(QStringLiteral("Otevřena karta na pozici %1  (FPGA v.%2)")
                  .arg(position(card), QString::fromStdString(VersionText(v))));
    setCardButtons(true);
    CardOpen = true;
}

void TForm1::Button2Click() {
    if (!CardsFound || !CardOpen) {
        return;
    }
    CloseCard(static_cast<uint16_t>(SelectedCard), CardList);
    setStatus(QStringLiteral("Není otevřena žádná karta"));
    setCardButtons(false);
    CardOpen = false;
}

void TForm1::Button3Click() {
    Timer1->stop(); // no tick may reach the card once it is closed
    if (CardsFound && CardOpen) {
        OX9162_Close(CardList.Cards[SelectedCard].CardNo);
    }
    close();
}
