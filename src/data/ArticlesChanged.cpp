// SPDX-License-Identifier: GPL-3.0-or-later

#include "ArticlesChanged.h"

#include <utility>

namespace data {

namespace {

struct Registry {
    int next = 1;
    std::vector<std::pair<int, ArticlesChanged::Listener>> listeners;
};

// Never destroyed: subscriptions held by statics of other files end after
// it would have.
Registry& registry() {
    static auto* r = new Registry();
    return *r;
}

void drop(int id) {
    if (id == 0)
        return;
    auto& ls = registry().listeners;
    std::erase_if(ls, [id](const auto& l) { return l.first == id; });
}

} // namespace

ArticlesChanged::Subscription::~Subscription() {
    drop(id_);
}

ArticlesChanged::Subscription::Subscription(Subscription&& other) noexcept
    : id_(std::exchange(other.id_, 0)) {}

ArticlesChanged::Subscription&
ArticlesChanged::Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        drop(id_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

ArticlesChanged::Subscription ArticlesChanged::subscribe(Listener listener) {
    Registry& r = registry();
    const int id = r.next++;
    r.listeners.emplace_back(id, std::move(listener));
    return Subscription(id);
}

void ArticlesChanged::notify(const ArticlesChange& change) noexcept {
    try {
        // A copy: a listener may subscribe or leave while it runs.
        const auto listeners = registry().listeners;
        for (const auto& [id, listener] : listeners) {
            try {
                listener(change);
            } catch (...) {
                // The change stands; the listener has to cope on its own.
            }
        }
    } catch (...) {
        // No memory for the copy: the listeners catch up on their own later.
    }
}

} // namespace data
