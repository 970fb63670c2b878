#pragma once

namespace ombrix {

// Held while the application object is made. Qt ends the process with
// abort() and several lines of plugin text when it cannot open a display;
// this turns that into one clear line and exit status 1. What Qt says while
// it succeeds is passed on when the check ends.
class DisplayCheck {
public:
    DisplayCheck();
    ~DisplayCheck();
    DisplayCheck(const DisplayCheck&) = delete;
    DisplayCheck& operator=(const DisplayCheck&) = delete;
};

inline constexpr const char* kNoDisplayLine =
    "ombrix: cannot open the display; run it in a desktop session";

} // namespace ombrix
