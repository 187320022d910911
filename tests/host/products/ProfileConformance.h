#pragma once
// The profile-reader conformance table: the same files and the same
// expected values for every IProfileReader. The host test program runs it
// against our own reader, the Windows test program against the platform's.

#include "products/Profile.h"

// The reader under test; each test program that links ProfileConformance.cpp
// defines it.
const IProfileReader& readerUnderTest();
