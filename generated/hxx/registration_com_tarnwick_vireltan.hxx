// Reverse-domain identifier of this module in the host's module system.
#pragma once

#define VIRELTAN_MODULE_ID "com.tarnwick.vireltan"
