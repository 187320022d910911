#pragma once
// the Ombrel example of the product family Ombrel: a patch with SR number
// OMS240118-02 for Disc Studio and Tape & Tune, and the six installed states
// with what the run decides for each. Shared by the host tests (table
// registry) and the tests under Wine (real registry keys).

#include <string>
#include <vector>

// One product's registry values; a null name means not installed (no keys).
struct InstalledProduct {
    const char* subPath; // below the root, e.g. "DiscStudio"
    const char* prodName;
    const char* prodVer;
    const char* srNo;
    const char* srVer;
};

struct OmbrelExampleState {
    const char* what; // test name
    std::vector<InstalledProduct> products;
    int check; // checkProducts
    int srId;  // getSRIdFromFile, when check is 1
};

// The patch information file, its products below `root` (no trailing
// backslash), e.g. "Software\\Ombrel".
std::string ombrelExampleIni(const std::string& root);

const std::vector<OmbrelExampleState>& ombrelExampleStates();
