#include "platform/SerialQueue.h"
#include "platform/MainQueue.h"
#include "support/TestSupport.h"

#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <pthread.h>
#include <vector>

using namespace murmelo;

TEST(SerialQueue, RunsInOrderOnANamedWorkerAndReportsBackOnTheMainThread)
{
    std::vector<int> order;
    std::string workerName;
    bool completionOnMain = false;
    bool done = false;
    {
        SerialQueue queue("reverseQueue");
        for (int i = 0; i < 50; ++i)
            queue.async([&order, i] { order.push_back(i); });
        queue.async([&] {
            char name[16] = {};
            pthread_getname_np(pthread_self(), name, sizeof name);
            workerName = name;
            postToMainQueue([&] {
                completionOnMain = isMainThread();
                done = true;
            });
        });
    } // the handle is dropped while work is still queued: the work must still run
    ASSERT_TRUE(test::waitUntil([&] { return done; }));
    EXPECT_EQ(workerName, "reverseQueue");
    EXPECT_TRUE(completionOnMain);
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
}

TEST(SerialQueue, WaitUntilIdleCoversWorkPostedFromWithinAndNamesAreTruncated)
{
    SerialQueue queue("averyveryverylongqueuename");
    std::atomic<int> count = 0;
    std::string name;
    queue.async([&] {
        ++count;
        char buffer[16] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        name = buffer;
        queue.async([&] { ++count; });
    });
    queue.waitUntilIdle();
    EXPECT_EQ(count.load(), 2);
    EXPECT_EQ(name, "averyveryverylo");
    SerialQueue::waitForAllQueues();
}
