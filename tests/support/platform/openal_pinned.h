// The EAX reverb is rendered by OpenAL Soft, which reads configuration files from the
// user's home and the XDG folders and probes the machine's audio backends when it first
// starts. Test programs call this first thing in main(), before any thread exists, so
// that no user configuration can change what they measure and no audio server is asked:
// only Debian's /etc/openal/alsoft.conf (which sets nothing) is read, and the only
// backend is the null one (the reverb itself uses a loopback device).
#pragma once

#include <cstdlib>

inline void pinOpenAl() {
    setenv("ALSOFT_DRIVERS", "null", 1);
    setenv("HOME", "/nonexistent/a5-test-home", 1);
    setenv("XDG_CONFIG_HOME", "/nonexistent/a5-test-home/.config", 1);
    setenv("XDG_CONFIG_DIRS", "/nonexistent/a5-test-xdg", 1);
    unsetenv("ALSOFT_CONF");
}
