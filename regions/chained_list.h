#pragma once
// ChainedList<T>: the one singly linked list of both programs.
//
// The list object is itself the first node; every further node is one heap
// allocation of two pointers. The chain is k >= 0 filled nodes followed by one
// terminator node whose item and next are both null, so the empty list is the
// head alone. The list owns its elements: Append takes over a heap-allocated
// element and the list deletes it. Nothing is cached: Append, Count and At walk
// from the head, so index loops are quadratic. Lists that can grow long (the
// regions of a track) are read with the iterator (begin()/end(), one step per
// element) and filled through an Appender, which keeps its own pointer to the
// terminator and appends in O(1).
//
// Thread contract: no internal locking. One thread at a time may use a list.
#include <cstdint>
#include <cstddef>
#include <exception>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace korvane {

// Thrown by value by ChainedList::At on an index outside [0, Count()).
// It marks a caller error and carries one code:
//   -1  the walk met the end of the chain before reaching the index (index > count)
//   -2  the node reached is the terminator (index == count)
class ChainedListExeption : public std::exception {
public:
    static constexpr int32_t kPastEnd = -1;
    static constexpr int32_t kTerminator = -2;

    explicit ChainedListExeption(int32_t code) noexcept : code(code) {}

    const char* what() const noexcept override {
        return code == kTerminator ? "list index equals the element count"
                                   : "list index beyond the element count";
    }

    int32_t code;
};

template <typename T>
class ChainedList {
public:
    ChainedList() noexcept = default;
    ~ChainedList() { Clear(); }

    ChainedList(const ChainedList&) = delete;
    ChainedList& operator=(const ChainedList&) = delete;

    // Moving hands the whole chain over; the source is left empty.
    ChainedList(ChainedList&& other) noexcept : item(other.item), next(other.next) {
        other.item = nullptr;
        other.next = nullptr;
    }
    ChainedList& operator=(ChainedList&& other) noexcept {
        if (this != &other) {
            Clear();
            item = other.item;
            next = other.next;
            other.item = nullptr;
            other.next = nullptr;
        }
        return *this;
    }

    // Stores `element` in the terminator and links a new terminator after it.
    // The list owns `element` from the call on, also when this throws: a null
    // element is refused with std::invalid_argument (it would break the chain),
    // and if the new terminator cannot be allocated the element is deleted before
    // std::bad_alloc propagates. O(count).
    void Append(T* element) {
        ChainedList* node = this;
        while (node->next != nullptr) node = node->next;
        node->FillTerminator(element);
    }

    void Append(std::unique_ptr<T> element) { Append(element.release()); }

    // Appends in O(1) per element by remembering the terminator it last filled
    // (elements appended to the list by other means are stepped over first).
    // Same ownership rules as ChainedList::Append. Clearing or moving the list
    // invalidates the Appender, since the node it points to may be freed.
    class Appender {
    public:
        explicit Appender(ChainedList& list) noexcept : terminator_(&list) {}
        void Append(T* element) {
            while (terminator_->next != nullptr) terminator_ = terminator_->next;
            terminator_ = terminator_->FillTerminator(element);
        }
        void Append(std::unique_ptr<T> element) { Append(element.release()); }

    private:
        ChainedList* terminator_;
    };

    // Forward iteration over the elements in list order, one step per element.
    // Iterators stay valid while the list is appended to, not across Clear.
    template <bool Const>
    class Iterator {
        using Node = std::conditional_t<Const, const ChainedList, ChainedList>;

    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = std::conditional_t<Const, const T*, T*>;
        using reference = std::conditional_t<Const, const T&, T&>;

        Iterator() noexcept = default;
        explicit Iterator(Node* node) noexcept : node_(node) {}
        operator Iterator<true>() const noexcept
            requires(!Const)
        {
            return Iterator<true>(node_);
        }

        reference operator*() const noexcept { return *node_->item; }
        pointer operator->() const noexcept { return node_->item; }
        Iterator& operator++() noexcept {
            node_ = node_->next;
            return *this;
        }
        Iterator operator++(int) noexcept {
            Iterator before = *this;
            ++*this;
            return before;
        }
        // All positions at the terminator (or past it) are the end.
        friend bool operator==(const Iterator& a, const Iterator& b) noexcept {
            return a.AtEnd() ? b.AtEnd() : a.node_ == b.node_;
        }

    private:
        bool AtEnd() const noexcept { return node_ == nullptr || node_->item == nullptr; }
        Node* node_ = nullptr;
    };
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;

    iterator begin() noexcept { return iterator(this); }
    iterator end() noexcept { return iterator(); }
    const_iterator begin() const noexcept { return const_iterator(this); }
    const_iterator end() const noexcept { return const_iterator(); }

    // Number of filled nodes, counted by walking from the head. O(count).
    int32_t Count() const noexcept {
        int32_t count = 0;
        for (const ChainedList* node = this; node->item != nullptr; node = node->next) ++count;
        return count;
    }

    // The element at `index` (0-based; an index of 0 or below gives the head's
    // element). Throws ChainedListExeption -1 or -2 as described above. O(index).
    T& At(int32_t index) { return *Walk(index)->item; }
    const T& At(int32_t index) const { return *Walk(index)->item; }

    // Deletes every element and node; afterwards the list is empty and the next
    // Append stores into the head again. Elements are deleted in the order
    // second, third, ..., last, then the head's. The chain is taken apart in a
    // loop, so a list of any length is freed without deep recursion.
    void Clear() noexcept {
        ChainedList* node = next;
        while (node != nullptr) {
            ChainedList* following = node->next;
            delete node->item;
            node->item = nullptr;
            node->next = nullptr;  // so the node's own destructor frees nothing more
            delete node;
            node = following;
        }
        delete item;
        item = nullptr;
        next = nullptr;
    }

private:
    // Stores `element` in this node, which must be the terminator, and links a
    // new terminator after it, which is returned. Takes ownership as Append does.
    ChainedList* FillTerminator(T* element) {
        if (element == nullptr) throw std::invalid_argument("ChainedList::Append: null element");
        ChainedList* terminator = nullptr;
        try {
            terminator = new ChainedList;
        } catch (...) {
            delete element;
            throw;
        }
        item = element;
        next = terminator;
        return terminator;
    }

    const ChainedList* Walk(int32_t index) const {
        const ChainedList* node = this;
        for (int32_t step = 0; step < index; ++step) {
            if (node->next == nullptr) throw ChainedListExeption(ChainedListExeption::kPastEnd);
            node = node->next;
        }
        if (node->item == nullptr) throw ChainedListExeption(ChainedListExeption::kTerminator);
        return node;
    }
    ChainedList* Walk(int32_t index) {
        return const_cast<ChainedList*>(std::as_const(*this).Walk(index));
    }

    T* item = nullptr;            // owned; null in the terminator
    ChainedList* next = nullptr;  // owned; null in the terminator
};

}  // namespace korvane
