#pragma once
// The hand-over from start-up to the update dialog: the one place where the
// dialog is constructed, given the launch settings, run modally and
// destroyed.

class CPackageView;
class CRunDriver;
class IProfileReader;

// run: the run's driver, already told the launch (and whether the run
// is silent); the dialog tells it every event, so it comes back with the
// outcome decided. iniPath: the extracted patch information file (empty
// when nothing was extracted); runDir: the run's own folder (ending in a
// backslash; empty when none), where the patch is downloaded; wait: "/w" or "-w".
// Returns the process exit status (an UpdateExitStatus, or the started
// patch's exit code after a wait).
// ownPackage: the program's own file as the launcher holds it, for
// Signer=package (null: none held). profile: the extracted file's bytes as
// the launcher read them once (null: nothing extracted).
int runUpdateDialog(CRunDriver& run, const char* iniPath, const char* runDir, bool wait,
                    const CPackageView* ownPackage = nullptr, const IProfileReader* profile = nullptr);
