// "MediaLog.txt", the player's plain-text report, and the logging switch.
#pragma once

#include <initializer_list>

namespace orvox::log {

// Appends `text` unchanged to "MediaLog.txt" in the current directory: one
// open-append-close round per fragment. Dropped when the file cannot be opened.
void write(const char* text);

// Appends the fragments in order, each in its own round.
inline void write(std::initializer_list<const char*> fragments) {
    for (const char* fragment : fragments) write(fragment);
}

// On at load. Callers test it before writing, except where a line is always written.
bool on();

// Switching on deletes the log and starts it afresh with a one-line banner; switching
// off only stops the logging and touches no file.
void setLogging(bool enabled);

}  // namespace orvox::log
