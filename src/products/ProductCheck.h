#pragma once
// Does the patch apply to what is installed, and which build of it is to be
// fetched? Both questions are answered from the patch information file
// ([RegPath] and [SRInfo]) and the registry, and both run once per update
// run, on the dialog's thread. Nothing here shows anything.

#include "products/PatchInfoKeys.h"
#include "products/ProductInfo.h"
#include "products/Profile.h"
#include "products/Registry.h"

#include <string>
#include <vector>

// Results of checkProducts.
enum {
    kProductsApplicable = 1, // every product found and showing the expected identity
    kProductsMismatch = 0,   // all found, but one not exempt shows another identity (patch error)
    kProductsNotFound = 255, // no entries, or a product not found (product error)
};

// Results of getSRIdFromFile besides a folder number (0 or more).
enum {
    kPatchGeneric = -1,                          // fetch the generic build (the "max" folder)
    kPatchAlreadyApplied = kAlreadyAppliedIndex, // the installed products already carry the patch
};

// Why the product check came to its result, for the run's account; filled
// while checking, so that nothing reads the file or the registry again.
struct ProductReasons {
    const char* countSection = nullptr; // the first section whose Count lies outside 0..kMaxEntryCount
    int count = 0;                      // that Count (nothing else was read then)
    // One per record of the list, in order: what a missing product lacks
    // (getProductInfo's words), and the identity "name version" a found
    // product not exempt shows when it is not its Check value.
    struct Product {
        std::string gaps;
        std::string identity;
    };
    std::vector<Product> products;
};

// First phase of checkProducts: appends one record per [RegPath] entry
// (0 .. Count - 1, in order), found or not, each probed in the registry.
// With reasons, what each record lacks is appended there.
void buildProductList(const IProfileReader& profile, IRegistry& registry, const char* iniPath,
                      std::vector<ProductInfo>& products, ProductReasons* reasons = nullptr);

// Second phase of checkProducts: judges the whole list. 255 when it is empty
// or any record is not found (a missing product outweighs a mismatch), else
// 0 when any record not exempt ("NoVerCheck" equal to "1") shows an identity
// "name version" other than its "Check" value (compared without regard to
// case), else 1.
int judgeProducts(const std::vector<ProductInfo>& products);

// Whether a NoVerCheck value exempts its product from the identity
// comparison: "1" (compared as the check compares texts).
bool isExempt(const char* noVerCheck);

// Whether a found product that is not exempt shows another identity "name
// version" than its "Check" value (compared without regard to case); the
// identity read goes to *identity unless the product is exempt.
bool identityDiffers(const ProductInfo& product, std::string* identity = nullptr);

// The first of [RegPath] and [SRInfo] whose Count lies outside
// 0..kMaxEntryCount, with that value in *count; nullptr when both fit.
const char* countOutOfRange(const IProfileReader& profile, const char* iniPath, int* count);

// Both phases: builds the list into `products` (appending) and judges it.
// Returns 1, 0 or 255 as above; 0 without reading any entry when either
// Count lies outside 0..kMaxEntryCount, traced as
// "[Veldrun] checkProducts => [%s] Count %d outside 0 to 1000\n". With
// reasons (empty on entry), why it came to that goes there.
int checkProducts(const IProfileReader& profile, IRegistry& registry, const char* iniPath,
                  std::vector<ProductInfo>& products, ProductReasons* reasons = nullptr);
// The same through the platform's profile reader and registry.
int checkProducts(const char* iniPath, std::vector<ProductInfo>& products, ProductReasons* reasons = nullptr);

// The build key of a product, "name#SR number#SR build version" (name
// cleaned), as selection looks for it in the Info values.
std::string buildKeyOf(const ProductInfo& product);

// The patch build id for the found products of the list: the lowest index i
// below [SRInfo] Count whose "Info%d" value contains the build key
// "name#SR number#SR build version" of every found product; failing that 999
// when every build key contains the patch SR number `srNo` (the empty text
// is in every key), else -1. Also -1 when no product is found. An index of
// 999 that matches reads as already applied. Reads the file; changes nothing.
int getSRIdFromFile(const IProfileReader& profile, const char* iniPath, const std::vector<ProductInfo>& products,
                    const char* srNo);
// The same through the platform's profile reader.
int getSRIdFromFile(const char* iniPath, const std::vector<ProductInfo>& products, const char* srNo);
