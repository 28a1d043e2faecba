// A shown window on one simulated card, opened as an operator opens it, for the
// benchmarks that drive the window by its timer and buttons.
#pragma once

#include "Unit1.h"
#include "sim_control.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

// A shown window with card 1 open, all 24 counters started, the counters page in front;
// the simulator keeps the latest keptEvents of its trace.
class OpenWindow {
  public:
    explicit OpenWindow(std::size_t keptEvents = oxsim::kTestTraceEvents) {
        std::string error;
        oxsim::KeepTrace(keptEvents);
        if (!oxsim::Configure("0123@2/13", &error)) {
            std::fprintf(stderr, "simulator: %s\n", error.c_str());
            std::exit(1);
        }
        oxsim::UseVirtualClock();
        form_ = std::make_unique<TForm1>();
        Form1 = form_.get();
        form_->show();
        if (!QTest::qWaitForWindowExposed(form_.get())) {
            std::fprintf(stderr, "the window was never shown\n");
            std::exit(1);
        }
        form_->findChild<QTableWidget *>("StringGrid1")->setCurrentCell(1, 0);
        click("Button1");
        if (!cardOpen()) {
            std::fprintf(stderr, "the card did not open\n");
            std::exit(1);
        }
        for (int n = 1; n <= 24; ++n) {
            click(QStringLiteral("CheckBox%1").arg(n));
        }
        click("Button4");
        find<QTabWidget>("PageControl1")->setCurrentIndex(1);
        QCoreApplication::processEvents();
        oxsim::ClearTrace();
    }
    ~OpenWindow() { Form1 = nullptr; }

    void showPage(int index) {
        find<QTabWidget>("PageControl1")->setCurrentIndex(index);
        QCoreApplication::processEvents();
    }

    void tick() {
        QTimerEvent event(find<QTimer>("Timer1")->timerId());
        QCoreApplication::sendEvent(find<QTimer>("Timer1"), &event);
    }

    void click(const QString &name) { QTest::mouseClick(find<QWidget>(name), Qt::LeftButton); }
    bool cardOpen() { return find<QPushButton>("Button2")->isEnabled(); }

  private:
    template <typename T> T *find(const QString &name) {
        T *w = form_->findChild<T *>(name);
        if (w == nullptr) {
            std::fprintf(stderr, "no control %s\n", qPrintable(name));
            std::exit(1);
        }
        return w;
    }

    std::unique_ptr<TForm1> form_;
};
