#pragma once
// The proxy classes generated from QXServiceLib.xml. The generated code is not
// ours, so it is compiled without our warning set.
#pragma GCC system_header
#include "ipc/QXServiceLib_proxy.h"
