#pragma once

#include <functional>

// Runs a button's click and then its release. When the click opened a modal window, the
// release waits until that window closes, so the button keeps its down image while the window
// is up, as it would if the window ran its own event loop (the program shows modal windows
// without one).
void clickThenRelease(const std::function<void()> &click, std::function<void()> release);
