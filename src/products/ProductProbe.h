#pragma once
// The registry probe of one installed product. A product keeps its identity
// as four string values below its key path under the local-machine root:
// "UserReg" holds "Prod_Name" and "Prod_Ver", "BuildInfo" holds "SR_No" and
// "SR_Ver".

#include "products/Registry.h"

#include <string>

// Removes every space (tabs and other white space stay), then turns every
// "&" into "_", in place: "Tape & Tune" becomes "Tape_Tune". Patch
// information files spell product names in this form.
void cleanProductName(char* name);

// Reads the product below `path` into the four 260-character buffers (the
// name cleaned). A value that cannot be read leaves its buffer as it was;
// callers pass them empty. Returns 1 when both subkeys opened and all four
// values are non-empty, else 0. Once both subkeys opened it traces
// "[Veldrun] getProductInfo => ..." with the values, whatever the result; a
// subkey that does not open ends the probe with 0 and no trace. Every key
// opened is closed before it returns. With `gaps`, why the product does not
// count as found goes there in words for the run's account: "no key
// PATH\UserReg", "UserReg\Prod_Ver missing or empty", ... joined by ", "
// (both subkeys named; nothing when it counts as found).
int getProductInfo(IRegistry& registry, const char* path, char* prodName, char* prodVer, char* srNo, char* srVer,
                   std::string* gaps = nullptr);

// The same through the platform's registry.
int getProductInfo(const char* path, char* prodName, char* prodVer, char* srNo, char* srVer);
