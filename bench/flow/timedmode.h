#pragma once

#include "flowoptions.h"

class StoreProcess;

// Loads the plug-in and runs every measurement against the store, timed,
// then prints one table; the exit status. With --instructions it counts
// instead, once the warm-up has found the artists.
int runBench(const Options &options, StoreProcess &store);
