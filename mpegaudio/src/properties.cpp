#include "properties.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

PropertyList::Property* PropertyList::find(std::string_view name) {
    auto it = std::ranges::find(properties_, name, &Property::name);
    return it == properties_.end() ? nullptr : &*it;
}

const PropertyList::Property* PropertyList::find(std::string_view name) const {
    auto it = std::ranges::find(properties_, name, &Property::name);
    return it == properties_.end() ? nullptr : &*it;
}

// Callbacks may add or remove watchers and properties, so they are collected first and
// handed a value that belongs to this call, not to the list.
void PropertyList::notify(std::string_view name, const void* value) const {
    std::vector<std::pair<uintptr_t, PropertyWatchFn>> targets;
    for (const PropertyWatcher& w : watchers_) {
        if (w.name == name) targets.emplace_back(w.user, w.callback);
    }
    if (targets.empty()) return;
    const std::string name_copy(name);
    for (auto [user, callback] : targets) callback(user, name_copy.c_str(), value);
}

std::int32_t PropertyList::set_int(std::string_view name, std::int32_t value) {
    if (Property* p = find(name)) {
        if (p->is_string) return MPA_E_PROPERTY_TYPE;
        p->number = value;
    } else {
        properties_.push_front(Property{std::string(name), false, value, {}});
    }
    notify(name, &value);
    return MPA_OK;
}

std::int32_t PropertyList::set_string(std::string_view name, std::string_view text) {
    std::string copy(text);
    if (Property* p = find(name)) {
        if (!p->is_string) return MPA_E_PROPERTY_TYPE;
        p->text = copy;
    } else {
        properties_.push_front(Property{std::string(name), true, 0, copy});
    }
    notify(name, copy.c_str());
    return MPA_OK;
}

std::int32_t PropertyList::get_int(std::string_view name, std::int32_t* value) const {
    const Property* p = find(name);
    if (p == nullptr) return MPA_E_NO_PROPERTY;
    if (p->is_string) return MPA_E_PROPERTY_TYPE;
    *value = p->number;
    return MPA_OK;
}

std::int32_t PropertyList::get_string(std::string_view name, char* out, std::uint32_t capacity) const {
    const Property* p = find(name);
    if (p == nullptr) return MPA_E_NO_PROPERTY;
    if (!p->is_string) return MPA_E_PROPERTY_TYPE;
    if (p->text.size() >= capacity) return MPA_E_BAD_ARGUMENT;
    std::memcpy(out, p->text.c_str(), p->text.size() + 1);
    return MPA_OK;
}

std::int32_t PropertyList::remove(std::string_view name) {
    if (find(name) == nullptr) return MPA_E_NO_PROPERTY;
    notify(name, nullptr);
    // The watchers may have changed the list; look the property up again.
    auto it = std::ranges::find(properties_, name, &Property::name);
    if (it != properties_.end()) properties_.erase(it);
    return MPA_OK;
}

PropertyWatcher* PropertyList::add_watcher(std::string_view name, uintptr_t user, PropertyWatchFn callback) {
    return &watchers_.emplace_front(PropertyWatcher{std::string(name), user, callback});
}

std::int32_t PropertyList::remove_watcher(const PropertyWatcher* watcher) {
    auto it = std::ranges::find_if(watchers_, [&](const PropertyWatcher& w) { return &w == watcher; });
    if (it == watchers_.end()) return MPA_E_BAD_ARGUMENT;
    watchers_.erase(it);
    return MPA_OK;
}
