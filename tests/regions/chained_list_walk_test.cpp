// The list's linear paths (iterator, Appender) against its indexed operations.
#include "regions/chained_list.h"

#include "regions/region.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <vector>

namespace korvane {
namespace {

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

TEST(ChainedListWalk, IteratorVisitsWhatAtReturnsInOrder) {
    for (int n : {0, 1, 2, 7}) {
        ChainedList<Region> list;
        for (int k = 0; k < n; ++k) list.Append(new Region{uint32_t(k) * 3, uint32_t(k) + 1, 9});
        const auto& constList = list;
        EXPECT_EQ(std::distance(constList.begin(), constList.end()), list.Count()) << n;
        int32_t k = 0;
        for (const Region& r : constList) EXPECT_EQ(&r, &list.At(k++)) << n;  // the stored element itself
        EXPECT_EQ(k, n);
        for (Region& r : list) r.tag = r.start;  // written through the iterator
        for (int32_t j = 0; j < n; ++j) EXPECT_EQ(list.At(j).tag, list.At(j).start);
    }
}

TEST(ChainedListWalk, AppenderMixesWithAppendAndKeepsSemantics) {
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
        EXPECT_EQ(list.Count(), 5);
        EXPECT_EQ(CodeOf([&] { list.At(5); }), ChainedListExeption::kTerminator);
        EXPECT_EQ(CodeOf([&] { list.At(6); }), ChainedListExeption::kPastEnd);
        EXPECT_TRUE(log.empty());

        list.Clear();
        ChainedList<Probe>::Appender fresh(list);
        fresh.Append(new Probe(5, log));
        EXPECT_EQ(Ids(list), std::vector<int>{5});
    }
    // Each element deleted exactly once: the chain after the head, then the head.
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3, 4, 0, 5}));
}

TEST(ChainedListWalk, IteratorAtTheEndSeesLaterAppends) {
    ChainedList<int> list;
    list.Append(new int(1));
    auto it = std::next(list.begin());
    EXPECT_TRUE(it == list.end());
    ChainedList<int>::Appender(list).Append(new int(2));
    ASSERT_FALSE(it == list.end());
    EXPECT_EQ(*it, 2);
}

}  // namespace
}  // namespace korvane
