#include "mol2loader.h"

Mol2Loader::~Mol2Loader() = default;
