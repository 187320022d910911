#pragma once
// What the launcher records of a run beside its trace: the log's header
// line at the start, and at the end the "/result FILE" document and the
// run's event in the Application log. Windows only (RunRecord_win.cpp).

#include "update/RunResult.h"

#include <string>

class CPackageView;
class IProfileReader;

// The header line of the run (RunHeader.h): the program's own file as the
// launcher holds it (own, possibly not held: then its SHA-256 and signer
// are unknown), the SRNo of the extracted file ("" when none).
std::string runHeader(const CPackageView* own, const std::string& srNo);

// The SRNo of the extracted file as the run holds it, "" when none was
// extracted (iniPath empty).
std::string extractedSrNo(const IProfileReader& profile, const char* iniPath);

// The time now, as the log stamps it.
std::string runStamp();

// Ends the run's record: writes the result document to resultPath (UTF-8;
// null: none asked for; display: the path for trace lines), whole, and
// reports the run's event. A result file that cannot be written is traced
// and reported as an event of its own.
void recordRunEnd(RunResultFacts facts, const char* resultPath, const char* display);
