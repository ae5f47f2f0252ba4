#pragma once
// The window tests' harness for questions: a tip that no step of the test answers fails the test
// within seconds, naming its text, instead of leaving the flow waiting for a click until the CTest
// limit; and each test function as a whole has a bound (a flow that hangs without a tip).

#include "deadline.h"
#include "tip_dialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <memory>

namespace pavoline::test {

class UnansweredTips : public QObject {
public:
    explicit UnansweredTips(std::chrono::seconds perTest) : perTest_(perTest) {
        connect(&watch_, &QTimer::timeout, this, [this] { look(); });
    }
    // From the test class's init() and cleanup().
    void start() {
        deadline_ = std::make_unique<Deadline>(QTest::currentTestFunction(), perTest_);
        shown_ = nullptr;
        qApp->installEventFilter(this);
        watch_.start(100);
    }
    void stop() {
        watch_.stop();
        qApp->removeEventFilter(this);
        deadline_.reset();
    }

protected:
    // Every showing of a tip starts its time afresh, also of one shown again.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            if (auto* tip = qobject_cast<CTipDlg*>(watched)) {
                shown_ = tip;
                since_.start();
            }
        return false;
    }

private:
    static constexpr int kAnswerWithinMs = 15000;

    void look() {
        if (shown_ && shown_->isVisible() && since_.elapsed() > kAnswerWithinMs)
            qFatal("FAIL: %s: the tip \"%s\" was left unanswered", QTest::currentTestFunction(), qPrintable(shown_->text()));
    }

    std::chrono::seconds perTest_;
    std::unique_ptr<Deadline> deadline_;
    QTimer watch_;
    QPointer<CTipDlg> shown_;
    QElapsedTimer since_;
};

} // namespace pavoline::test
