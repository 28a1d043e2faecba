// A window on simulated cards, driven as an operator would: controls found by
// object name, mouse and key events through QTest.
#pragma once

#include "Unit1.h"
#include "sim_control.h"
#include "trace_util.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

class WindowTest : public ::testing::Test {
  protected:
    // Configures the simulated cards, stops their clock and creates the window,
    // which enumerates them.
    void start(const std::string &cards = "0123@2/13") {
        std::string error;
        oxsim::KeepTrace();
        ASSERT_TRUE(oxsim::Configure(cards, &error)) << error;
        oxsim::UseVirtualClock();
        DoutValue = 0;
        XDoutValue = 0;
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    void TearDown() override {
        form.reset();
        Form1 = nullptr;
    }

    template <typename T> T *control(const QString &name) {
        T *w = form->findChild<T *>(name);
        EXPECT_NE(w, nullptr) << "no control " << name.toStdString();
        return w;
    }

    void click(const QString &name) {
        QWidget *w = control<QWidget>(name);
        if (w != nullptr) {
            QTest::mouseClick(w, Qt::LeftButton);
        }
    }

    // Makes row r of the card grid current and presses "Otevřít kartu".
    void openCard(int row = 1) {
        auto *grid = control<QTableWidget>("StringGrid1");
        grid->setCurrentCell(row, 0);
        click("Button1");
    }

    // The object names of a page's controls in the order Tab visits them.
    QStringList tabOrder(const QString &pageName) {
        auto *page = control<QWidget>(pageName);
        QStringList order;
        for (QWidget *w = page->nextInFocusChain(); w != page; w = w->nextInFocusChain()) {
            if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus)) {
                order << w->objectName();
            }
        }
        return order;
    }

    // One expiry of Timer1, delivered at once so that no other tick interferes.
    void tick() {
        auto *timer = control<QTimer>("Timer1");
        QTimerEvent event(timer->timerId());
        QCoreApplication::sendEvent(timer, &event);
    }

    std::unique_ptr<TForm1> form;
};
