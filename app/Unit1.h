// The test program's one window: card selection, counters, digital I/O and help
// pages, the 100 ms refresh, and opening and closing a card.
#pragma once

#include "KRV5316_regs.h"
#include "zovak_ox9162.h"

#include <QWidget>
#include <array>
#include <cstdint>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTimer;

extern TPoleKaret CardList; // the cards found at start
extern uint8_t DoutValue;   // the byte the DOUT "Zápis" button writes
extern uint8_t XDoutValue;  // the byte the X-DOUT "Zápis" button writes

class TForm1 : public QWidget {
    Q_OBJECT

  public:
    explicit TForm1(QWidget *parent = nullptr);

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    // Unit1.cpp: creation, the tick, the card selection page and its buttons
    void FormCreate();
    void Timer1Timer();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void buildPages(); // PageControl1 and its pages, in the window's font
    void buildSelectionPage(QWidget *page);
    void buildSelectionLabels(QWidget *page);
    void buildSelectionButtons(QWidget *page);
    // The status line, Label7, with the library's reason, if any, as its tooltip: the
    // line keeps its words whatever the reason.
    void setStatus(const QString &text, const std::string &reason = {});
    void setTableStatus();          // the status and reason of the last FindCards or OpenCard
    void setCardButtons(bool open); // every page's buttons, for an open card or none

    // Unit1_counters.cpp: the counters page and the tick's counters step
    void buildCountersPage(QWidget *page);
    void CountersStep(uintptr_t base);
    void CheckBoxClick(int number); // CheckBox1Click to CheckBox48Click
    void Button4Click();
    void Button5Click();

    // Unit1_dio.cpp: the digital I/O page and the tick's DIN step
    void buildDigitalIoPage(QWidget *page);
    void DinStep(uintptr_t base);
    void EditKeyDown(int number); // Edit1KeyDown to Edit8KeyDown, Edit10KeyDown to Edit17KeyDown
    void Button6Click();
    void Button7Click();

    // Unit1_help.cpp: the help page
    void buildHelpPage(QWidget *page);

    bool Centred = false; // the frame, once it was first shown
    bool CardsFound = false;
    bool CardOpen = false;
    int32_t SelectedCard = 0;

    QTabWidget *PageControl1 = nullptr;
    QTimer *Timer1 = nullptr;

    // card selection page
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QTableWidget *StringGrid1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    QPushButton *Button3 = nullptr;

    // counters page, by counter number
    QPushButton *Button4 = nullptr;
    QPushButton *Button5 = nullptr;
    std::array<QLabel *, kCounterCount> valueLabels{};       // Label40 to Label63
    std::array<QLabel *, kCounterCount> levelLabels{};       // Label64 to Label87
    std::array<QCheckBox *, kCounterCount> startStopBoxes{}; // CheckBox1 to CheckBox24
    std::array<QCheckBox *, kCounterCount> zeroBoxes{};      // CheckBox25 to CheckBox48

    // digital I/O page, by bit number
    QPushButton *Button6 = nullptr;
    QPushButton *Button7 = nullptr;
    std::array<QLabel *, 8> dinCells{};       // Label117 to Label124
    std::array<QLineEdit *, 8> doutFields{};  // Edit1 to Edit8
    std::array<QLineEdit *, 8> xdoutFields{}; // Edit10 to Edit17
    QLabel *Label125 = nullptr;               // DIN byte
    QLabel *Label126 = nullptr;               // DoutValue
    QLabel *Label127 = nullptr;               // XDoutValue
};

extern TForm1 *Form1;
