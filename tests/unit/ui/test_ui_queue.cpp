// The window's work queue: what monitor threads post runs on the window thread, in order, and
// waits while the queue is held (a rescan), except the control steps that end the hold.
#include "UiTestSupport.h"
#include "WindowQueue.h"

#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace uitest;

class CQueueTest : public QObject {
    Q_OBJECT

private slots:
    void postsFromManyThreadsRunInOrderOnTheWindowThread() {
        CWindowQueue queue;
        constexpr int kThreads = 4;
        constexpr int kPerThread = 500;
        std::vector<std::vector<int>> seen(kThreads); // touched on the window thread only
        std::atomic<int> offThread{0};
        std::atomic<int> postersOnWindowThread{0};
        {
            std::vector<std::jthread> posters;
            for (int t = 0; t < kThreads; ++t) {
                posters.emplace_back([&, t] {
                    postersOnWindowThread += queue.IsOwnerThread() ? 1 : 0;
                    for (int i = 0; i < kPerThread; ++i) {
                        queue.Post([&, t, i] {
                            offThread += queue.IsOwnerThread() ? 0 : 1;
                            seen[static_cast<std::size_t>(t)].push_back(i);
                        });
                    }
                });
            }
        }
        QVERIFY(WaitUntil([&] { return queue.Pending() == 0; }));
        QCOMPARE(offThread.load(), 0);
        QCOMPARE(postersOnWindowThread.load(), 0);
        for (const std::vector<int>& s : seen) {
            QCOMPARE(static_cast<int>(s.size()), kPerThread);
            QVERIFY(std::is_sorted(s.begin(), s.end()));
        }
    }

    void heldStepsWaitButControlStepsRun() {
        CWindowQueue queue;
        std::vector<QString> order;
        queue.Hold(true);
        std::jthread poster([&] {
            queue.Post([&] { order.push_back("line 1"); });
            queue.Post([&] { order.push_back("line 2"); });
        });
        poster.join();
        QTest::qWait(30);
        QVERIFY(order.empty());
        QCOMPARE(queue.Pending(), std::size_t(2));
        queue.PostControl([&] {
            order.push_back("rescan done");
            queue.Hold(false);
        });
        QVERIFY(WaitUntil([&] { return order.size() == 3; }));
        QCOMPARE(order, (std::vector<QString>{"rescan done", "line 1", "line 2"}));
        QVERIFY(!queue.Held());
    }

    void drainRunsEverythingEvenWhileHeld() {
        CWindowQueue queue;
        int ran = 0;
        queue.Hold(true);
        for (int i = 0; i < 10; ++i) {
            queue.Post([&] { ++ran; });
        }
        queue.PostControl([&] { ran += 100; });
        queue.Drain();
        QCOMPARE(ran, 110);
        QCOMPARE(queue.Pending(), std::size_t(0));
    }

    void aStepMayPostAnother() {
        CWindowQueue queue;
        std::vector<int> order;
        queue.Post([&] {
            order.push_back(1);
            queue.Post([&] { order.push_back(3); });
        });
        queue.Post([&] { order.push_back(2); });
        QVERIFY(WaitUntil([&] { return order.size() == 3; }));
        QCOMPARE(order, (std::vector<int>{1, 2, 3}));
    }
};

QTEST_MAIN(CQueueTest)
#include "test_ui_queue.moc"
