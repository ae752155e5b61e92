// Start-up of the runtime base for programs that run parts of the stack
// without the driver (fuzz targets, benchmarks).
#pragma once

#include <cstdint>
#include <initializer_list>

// Once per process, on the thread that will run the stack: the process
// mutexes and the driver-wide mutex, the calling thread as the main thread,
// its base records (XM, general utility) and its XM root tree, then the
// per-thread records of the layers above that the program uses, made by the
// init functions in `layerRecords` in the order given. 1, or 0 when anything
// could not be had.
int32_t qv_startRuntime(std::initializer_list<int32_t (*)()> layerRecords = {});
