#pragma once
// Hooks with any number of subscribers. Subscribing gives a handle, as a Qt connection does:
// the subscription lasts as long as the hook unless the handle ends it; a ScopedSubscription
// ends it when the holder goes, for a subscriber that may go before the hook. A handle may
// outlive its hook; ending it then does nothing.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace gravlag::ui {

namespace detail {

// What a hook shares with the handles of its subscriptions (they hold it weakly).
class SubscriptionBook {
public:
    virtual ~SubscriptionBook() = default;
    virtual void remove(std::uint64_t id) = 0;
    virtual bool holds(std::uint64_t id) const = 0;
};

} // namespace detail

class Subscription {
public:
    Subscription() = default;
    void disconnect()
    {
        if (const auto book = book_.lock())
            book->remove(id_);
        book_.reset();
    }
    bool connected() const
    {
        const auto book = book_.lock();
        return book && book->holds(id_);
    }

private:
    template <typename>
    friend class SubscriberList;
    Subscription(std::weak_ptr<detail::SubscriptionBook> book, std::uint64_t id)
        : book_(std::move(book)), id_(id)
    {
    }
    std::weak_ptr<detail::SubscriptionBook> book_;
    std::uint64_t id_ = 0;
};

class ScopedSubscription {
public:
    ScopedSubscription() = default;
    ScopedSubscription(Subscription subscription) : subscription_(std::move(subscription)) {}
    ScopedSubscription(ScopedSubscription&& other) noexcept
        : subscription_(std::exchange(other.subscription_, {}))
    {
    }
    ScopedSubscription& operator=(ScopedSubscription&& other) noexcept
    {
        if (this != &other) {
            subscription_.disconnect();
            subscription_ = std::exchange(other.subscription_, {});
        }
        return *this;
    }
    ScopedSubscription(const ScopedSubscription&) = delete;
    ScopedSubscription& operator=(const ScopedSubscription&) = delete;
    ~ScopedSubscription() { subscription_.disconnect(); }
    bool connected() const { return subscription_.connected(); }

private:
    Subscription subscription_;
};

// The subscribers of one hook, in the order they subscribed. Raising calls no allocator: a
// run raises hooks during its passes.
template <typename Subscriber>
class SubscriberList {
public:
    SubscriberList() : book_(std::make_shared<Book>()) {}
    SubscriberList(const SubscriberList&) = delete;
    SubscriberList& operator=(const SubscriberList&) = delete;

    Subscription subscribe(Subscriber subscriber)
    {
        const std::uint64_t id = ++book_->lastId;
        book_->entries.push_back(std::make_unique<Entry>(Entry{id, true, std::move(subscriber)}));
        ++book_->liveCount;
        return Subscription(book_, id);
    }
    bool empty() const { return book_->liveCount == 0; }

    // Calls `visit` with each subscriber. One that subscribes meanwhile is first visited at
    // the next call; one whose subscription ends meanwhile is not visited any more.
    template <typename Visit>
    void forEach(Visit&& visit)
    {
        Book& book = *book_;
        const Visiting scope(book);
        const std::size_t n = book.entries.size();
        for (std::size_t i = 0; i < n; ++i) {
            Entry& entry = *book.entries[i]; // entries live apart, so a subscribe cannot move it
            if (entry.live)
                visit(entry.subscriber);
        }
    }

private:
    struct Entry {
        std::uint64_t id;
        bool live;
        Subscriber subscriber;
    };
    class Book final : public detail::SubscriptionBook {
    public:
        void remove(std::uint64_t id) override
        {
            for (auto& entry : entries)
                if (entry->id == id && entry->live) {
                    entry->live = false;
                    --liveCount;
                }
            compact();
        }
        bool holds(std::uint64_t id) const override
        {
            for (const auto& entry : entries)
                if (entry->id == id)
                    return entry->live;
            return false;
        }
        // An ended subscriber may be running right now: it goes only once no visit is under way.
        void compact()
        {
            if (visits > 0)
                return;
            std::erase_if(entries, [](const auto& entry) { return !entry->live; });
        }
        std::vector<std::unique_ptr<Entry>> entries;
        std::uint64_t lastId = 0;
        std::size_t liveCount = 0;
        int visits = 0;
    };
    struct Visiting {
        explicit Visiting(Book& b) : book(b) { ++book.visits; }
        ~Visiting()
        {
            --book.visits;
            book.compact();
        }
        Visiting(const Visiting&) = delete;
        Visiting& operator=(const Visiting&) = delete;
        Book& book;
    };
    std::shared_ptr<Book> book_;
};

// A hook whose subscribers are plain functions of the hook's arguments.
template <typename... Args>
class Hook {
public:
    Subscription subscribe(std::function<void(Args...)> subscriber)
    {
        return list_.subscribe(std::move(subscriber));
    }
    void operator()(Args... args)
    {
        list_.forEach([&](const std::function<void(Args...)>& subscriber) { subscriber(args...); });
    }
    bool empty() const { return list_.empty(); }

private:
    SubscriberList<std::function<void(Args...)>> list_;
};

} // namespace gravlag::ui
