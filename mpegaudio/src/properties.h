// Named properties of a decoder: a list of integer or string values, newest first, with
// watchers that hear about every set and every delete of a name.
#pragma once

#include <mpegaudio/decoder.h>

#include <cstdint>
#include <list>
#include <string>
#include <string_view>

struct PropertyWatcher {
    std::string name;
    uintptr_t user;
    PropertyWatchFn callback;
};

struct PropertyList {
    std::int32_t set_int(std::string_view name, std::int32_t value);
    std::int32_t get_int(std::string_view name, std::int32_t* value) const;
    std::int32_t set_string(std::string_view name, std::string_view text);
    std::int32_t get_string(std::string_view name, char* out, std::uint32_t capacity) const;
    std::int32_t remove(std::string_view name);
    void clear() { properties_.clear(); }

    PropertyWatcher* add_watcher(std::string_view name, uintptr_t user, PropertyWatchFn callback);
    std::int32_t remove_watcher(const PropertyWatcher* watcher);

  private:
    struct Property {
        std::string name;
        bool is_string;
        std::int32_t number;
        std::string text;
    };

    Property* find(std::string_view name);
    const Property* find(std::string_view name) const;
    void notify(std::string_view name, const void* value) const;

    std::list<Property> properties_;
    std::list<PropertyWatcher> watchers_;
};
