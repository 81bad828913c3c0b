// Module registration as the SDK's source processor writes it for this module.
#include "maxon/module.h"
#include "operatingsystem.h"
#include "registration_com_tarnwick_vireltan.hxx"

extern "C" {
MAXON_ATTRIBUTE_DLL_PUBLIC maxon::Binary g_maxon = {VIRELTAN_MODULE_ID, API_VERSION};
}
