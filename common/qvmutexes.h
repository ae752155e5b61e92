// The process-mutex registry: creates and removes the family mutexes and the
// connect semaphore declared in qvthread.h, holds the driver-wide mutex, and
// answers which mutex is the global one for the re-entrant lock.
//
// It sits in a file of its own so that a program which links the lock
// wrappers without it (the admin tool) can supply its own QvIsGlobalMutex.
#pragma once

#include <cstdint>

#include "common/qvthread.h"

extern QvMutexHandle hSerializeMutex;  // driver-wide mutex

// Creates, in order, those of the sixteen family mutexes and the connect
// semaphore (which starts taken) that do not exist yet; 0 at the first mutex
// that cannot be had, else 1 when the semaphore exists.
int32_t QvCreateMutexes();
// Destroys them all and leaves every handle 0.
void QvRemoveMutexes();
