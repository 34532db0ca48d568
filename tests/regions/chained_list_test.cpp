// The list's indexed operations, its linear paths (iterator, Appender) and ownership.
#include "regions/chained_list.h"

#include "regions/region.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <iterator>
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

std::vector<int> Ids(const ChainedList<Probe>& list) {
    std::vector<int> ids;
    for (const Probe& p : list) ids.push_back(p.id);
    return ids;
}

int32_t CodeOf(auto&& call) {
    try {
        call();
    } catch (const ChainedListExeption& e) {
        return e.code;
    }
    return 0;
}

TEST(ChainedList, AtIteratorAndBoundsAgreeForEveryLength) {
    for (int n : {0, 1, 2, 7}) {
        ChainedList<Region> list;
        for (int k = 0; k < n; ++k) list.Append(new Region{uint32_t(k) * 3, uint32_t(k) + 1, 9});
        const auto& constList = list;
        EXPECT_EQ(list.Count(), n);
        EXPECT_EQ(std::distance(constList.begin(), constList.end()), n);
        int32_t k = 0;
        for (const Region& r : constList) EXPECT_EQ(&r, &list.At(k++)) << n;  // the stored element itself
        for (Region& r : list) r.tag = r.start;                              // written through the iterator
        for (int32_t j = 0; j < n; ++j) EXPECT_EQ(list.At(j), (Region{uint32_t(j) * 3, uint32_t(j) + 1, uint32_t(j) * 3}));
        // The terminator slot right after the last element, then past it; below 0 gives the head.
        EXPECT_EQ(CodeOf([&] { list.At(n); }), ChainedListExeption::kTerminator) << n;
        EXPECT_EQ(CodeOf([&] { list.At(n + 1); }), ChainedListExeption::kPastEnd) << n;
        if (n == 0) EXPECT_EQ(CodeOf([&] { list.At(-3); }), ChainedListExeption::kTerminator);
        else EXPECT_EQ(&list.At(-3), &list.At(0));
    }
}

TEST(ChainedList, AppendersClearMoveAndNullKeepOwnershipExact) {
    std::vector<int> log;
    {
        ChainedList<Probe> list;
        ChainedList<Probe>::Appender appender(list);
        appender.Append(new Probe(0, log));  // into the head of the empty list
        list.Append(new Probe(1, log));
        appender.Append(std::make_unique<Probe>(2, log));  // steps over the plain Append
        appender.Append(new Probe(3, log));
        EXPECT_THROW(appender.Append(static_cast<Probe*>(nullptr)), std::invalid_argument);
        list.Append(new Probe(4, log));
        EXPECT_EQ(Ids(list), (std::vector<int>{0, 1, 2, 3, 4}));
        EXPECT_TRUE(log.empty());

        list.Clear();
        list.Append(new Probe(5, log));  // the next append uses the head again
        ChainedList<Probe>::Appender(list).Append(new Probe(6, log));
        EXPECT_EQ(Ids(list), (std::vector<int>{5, 6}));
        // An iterator at the end sees a later append.
        const auto end = std::next(list.begin(), 2);
        EXPECT_TRUE(end == list.end());
        ChainedList<Probe>::Appender(list).Append(new Probe(7, log));
        ASSERT_FALSE(end == list.end());
        EXPECT_EQ(end->id, 7);
        // Moving hands the chain over; assigning frees what the target held.
        ChainedList<Probe> moved(std::move(list));
        ChainedList<Probe> target;
        target.Append(new Probe(8, log));
        target = std::move(moved);
        EXPECT_EQ(log, (std::vector<int>{1, 2, 3, 4, 0, 8}));
        EXPECT_EQ(Ids(target), (std::vector<int>{5, 6, 7}));
    }
    // Each element deleted exactly once: the chain after the head, then the head.
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3, 4, 0, 8, 6, 7, 5}));
}

TEST(ChainedList, LongListIsFreedOnASmallStack) {
    // A recursive node destructor needs tens of bytes of stack per node (an optimiser
    // unrolling it a few levels deep: about ten); freeing 100000 nodes on a 128 KiB
    // thread stack only works when the chain is taken apart in a loop.
    ChainedList<int> list;
    ChainedList<int>::Appender appender(list);
    for (int i = 0; i < 100000; ++i) appender.Append(new int(i));
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 128 * 1024);
    pthread_t thread;
    auto clear = [](void* arg) -> void* {
        static_cast<ChainedList<int>*>(arg)->Clear();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, clear, &list), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace korvane
