// Drives the statically linked plug-in as the host does: attach, resources, start, detach.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "c4d.h"
#include "testfiles.h"
#include "molecule.h"
#include "vh/host.h"
#include "vireltan.h"

namespace test
{
inline std::string SourceDir() { return VIRELTAN_SOURCE_DIR; }
inline std::string DataPath(const std::string& name) { return std::string(VIRELTAN_TEST_DATA) + "/" + name; }

// Attaches the plug-in with its module location inside folder (whose res/ holds the resources).
inline Bool Attach(const std::string& folder, Bool start = true)
{
	Filename location(vh::FromUtf8(folder + "/vireltan.xso64"));
	if (c4d_main(C4DPL_INIT_SYS, vh::HostFunctionTable(), nullptr, &location) != 1)
		return false;
	c4d_main(C4DPL_MESSAGE, reinterpret_cast<void*>(Int(C4DPL_INIT_SYS)), nullptr, nullptr);
	return !start || c4d_main(C4DPL_INIT, nullptr, nullptr, nullptr) == 1;
}

inline void Detach()
{
	c4d_main(C4DPL_END, nullptr, nullptr, nullptr);
	vh::UnregisterAllPlugins();
}

// A folder with its own res/ (a copy of the project's resources, to be edited by a test).
class TempPluginFolder : public testfiles::TempDir
{
public:
	explicit TempPluginFolder(Bool copyRes = true)
	{
		if (copyRes)
			Copy(SourceDir() + "/res", "res");
		else
			EXPECT_TRUE(std::filesystem::create_directories(File("res")));
	}
};

// The project's own resources are attached for the whole test.
class PluginTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		vh::SetEcho(false);
		vh::ClearConsoleAndDialogs();
		ASSERT_TRUE(Attach(SourceDir()));
	}
	void TearDown() override
	{
		vh::ResetAllocationFailures();
		vh::SetQuestionAnswer(GEMB_R::V_NO);
		Detach();
	}

	// A molecule object created through the registered allocator, Init called.
	BaseObject* NewObject()
	{
		Bool ok = false;
		BaseObject* op = vh::AllocPluginObject(ID_VIRELTAN, &ok);
		EXPECT_TRUE(op && ok);
		return op;
	}
	static Vireltan* Data(BaseObject* op)
	{
		Vireltan* data = molecule::Data(op);
		EXPECT_NE(data, nullptr);
		return data;
	}
};

inline void ExpectVector(const Vector& actual, const Vector& expected, Float eps = 1e-12)
{
	EXPECT_NEAR(actual.x, expected.x, eps);
	EXPECT_NEAR(actual.y, expected.y, eps);
	EXPECT_NEAR(actual.z, expected.z, eps);
}
} // namespace test
