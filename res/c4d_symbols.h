// Ids of the plug-in's global strings (strings_en-US/c4d_strings.str).
#ifndef VIRELTAN_C4D_SYMBOLS_H__
#define VIRELTAN_C4D_SYMBOLS_H__

enum
{
	IDS_VIRELTAN = 50000, // name of the molecule object

	// Labels of a material group's parameters, which the object adds to the panel itself.
	IDS_MATERIAL,
	IDS_MATERIAL_SYMBOL,
	IDS_MATERIAL_USE,
	IDS_MATERIAL_PROJECTION,
	IDS_PROJECTION_SPHERICAL,
	IDS_PROJECTION_FLAT,
	IDS_PROJECTION_CUBIC,
	IDS_PROJECTION_UVW,
	IDS_MATERIAL_OFFSET_U,
	IDS_MATERIAL_OFFSET_V,
	IDS_MATERIAL_TILES_U,
	IDS_MATERIAL_TILES_V,

	_DUMMY_ELEMENT_
};

#endif
