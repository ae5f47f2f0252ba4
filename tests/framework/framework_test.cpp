#include "creation_context.h"
#include "message_window.h"
#include "worker_thread.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QWidget>

#include <atomic>
#include <vector>

namespace pavoline {

// A window that records what reaches its window procedure.
class RecordingWindow : public QWidget, public MessageWindow {
public:
    RecordingWindow() : MessageWindow(this) {}
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        received.push_back({message, wParam, lParam});
        onThread.push_back(QThread::currentThread() == thread());
        return static_cast<LRESULT>(wParam * 10 + static_cast<WPARAM>(lParam));
    }
    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Message> received;
    std::vector<bool> onThread;
};

class SampleView : public QLabel {
    Q_OBJECT
public:
    Q_INVOKABLE explicit SampleView(QWidget* parent) : QLabel(parent) { setText("view"); }
};

class FrameworkTest : public QObject {
    Q_OBJECT
private slots:
    void messageNumbersAreTheSystems() {
        QCOMPARE(WM_SKIN_CLICK, 1028u);
        QCOMPARE(WM_SWITCH_MODE, 2029u);
        QCOMPARE(WM_TIP_UPDATE, 2045u);
        QCOMPARE(WM_SKIN_SCROLL, 2944u);
        QCOMPARE(WM_SKIN_LISTITEM, 3200u);
    }

    void sendOnTheWindowsThreadIsADirectCall() {
        RecordingWindow window;
        QCOMPARE(sendMessage(&window, WM_USER, 4, 2), LRESULT(42));
        QCOMPARE(window.received.size(), size_t(1));
    }

    void sendFromAWorkerReturnsTheWindowsResult() {
        RecordingWindow window;
        WorkerThread worker;
        std::atomic<LRESULT> result{0};
        worker.start([&] { result = sendMessage(&window, WM_USER, 7, 3); });
        worker.waitServingSends();
        QCOMPARE(result.load(), LRESULT(73));
        QCOMPARE(window.onThread.at(0), true); // run on the window's thread, not the worker's
    }

    void aWorkerSendingWhileTheUiWaitsNeverDeadlocks() {
        RecordingWindow window;
        WorkerThread worker;
        worker.start([&] {
            for (int i = 0; i < 200; ++i) sendMessage(&window, WM_USER, 1, i);
        });
        worker.waitServingSends(); // a bare join here would hang on the first send
        QCOMPARE(window.received.size(), size_t(200));
        QVERIFY(!worker.running());
    }

    void postedMessagesKeepTheirOrder() {
        RecordingWindow window;
        WorkerThread worker;
        worker.start([&] {
            for (int i = 0; i < 100; ++i) postMessage(&window, WM_USER + 8, 0, i);
        });
        worker.waitServingSends();
        for (int i = 0; i < 100; ++i) postMessage(&window, WM_USER + 8, 1, i);
        QTRY_COMPARE(window.received.size(), size_t(200));
        for (int i = 0; i < 200; ++i) QCOMPARE(window.received[i].lParam, LPARAM(i % 100));
    }

    void aPostFromTheWindowsOwnThreadWaitsForTheEventLoop() {
        RecordingWindow window;
        QVERIFY(postMessage(&window, WM_USER + 12, 1, 0));
        QVERIFY(window.received.empty()); // unlike a send, never handled within the call
        QTRY_COMPARE(window.received.size(), size_t(1));
    }

    void postToAWindowThatIsGoneIsDropped() {
        auto* window = new RecordingWindow;
        QVERIFY(postMessage(window, WM_USER));
        delete window;
        QCoreApplication::processEvents(); // must not reach the deleted window
        QVERIFY(true);
    }

    void creationContextMakesTheViewClass() {
        QWidget frame;
        CCreateContext context;
        context.m_pNewViewClass = &SampleView::staticMetaObject;
        context.m_pCurrentFrame = &frame;
        QWidget* view = context.CreateView(&frame);
        QVERIFY(view);
        QCOMPARE(view->parent(), &frame);
        QCOMPARE(qobject_cast<QLabel*>(view)->text(), QString("view"));
        CCreateContext empty;
        QVERIFY(!empty.CreateView(&frame));
        SetAppMainWindow(&frame);
        QCOMPARE(AppMainWindow(), &frame);
    }
};

} // namespace pavoline

QTEST_MAIN(pavoline::FrameworkTest)
#include "framework_test.moc"
