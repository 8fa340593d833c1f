#include <cstdlib>

// Every test here runs on the headless back end.
static const bool headless = (::setenv("VORNASK_UI", "headless", 1), true);
