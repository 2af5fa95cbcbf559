#pragma once
// The windows that fill the program's hooks (settings, web radio, update
// check, sign-up, QuickStart, help), when they are built in.
#include "desktop/app/Seams.h"

namespace parvane {

void InstallExtraHooks(Seams& seams);

}  // namespace parvane
