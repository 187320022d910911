#include "products/Registry.h"
#include "products/TableRegistry.h"

// No registry away from Windows: an empty table, in which no product is
// installed. Tools and tests that need products pass a CTableRegistry of
// their own to the seam-taking operations.
IRegistry& platformRegistry()
{
    static CTableRegistry registry;
    return registry;
}
