#pragma once
// The host platform's COM components that this module calls but does not
// contain: the realtime process table (IProcessRealtimeClerk, coclass
// ProcessRealtimeClerkObject) and the administrator account store
// (ICAdminAccountInfo, coclass CAdminAccountInfo), with the records they
// exchange. They are declared whole in the module's type library; this header
// is the one place the rest of the code takes them from.
#include <windows.h>
#include <objbase.h>

#include "Velmora.h"
