#pragma once
// The account of one update run: the facts that decided how it ended,
// collected as the run goes, and the one line that states the outcome,
//   "[Veldrun] Outcome: <outcome> (exit N): <fact>; <fact>; ...\n",
// traced just before "[Veldrun] Program End.\n". Each fact says why in its
// own terms: which product key or value is missing, which identity was read
// and which was expected, which build keys were looked for, each URL fetched
// with its verdict and pin, the patch's command line and, with "/w", its
// exit code. Texts from the patch information file, the registry or the
// server are taken as they are (never as a format); control characters
// become "?" so that the outcome stays one line. Portable.

#include "products/ProductInfo.h"
#include "products/Registry.h"
#include "update/DownloadVerdict.h"

#include <string>
#include <vector>

class CRunAccount {
public:
    // The product check's result (1, 0 or 255) over the list it judged. For
    // a product error the registry is asked which keys or values a missing
    // product lacks; for a patch error each identity read is set against
    // its Check value.
    void noteProducts(int checkResult, const std::vector<ProductInfo>& products, IRegistry& registry);

    // The build selection's result (folder, 999 or -1) and the build keys
    // of the found products it looked for.
    void noteSelection(int srId, const std::vector<ProductInfo>& products, const char* srNo);

    // A finished download: its URL and the worker's verdict and facts.
    void noteDownload(const char* url, DownloadVerdict verdict, const DownloadFacts& facts);

    // The pin check of the last download noted (a PinVerdict) and the
    // folder whose pin it was checked against (kPinFolderMax for max).
    void notePin(int pinVerdict, int folder);

    // A download that could not be started: the URL passes 259 characters
    // (url empty) or the platform rejected it.
    void noteURLRefused(const char* url);

    // The connectivity watch found no connection during a download.
    void noteConnectionLost();

    // The user cancelled; `downloading` is the URL of a download still
    // running, or empty.
    void noteCancel(const char* downloading);

    // The patch's command line; whether the process was created, and the
    // platform's error code when it was not.
    void notePatchStart(const char* commandLine, bool started, unsigned long error);

    // With "/w": the patch has ended with its own exit code, which becomes
    // the run's exit status.
    void notePatchExit(unsigned long code);

    // Any other fact, in words.
    void note(const std::string& fact);

    // The outcome line for the run's exit status.
    std::string outcomeLine(int exitStatus) const;

    // The outcome in words for an exit status of the program's own
    // ("server error" for 3); the patch's own code is "patch finished".
    static const char* outcomeWords(int exitStatus, bool patchCode);

private:
    std::vector<std::string> m_facts;
    bool m_bPatchExited = false;
};
