// Ids of the plug-in's global strings (strings_en-US/c4d_strings.str).
#ifndef VIRELTAN_C4D_SYMBOLS_H__
#define VIRELTAN_C4D_SYMBOLS_H__

enum
{
	IDS_VIRELTAN = 50000 // name of the molecule object
};

#endif
