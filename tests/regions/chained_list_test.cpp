#include "regions/chained_list.h"

#include "regions/region.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <memory>
#include <vector>

namespace korvane {
namespace {

// An element that records its destruction, so ownership can be checked.
struct Probe {
    Probe(int id, std::vector<int>& log) : id(id), log(&log) {}
    ~Probe() { log->push_back(id); }
    int id;
    std::vector<int>* log;
};

int32_t CodeOf(auto&& call) {
    try {
        call();
    } catch (const ChainedListExeption& e) {
        return e.code;
    }
    return 0;
}

TEST(ChainedList, EmptyListCountsZeroAndThrowsOnAccess) {
    ChainedList<int> list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(CodeOf([&] { list.At(0); }), -2);
    EXPECT_EQ(CodeOf([&] { list.At(-5); }), -2);
    EXPECT_EQ(CodeOf([&] { list.At(1); }), -1);
    EXPECT_EQ(CodeOf([&] { list.At(7); }), -1);
}

TEST(ChainedList, AppendKeepsOrderAndBoundsGiveBothCodes) {
    ChainedList<Region> list;
    constexpr int32_t n = 5;
    for (uint32_t k = 0; k < n; ++k) list.Append(new Region{k * 10, k + 1, 7});
    EXPECT_EQ(list.Count(), n);
    for (int32_t k = 0; k < n; ++k) {
        EXPECT_EQ(list.At(k), (Region{uint32_t(k) * 10, uint32_t(k) + 1, 7}));
    }
    EXPECT_EQ(list.At(-3).start, 0u);  // index below 0 gives the head
    EXPECT_EQ(CodeOf([&] { list.At(n); }), -2);
    EXPECT_EQ(CodeOf([&] { list.At(n + 1); }), -1);
    const auto& constList = list;
    EXPECT_EQ(constList.At(2).start, 20u);
    list.At(1).tag = 99;  // At returns the stored element itself
    EXPECT_EQ(list.At(1).tag, 99u);
}

TEST(ChainedList, ClearEmptiesAndNextAppendUsesHead) {
    ChainedList<int> list;
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    list.Append(new int(1));
    list.Append(std::make_unique<int>(2));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(CodeOf([&] { list.At(0); }), -2);
    list.Append(new int(3));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.At(0), 3);
}

TEST(ChainedList, DestructionDeletesEveryElementOnceInChainOrder) {
    std::vector<int> log;
    {
        ChainedList<Probe> list;
        for (int id = 0; id < 4; ++id) list.Append(new Probe(id, log));
        EXPECT_TRUE(log.empty());
    }
    // The chain after the head goes first, then the head's own element.
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3, 0}));

    log.clear();
    ChainedList<Probe> list;
    list.Append(new Probe(8, log));
    list.Clear();
    EXPECT_EQ(log, std::vector<int>{8});
}

TEST(ChainedList, MoveHandsOverTheChain) {
    std::vector<int> log;
    ChainedList<Probe> a;
    a.Append(new Probe(1, log));
    a.Append(new Probe(2, log));
    ChainedList<Probe> b(std::move(a));
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(b.Count(), 2);
    ChainedList<Probe> c;
    c.Append(new Probe(3, log));
    c = std::move(b);
    EXPECT_EQ(log, std::vector<int>{3});
    EXPECT_EQ(c.At(1).id, 2);
}

TEST(ChainedList, NullAppendIsRefusedAndLeavesListIntact) {
    ChainedList<int> list;
    list.Append(new int(4));
    EXPECT_THROW(list.Append(static_cast<int*>(nullptr)), std::invalid_argument);
    EXPECT_EQ(list.Count(), 1);
    list.Append(new int(5));
    EXPECT_EQ(list.At(1), 5);
}

TEST(ChainedList, LongListIsFreedOnASmallStack) {
    // A recursive node destructor needs tens of bytes of stack per node; freeing
    // 10000 nodes on a 128 KiB thread stack only works when the chain is taken
    // apart in a loop.
    struct Job {
        ChainedList<int> list;
        int count = 0;
    } job;
    constexpr int n = 10000;
    for (int i = 0; i < n; ++i) job.list.Append(new int(i));
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 128 * 1024);
    pthread_t thread;
    auto body = [](void* arg) -> void* {
        auto* j = static_cast<Job*>(arg);
        j->count = j->list.Count();
        j->list.Clear();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, &job), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(job.count, n);
    EXPECT_EQ(job.list.Count(), 0);
}

}  // namespace
}  // namespace korvane
