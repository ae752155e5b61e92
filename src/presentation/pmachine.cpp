#include "src/presentation/pmachine.h"

Pmachine* pP = nullptr;
uint32_t directMult = 0;
uint32_t pdvFmtPrs = 0;

void set_Pcalled(Pmachine* pm) { pP = pm; }
