// The request queue between the host's thread and the worker.
#include <gtest/gtest.h>
#include <future>
#include "AllocationCounter.h"
#include "serial/RequestQueue.h"

namespace {

ITransferRequest* Fake(uintptr_t n) { return reinterpret_cast<ITransferRequest*>(n * 16); }

TEST(RequestQueue, HeadStaysUntilRemovedAndRequestsLeaveInOrder) {
    Serial::CRequestQueue queue;
    EXPECT_EQ(queue.Head(), nullptr);
    queue.Append(Fake(1));
    queue.Append(Fake(2));
    EXPECT_EQ(queue.Head(), Fake(1));
    EXPECT_EQ(queue.Head(), Fake(1));
    queue.RemoveHead();
    queue.Append(Fake(3));
    EXPECT_EQ(queue.Head(), Fake(2));
    queue.RemoveHead();
    EXPECT_EQ(queue.Head(), Fake(3));
    queue.RemoveHead();
    queue.RemoveHead();
    EXPECT_EQ(queue.Head(), nullptr);
}

// The host's thread may queue again after its allocation failed, and the
// worker must still get at the queue: the lock was left on that path too.
TEST(RequestQueue, FailedAppendLeavesTheQueueUnlockedAndUnchanged) {
    Serial::CRequestQueue queue;
    queue.Append(Fake(1));
    AllocationCounter::FailAt(1);
    EXPECT_THROW(queue.Append(Fake(2)), std::bad_alloc);
    AllocationCounter::FailAt(0);

    auto worker = std::async(std::launch::async, [&] {
        queue.Append(Fake(3));
        ITransferRequest* head = queue.Head();
        queue.RemoveHead();
        return head;
    });
    ASSERT_EQ(worker.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the lock stayed held";
    EXPECT_EQ(worker.get(), Fake(1));
    EXPECT_EQ(queue.Head(), Fake(3));
}

}  // namespace
