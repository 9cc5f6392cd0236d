// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The one notice that articles changed, given by whoever writes them once
// the change is committed. Those who keep something derived from the
// articles (the full-text index) listen, so that the writers need not know
// them.
//
// On the GUI thread: listeners run in the writer's thread, one after another.

#include "components/fb/Fb.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace data {

struct ArticlesChange {
    enum class Kind { Added, Changed, Deleted };
    // The database the change was committed to.
    fb::Database* db = nullptr;
    Kind kind = Kind::Added;
    // The articles; empty for "some were added" (the newest ones).
    std::vector<int32_t> ids;
};

class ArticlesChanged {
public:
    using Listener = std::function<void(const ArticlesChange&)>;

    // Listening lasts as long as the subscription.
    class Subscription {
    public:
        Subscription() = default;
        ~Subscription();
        Subscription(Subscription&& other) noexcept;
        Subscription& operator=(Subscription&& other) noexcept;
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;

    private:
        friend class ArticlesChanged;
        explicit Subscription(int id) : id_(id) {}
        int id_ = 0;
    };

    [[nodiscard]] static Subscription subscribe(Listener listener);

    // Tells every listener. Never fails: the change is committed whatever a
    // listener makes of it (a listener's failure is its own).
    static void notify(const ArticlesChange& change) noexcept;
};

} // namespace data
