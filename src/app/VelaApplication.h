#pragma once

#include <functional>

class VelaManager;

// Runs the application as main does. The hook, for tests only, sees the root object once it
// is built and before the event loop starts.
int runVela(int &argc, char **argv, const std::function<void(VelaManager *)> &started = {});
