#pragma once
// The first line of each run in its log: what an administrator reading the
// log later must know without asking anyone. Portable.

#include <string>

struct RunHeaderFacts {
    std::string version;       // the program's
    std::string package;       // the package's path
    std::string packageSha256; // 64 hex digits, "" when it could not be read
    // The subject of the certificate the package's signature names, "" when
    // unsigned (what the file says; its signature is verified where a
    // decision rests on it).
    std::string signer;
    std::string srNo; // [SRInfo] SRNo, "" when not extracted
    std::string commandLine;
    std::string user;    // "DOMAIN\\name"
    int elevated = -1;   // 1, 0, or -1 when it could not be told
    std::string windows; // "10.0.19045", with " (Wine 8.0)" under Wine
};

// "[Veldrun] Run: Veldrun 1.3.0; package "C:\p.exe", SHA-256 ab...,
// certificate CN=...; SRNo OMS...; command line: ...; user DOM\name, elevated; Windows
// 10.0.19045\n". Control characters become "?": the header stays one line.
std::string runHeaderLine(const RunHeaderFacts& facts);
