// Animation tracks of one parameter.
#pragma once

#include "c4d_baselist.h"

class CTrack : public BaseList2D
{
public:
	static CTrack* Alloc(BaseList2D* bl, const DescID& id);
	static void Free(CTrack*& bl);

	CTrack* GetNext() const;
	CTrack* GetPred() const;
	const DescID& GetDescriptionID() const;

protected:
	CTrack() = default;
	friend struct vh::Access;
};
