// Umbrella header of the host SDK's classic API. Like the SDK's own, it pulls in no description
// headers (description/*.h): code that uses their parameter ids includes them itself.
#pragma once

#include "maxon/apibase.h"
#include "maxon/basearray.h"
#include "maxon/debugdiagnostics.h"
#include "maxon/newobj.h"
#include "maxon/string.h"

#include "ge_prepass.h"
#include "c4d_string.h"
#include "c4d_file.h"
#include "c4d_gedata.h"
#include "c4d_basecontainer.h"
#include "c4d_libs/lib_description.h"
#include "c4d_baselist.h"
#include "c4d_canimation.h"
#include "c4d_basematerial.h"
#include "c4d_basetag.h"
#include "c4d_baseobject.h"
#include "c4d_basedocument.h"
#include "c4d_basebitmap.h"
#include "c4d_general.h"
#include "c4d_gui.h"
#include "c4d_resource.h"
#include "c4d_nodedata.h"
#include "c4d_objectdata.h"
#include "c4d_plugin.h"
#include "c4d_pmain.h"
#include "c4d_customdatatypeplugin.h"
#include "c4d_customgui/customgui_linkbox.h"

