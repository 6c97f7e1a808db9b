#pragma once

#include "platform/WindowSystem.h"

#include <algorithm>
#include <memory>
#include <vector>

// The registrations behind a set of observations. An observation may outlive the list, and a handler may
// add or end registrations while the list is being notified.
template <typename Value> class HandlerList {
public:
    Observation add(Value value) {
        const unsigned long long id = nextId_++;
        entries_->push_back({id, std::move(value)});
        return Observation([weak = std::weak_ptr<std::vector<Entry>>(entries_), id] {
            if (const auto entries = weak.lock())
                std::erase_if(*entries, [id](const Entry& e) { return e.id == id; });
        });
    }

    // Calls `visit` with each value registered now that is still registered when its turn comes; stops
    // early when `visit` returns true.
    template <typename Visit> bool visitUntil(Visit visit) const {
        const std::vector<Entry> snapshot = *entries_;
        for (const Entry& entry : snapshot) {
            const bool stillRegistered = std::any_of(entries_->begin(), entries_->end(),
                                                     [&](const Entry& e) { return e.id == entry.id; });
            if (stillRegistered && visit(entry.value))
                return true;
        }
        return false;
    }

    template <typename Predicate> int countIf(Predicate predicate) const {
        return int(std::count_if(entries_->begin(), entries_->end(),
                                 [&](const Entry& e) { return predicate(e.value); }));
    }

private:
    struct Entry {
        unsigned long long id;
        Value value;
    };
    std::shared_ptr<std::vector<Entry>> entries_ = std::make_shared<std::vector<Entry>>();
    unsigned long long nextId_ = 0;
};

// A will-close registration of one window.
struct WindowCloseHandler {
    WindowId window;
    std::function<void()> handler;
};

// Notifies the will-close handlers of `window`.
inline void notifyWillClose(const HandlerList<WindowCloseHandler>& handlers, WindowId window) {
    handlers.visitUntil([window](const WindowCloseHandler& h) {
        if (h.window == window)
            h.handler();
        return false;
    });
}

// Walks `responders` until one performs `action`.
inline bool performAlong(const HandlerList<ActionResponder*>& responders, const QString& action,
                         const MenuItem* sender) {
    return responders.visitUntil([&](ActionResponder* r) { return r->tryToPerform(action, sender); });
}
