// Every entry of the presentation layer holds hSerializeGlobalMutex, in its
// re-entrant form, for its whole run.
#pragma once

#include "common/qvthread.h"

using PsLock = QvGlobalLock;
