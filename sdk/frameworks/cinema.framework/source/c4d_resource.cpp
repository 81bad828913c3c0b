// The plug-in's resource (string tables, descriptions) and the framework's registration wrappers,
// forwarded to the host through the function table kept at attach time.
#include "c4d.h"
#include "operatingsystem.h"

GeResource g_resource;

Bool GeResource::Init()
{
	return Init(GeGetPluginResourcePath());
}

Bool GeResource::Init(const Filename& path, Bool)
{
	Free();
	if (!g_os || !path.IsPopulated())
		return false;
	_path = path;
	_lr = g_os->host->LoadResource(path);
	return _lr != nullptr;
}

const String& GeResource::LoadString(Int32 id)
{
	static const String empty;
	if (!g_os || !_lr)
		return empty;
	const String* s = g_os->host->LoadString(_lr, id);
	return s ? *s : empty;
}

Bool GeResource::ReloadResource()
{
	Filename path = _path;
	return Init(path);
}

void GeResource::Free()
{
	if (_lr && g_os)
		g_os->host->FreeResource(_lr);
	_lr = nullptr;
}

const String& GeLoadString(Int32 id)
{
	return g_resource.LoadString(id);
}

void FreeResource()
{
	g_resource.Free();
}

AutoBitmap::AutoBitmap(const maxon::String& str, Float pixelRatio)
{
	if (g_os)
		_bmp = g_os->host->LoadBitmap(GeGetPluginResourcePath() + Filename(str), pixelRatio);
}

AutoBitmap::AutoBitmap(Int32)
{
}

AutoBitmap::~AutoBitmap()
{
	if (_bmp && g_os)
		g_os->host->FreeBitmap(_bmp);
}

Bool RegisterObjectPlugin(Int32 id, const maxon::String& str, Int32 info, DataAllocator* g,
	const maxon::String& description, BaseBitmap* icon, Int32 disklevel)
{
	if (!g_os)
		return false;
	return g_os->host->RegisterObjectPlugin(id, String(str), info, g, String(description), icon, disklevel, g_resource.Get());
}
