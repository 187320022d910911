// pkginfo PACKAGE: prints what the package reader sees in PACKAGE:
// "<checkSignature result> <trailingBytes>".
#include "package/PatchPackage.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    CPatchPackage package(argv[1]);
    int found = package.checkSignature();
    std::printf("%d %d\n", found, static_cast<int>(package.trailingBytes));
    return 0;
}
