#pragma once
#define CUSTOMGUI_LINKBOX 1009415
