#pragma once

#include "c4d_file.h"

class LocalResource;

class GeResource
{
public:
	GeResource() = default;
	~GeResource() { Free(); }
	GeResource(const GeResource&) = delete;
	GeResource& operator=(const GeResource&) = delete;

	// Loads the calling plug-in's res folder.
	Bool Init();
	Bool Init(const Filename& path, Bool regardIsStopped = true);
	const String& LoadString(Int32 id);
	Bool ReloadResource();
	void Free();
	LocalResource* Get() { return _lr; }

private:
	LocalResource* _lr = nullptr;
	Filename _path;
};

extern GeResource g_resource;

const String& GeLoadString(Int32 id);
Filename GeGetPluginResourcePath();
void FreeResource();
