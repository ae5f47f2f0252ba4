#include "creation_context.h"
#include "message_window.h"
#include "worker_thread.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QThread>
#include <QTimer>
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

    void aWaitBegunByAPostedMessageServesASendQueuedBehindIt() {
        struct WaitingWindow : RecordingWindow {
            WorkerThread worker;
            bool waited = false;
            LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
                if (message != WM_USER + 20) return RecordingWindow::windowProc(message, wParam, lParam);
                worker.waitServingSends();
                waited = true;
                return 0;
            }
        } window;
        // Posted first, the send queued behind it before the loop runs again: the order in which
        // Qt's glib dispatcher would leave the send to a wait that never serves it.
        postMessage(&window, WM_USER + 20);
        std::atomic<bool> sending{false};
        window.worker.start([&] {
            sending = true;
            sendMessage(&window, WM_USER);
        });
        while (!sending) QThread::yieldCurrentThread();
        QThread::msleep(50);
        // A wait left hanging ends at the next post; this one comes late, and says it was needed.
        bool rescued = false;
        QTimer rescue;
        rescue.setSingleShot(true);
        connect(&rescue, &QTimer::timeout, [&] {
            rescued = true;
            QCoreApplication::postEvent(qApp, new QEvent(QEvent::User));
        });
        rescue.start(3000);
        QTRY_VERIFY(window.waited);
        QVERIFY(!rescued);
        QCOMPARE(window.received.size(), size_t(1));
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
