#include "ToolTestRun.h"

#include "ToolJson.h"

#include "products/ProductCheck.h"
#include "products/TableRegistry.h"
#include "update/PatchPin.h"
#include "common/Sha256.h"
#include "update/RunDriver.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

const char kIni[] = "[RegPath]\r\nCount=2\r\n"
                    "Path0=Software\\Ombrel\\DiscStudio\r\nCheck0=OmbrelDiscStudio 4.0\r\nNoVerCheck0=0\r\n"
                    "Path1=Software\\Ombrel\\TapeTune\r\nCheck1=Tape_Tune 2.5\r\nNoVerCheck1=1\r\n\r\n"
                    "[SRInfo]\r\nPID=417\r\nSRNo=OMS240118-02\r\nURL=http://srv/patch/417\r\nCount=2\r\n"
                    "Info0=OmbrelDiscStudio#OMS230910-01#4.00.2215;Tape_Tune#OMS230910-01#2.50.1870\r\n"
                    "Info1=OmbrelDiscStudio#OMS231120-01#4.00.2301;Tape_Tune#OMS231120-01#2.50.1904\r\n";

struct Product {
    const char* key;
    const char* name;
    const char* ver;
    const char* srNo;
    const char* srVer;
};

std::string exportOf(const std::vector<Product>& products, const char* root = "HKEY_LOCAL_MACHINE\\SOFTWARE")
{
    std::string s = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (const Product& p : products) {
        s += std::string("[") + root + "\\Ombrel\\" + p.key + "\\UserReg]\r\n\"Prod_Name\"=\"" + p.name +
             "\"\r\n\"Prod_Ver\"=\"" + p.ver + "\"\r\n\r\n";
        s += std::string("[") + root + "\\Ombrel\\" + p.key + "\\BuildInfo]\r\n\"SR_No\"=\"" + p.srNo +
             "\"\r\n\"SR_Ver\"=\"" + p.srVer + "\"\r\n\r\n";
    }
    return s;
}

const Product kDisc = {"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS230910-01", "4.00.2215"};
const Product kTape = {"TapeTune", "Tape & Tune", "2.5", "OMS230910-01", "2.50.1870"};

struct State {
    const char* name;
    std::vector<Product> products;
    const char* outcome;
    int status;
    std::vector<std::string> fetches; // in order
};

// the Ombrel example's installed states and what the run does with each.
TEST(CheckCommand, OmbrelExampleOutcomesAndUrlsInOrder)
{
    const State states[] = {
        {"as shipped",
         {kDisc, kTape},
         "applicable",
         kToolOk,
         {"first: http://srv/patch/417/0/OMS240118-02.exe", "fallback: http://srv/patch/417/Max/OMS240118-02.exe"}},
        {"both on OMS231120-01",
         {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS231120-01", "4.00.2301"},
          {"TapeTune", "Tape & Tune", "2.5", "OMS231120-01", "2.50.1904"}},
         "applicable",
         kToolOk,
         {"first: http://srv/patch/417/1/OMS240118-02.exe", "fallback: http://srv/patch/417/Max/OMS240118-02.exe"}},
        {"both patched",
         {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS240118-02", "4.00.2400"},
          {"TapeTune", "Tape & Tune", "2.5", "OMS240118-02", "2.50.2000"}},
         "already-applied",
         kToolAlreadyApplied,
         {}},
        {"one patched",
         {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS240118-02", "4.00.2400"}, kTape},
         "applicable",
         kToolOk,
         {"first: http://srv/patch/417/max/OMS240118-02.exe"}},
        {"Disc Studio 4.1",
         {{"DiscStudio", "Ombrel Disc Studio", "4.1", "OMS230910-01", "4.00.2215"}, kTape},
         "patch-error",
         kToolPatchError,
         {}},
        {"Tape & Tune missing", {kDisc}, "product-error", kToolProductError, {}},
    };
    for (const State& s : states) {
        TempDir dir;
        writeFile(dir.file("patch.ini"), kIni);
        writeFile(dir.file("state.reg"), exportOf(s.products));
        ToolResult r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg")});
        EXPECT_EQ(r.status, s.status) << s.name << "\n" << r.err;
        EXPECT_NE(r.out.find(std::string("outcome: ") + s.outcome + "\n"), std::string::npos) << s.name << "\n"
                                                                                              << r.out;
        std::size_t at = 0;
        for (const std::string& f : s.fetches) {
            std::size_t found = r.out.find(f + "\n", at);
            ASSERT_NE(found, std::string::npos) << s.name << ": " << f << " (in order)\n" << r.out;
            at = found + f.size();
        }
        EXPECT_EQ(r.out.find("first:") == std::string::npos, s.fetches.empty()) << s.name;
    }
}

// The signer line says what protects the downloads: pins, the signer, or
// nothing; an unpinned download beside other pins is named as refused.
TEST(CheckCommand, SaysWhatProtectsEachDownload)
{
    const std::string pin = std::string(64, 'a');
    const struct {
        const char* name;
        std::string keys; // added to [SRInfo]
        std::vector<Product> products;
        std::vector<std::string> lines;
    } kCases[] = {
        {"nothing", "", {kDisc, kTape}, {"signer: none, and no pins (a download is started unchecked)\n"}},
        {"every build pinned",
         "SHA2560=" + pin + "\r\nSHA256Max=" + pin + "\r\n",
         {kDisc, kTape},
         {"signer: none (every download is checked against its pin)\n"}},
        {"a pin on folder 1 only",
         "SHA2561=" + pin + "\r\n",
         {kDisc, kTape},
         {"  pin SHA2560: none (refused: the file pins other builds",
          "  pin SHA256Max: none (refused: the file pins other builds",
          "signer: none (a download without its pin is refused, the others are checked against their pins)\n"}},
        {"product error", "SHA256Max=" + pin + "\r\n", {kDisc}, {"signer: none (nothing is downloaded)\n"}},
        {"signed package",
         "Signer=package\r\n",
         {kDisc, kTape},
         {"signer: the package's own certificate (a download is started only with a valid signature by it)\n"}},
    };
    for (const auto& c : kCases) {
        TempDir dir;
        writeFile(dir.file("patch.ini"), kIni + c.keys);
        writeFile(dir.file("state.reg"), exportOf(c.products));
        ToolResult r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg")});
        for (const std::string& line : c.lines)
            EXPECT_NE(r.out.find(line), std::string::npos) << c.name << ": " << line << "\n" << r.out;
        EXPECT_EQ(r.out.find("(refused") != std::string::npos, c.lines.size() > 1) << c.name << "\n" << r.out;
    }
}

TEST(CheckCommand, Utf16ExportAnd32BitViewOfA64BitMachine)
{
    TempDir dir;
    writeFile(dir.file("patch.ini"), kIni);
    // A 64-bit machine: the 32-bit program sees WOW6432Node; the native
    // 64-bit keys hold another product version it never reads.
    std::string text = exportOf({kDisc, kTape}, "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node") +
                       exportOf({{"DiscStudio", "Ombrel Disc Studio", "9.9", "X", "Y"}}).substr(38);
    std::string utf16 = "\xFF\xFE";
    for (char c : text) {
        utf16 += c;
        utf16 += '\0';
    }
    writeFile(dir.file("state.reg"), utf16);
    ToolResult r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg")});
    ASSERT_EQ(r.status, kToolOk) << r.err;
    EXPECT_NE(r.out.find("outcome: applicable"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("/417/0/"), std::string::npos) << r.out;

    r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--view", "64"});
    EXPECT_NE(r.out.find("outcome: product-error"), std::string::npos) << r.out;
}

// A UTF-16 export of a Cyrillic machine: the product's name matches the
// file's Windows-1251 bytes only when read in that code page.
TEST(CheckCommand, CodePageNarrowsAUtf16Export)
{
    TempDir dir;
    writeFile(dir.file("patch.ini"),
              "[RegPath]\r\nCount=1\r\nPath0=Software\\Ombrel\\DiscStudio\r\n"
              "Check0=Ombrel\xC4\xE8\xF1\xEA 4.0\r\n\r\n[SRInfo]\r\nSRNo=OMS240118-02\r\n"
              "URL=http://srv/patch/417\r\nCount=1\r\nInfo0=Ombrel\xC4\xE8\xF1\xEA#OMS230910-01#4.00.2215\r\n");
    std::u16string text = u"Windows Registry Editor Version 5.00\r\n"
                          u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ombrel\\DiscStudio\\UserReg]\r\n"
                          u"\"Prod_Name\"=\"Ombrel \u0414\u0438\u0441\u043a\"\r\n\"Prod_Ver\"=\"4.0\"\r\n"
                          u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ombrel\\DiscStudio\\BuildInfo]\r\n"
                          u"\"SR_No\"=\"OMS230910-01\"\r\n\"SR_Ver\"=\"4.00.2215\"\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char16_t unit : text) {
        utf16 += static_cast<char>(unit & 0xFF);
        utf16 += static_cast<char>(unit >> 8);
    }
    writeFile(dir.file("state.reg"), utf16);
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"--codepage", "1251"}, kToolOk},
        {{}, kToolPatchError},
        {{"--codepage", "65001"}, kToolPatchError},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"check", dir.file("patch.ini"), "--registry", dir.file("state.reg")};
        args.insert(args.end(), c.first.begin(), c.first.end());
        ToolResult r = runTool(args);
        EXPECT_EQ(r.status, c.second) << (c.first.empty() ? "1252" : c.first[1]) << "\n" << r.out << r.err;
    }
}

TEST(CheckCommand, JsonCarriesOutcomeBuildFetchesAndPins)
{
    TempDir dir;
    std::string ini = kIni;
    ini += "SHA256Max=e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\r\nSizeMax=7\r\n";
    writeFile(dir.file("patch.ini"), ini);
    writeFile(dir.file("state.reg"), exportOf({kDisc, kTape}));
    ToolResult r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--json"});
    ASSERT_EQ(r.status, kToolOk) << r.err;
    Json j = Json::parse(r.out);
    EXPECT_EQ(j["outcome"], "applicable");
    EXPECT_EQ(j["build"], Json({{"folder", 0}}));
    EXPECT_EQ(j["fetches"][0], Json({{"role", "first"},
                                     {"url", "http://srv/patch/417/0/OMS240118-02.exe"},
                                     {"pinKey", "SHA2560"},
                                     {"pin", nullptr},
                                     {"sizeKey", "Size0"},
                                     {"size", nullptr}}));
    EXPECT_EQ(j["fetches"][1]["pin"], "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(j["fetches"][1]["size"], "7");

    writeFile(dir.file("state.reg"),
              exportOf({{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS240118-02", "4.00.2400"}, kTape}));
    j = Json::parse(runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--json"}).out);
    EXPECT_EQ(j["build"], Json({{"generic", true}}));
}

// The program's run over the same file and installed state: its driver,
// with a platform whose server delivers the next of `bodies` for each
// download (none left: HTTP 404). Each download as "role URL pin-key".
class ServedPlatform : public IRunPlatform {
public:
    explicit ServedPlatform(const std::vector<std::string>& bodies) : m_bodies(bodies) {}
    std::uint64_t nowMs() override { return now; }
    void showStatus(unsigned) override {}
    void setTimer(bool) override {}
    bool online() override { return true; }
    bool startDownload(const DownloadTarget& target) override
    {
        char key[kPinKeySize];
        pinKeyName(target.pinFolder, key, sizeof key);
        fetched.push_back(std::string(fetched.empty() ? "first " : "fallback ") + target.url + " " + key);
        return pending = true;
    }
    void cancelDownload(bool) override {}
    bool heldDigest(unsigned char digest[kSha256Size]) override
    {
        CSha256 sha;
        sha.update(body().data(), body().size());
        sha.finish(digest);
        return true;
    }
    int heldSigner(const SignerPolicy&, std::string&) override { return kSignerNoSignature; }
    bool packageSigner(unsigned char*) override { return true; }
    void removeDownload(bool) override {}
    PatchStartResult startPatch(const std::string&, bool, bool) override
    {
        PatchStartResult started;
        started.started = true;
        return started;
    }
    void post(RunPost which, int param) override { posted = which, postParam = param; }
    void showBox(unsigned, bool) override {}
    void end() override {}

    // The end of the download just started.
    DownloadEnd served() const
    {
        DownloadEnd end;
        const bool delivered = fetched.size() <= m_bodies.size();
        end.verdict = delivered ? DownloadVerdict::Good : DownloadVerdict::ServerStatus;
        end.held = delivered;
        end.facts.statusKnown = true;
        end.facts.httpStatus = delivered ? 200 : 404;
        end.localPath = "C:\\r\\1.exe";
        return end;
    }

    std::vector<std::string> fetched;
    std::uint64_t now = 0;
    bool pending = false;
    RunPost posted = RunPost::None;
    int postParam = 0;

private:
    const std::string& body() const { return m_bodies[fetched.size() - 1]; }
    std::vector<std::string> m_bodies;
};

// The run begun over the installed state, up to its first download.
void beginRun(CRunDriver& run, ServedPlatform& platform, CTableRegistry& registry, const std::string& iniPath,
              const std::vector<Product>& installed)
{
    for (const Product& p : installed) {
        std::string key = std::string("SOFTWARE\\Ombrel\\") + p.key;
        registry.setString(key + "\\UserReg", "Prod_Name", p.name);
        registry.setString(key + "\\UserReg", "Prod_Ver", p.ver);
        registry.setString(key + "\\BuildInfo", "SR_No", p.srNo);
        registry.setString(key + "\\BuildInfo", "SR_Ver", p.srVer);
    }
    RunPlace place;
    place.iniPath = iniPath.c_str();
    run.onLaunch(false, 1);
    run.start(platform, registry, place);
}

std::vector<std::string> driveRun(CRunDriver& run, const std::string& iniPath, const std::vector<Product>& installed,
                                  const std::vector<std::string>& bodies)
{
    CTableRegistry registry;
    ServedPlatform platform(bodies);
    beginRun(run, platform, registry, iniPath, installed);
    for (int i = 0; platform.pending && i < 3; ++i) {
        platform.pending = false;
        run.onDownloadEnded(platform.served());
    }
    if (platform.posted != RunPost::None)
        run.onOutcomeMessage(platform.posted, platform.postParam);
    return platform.fetched;
}

const char kEmptySha256[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

struct Agreement {
    const char* what;
    std::vector<Product> installed;
    std::string srInfo; // keys added to [SRInfo]
    std::string server; // [SRInfo] URL when not the usual one
    std::vector<std::string> bodies;
    RunOutcome outcome;
    std::vector<const char*> endings; // how check's line of each product ends
    const char* lastVerdict;          // part of the run's verdict on its last download
};

// check prints the downloads the run makes, in order, with the pins that
// judge them; and it names the outcome the run reaches.
TEST(CheckCommand, AgreesWithTheRunOnATableOfStates)
{
    const Product on1120[] = {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS231120-01", "4.00.2301"},
                              {"TapeTune", "Tape & Tune", "2.5", "OMS231120-01", "2.50.1904"}};
    const Product on1201[] = {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS231201-01", "4.00.2350"},
                              {"TapeTune", "Tape & Tune", "2.5", "OMS231201-01", "2.50.1950"}};
    const Product patched[] = {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS240118-02", "4.00.2400"},
                               {"TapeTune", "Tape & Tune", "2.5", "OMS240118-02", "2.50.2000"}};
    const Product disc41 = {"DiscStudio", "Ombrel Disc Studio", "4.1", "OMS230910-01", "4.00.2215"};
    const std::string pin2 = std::string("SHA2562=") + kEmptySha256 + "\r\n";
    const char* ok[] = {" matches", " (exempt)"};
    const Agreement table[] = {
        {"folder 0, then the fallback", {kDisc, kTape}, "", "", {}, RunOutcome::ServerError, {ok[0], ok[1]}, "404"},
        {"folder 1", {on1120[0], on1120[1]}, "", "", {}, RunOutcome::ServerError, {ok[0], ok[1]}, "404"},
        {"generic, no fallback", {patched[0], kTape}, "", "", {}, RunOutcome::ServerError, {ok[0], ok[1]}, "404"},
        {"999", {patched[0], patched[1]}, "", "", {}, RunOutcome::AlreadyApplied, {ok[0], ok[1]}, ""},
        {"mismatch", {disc41, kTape}, "", "", {}, RunOutcome::PatchError, {" does not match", ok[1]}, ""},
        {"missing", {kDisc}, "", "", {}, RunOutcome::ProductError, {ok[0], "not found (or incomplete)"}, ""},
        {"pin on folder 2 only: the build matches",
         {on1201[0], on1201[1]},
         pin2,
         "",
         {""},
         RunOutcome::PatchStarted,
         {ok[0], ok[1]},
         "pin SHA2562 matched"},
        // The fallback has no pin of its own; with another pin present it
        // is refused, even when it holds the pinned build.
        {"pin on folder 2 only: tampered, unpinned fallback refused",
         {on1201[0], on1201[1]},
         pin2,
         "",
         {"tampered", ""},
         RunOutcome::ServerError,
         {ok[0], ok[1]},
         "no pin SHA256Max (file removed)"},
        // A Signer no patch can satisfy ends every run before any download.
        {"malformed signer", {kDisc, kTape}, "Signer=someone\r\n", "", {}, RunOutcome::PatchError, {ok[0], ok[1]}, ""},
        {"first URL too long",
         {on1201[0], on1201[1]},
         "",
         "http://srv/" + std::string(240, 'a'),
         {},
         RunOutcome::NotStarted,
         {ok[0], ok[1]},
         ""},
        // 239 characters: the first URL takes 258, the fallback's 260.
        {"fallback URL too long",
         {on1201[0], on1201[1]},
         "",
         "http://srv/" + std::string(228, 'a'),
         {},
         RunOutcome::NotStarted,
         {ok[0], ok[1]},
         "404"},
    };
    for (const Agreement& t : table) {
        TempDir dir;
        std::string ini = kIni;
        ini.replace(ini.find("Count=2\r\nInfo0"), 7, "Count=3");
        ini += "Info2=OmbrelDiscStudio#OMS231201-01#4.00.2350;Tape_Tune#OMS231201-01#2.50.1950\r\n" + t.srInfo;
        if (!t.server.empty())
            ini.replace(ini.find("http://srv/patch/417"), 20, t.server);
        std::string iniPath = dir.write("patch.ini", ini);
        writeFile(dir.file("state.reg"), exportOf(t.installed));

        CRunDriver run(true);
        std::vector<std::string> fetched = driveRun(run, iniPath, t.installed, t.bodies);
        EXPECT_EQ(run.outcome(), t.outcome) << t.what << ": " << run.facts().reason;
        if (*t.lastVerdict) {
            ASSERT_FALSE(run.facts().fetches.empty()) << t.what;
            EXPECT_NE(run.facts().fetches.back().verdict().find(t.lastVerdict), std::string::npos)
                << t.what << ": " << run.facts().fetches.back().verdict();
        }

        Json j = Json::parse(runTool({"check", iniPath, "--registry", dir.file("state.reg"), "--json"}).out);
        std::vector<std::string> planned; // up to the first URL too long, where the run stops
        for (const Json& f : j["fetches"]) {
            if (f["url"].is_null())
                break;
            planned.push_back(f["role"].get<std::string>() + " " + f["url"].get<std::string>() + " " +
                              f["pinKey"].get<std::string>());
        }
        if (t.outcome == RunOutcome::PatchStarted)
            planned.resize(fetched.size()); // a started patch ends the list early
        EXPECT_EQ(fetched, planned) << t.what;
        const char* outcome = t.outcome == RunOutcome::ProductError     ? "product-error"
                              : t.outcome == RunOutcome::PatchError     ? "patch-error"
                              : t.outcome == RunOutcome::AlreadyApplied ? "already-applied"
                                                                        : "applicable";
        EXPECT_EQ(j["outcome"], outcome) << t.what;

        std::string text = runTool({"check", iniPath, "--registry", dir.file("state.reg")}).out;
        for (std::size_t i = 0; i < t.endings.size(); ++i) {
            std::size_t line = text.find("\n  " + std::to_string(i) + " ");
            ASSERT_NE(line, std::string::npos) << t.what << "\n" << text;
            std::string tail = std::string(t.endings[i]) + "\n";
            EXPECT_EQ(text.compare(text.find('\n', line + 1) + 1 - tail.size(), tail.size(), tail), 0)
                << t.what << ": product " << i << "\n"
                << text;
        }
    }
}

// The lint names the seconds the program uses, and the run stalls after
// exactly those: the value's leading digits within the bounds, else 60.
TEST(CheckCommand, LintAndTheRunReadTheSecondsKeysAlike)
{
    const struct {
        const char* value;
        unsigned used;
        bool finding;
    } table[] = {{"120s", 120, true}, {"3600", 3600, false}, {"3601", 60, true}, {"4", 60, true},
                 {"5", 5, false},     {"x", 60, true},       {" 90", 90, false}};
    for (const auto& t : table) {
        TempDir dir;
        std::string iniPath = dir.write("patch.ini", std::string(kIni) + "StallSeconds=" + t.value + "\r\n");
        ToolResult lint = runTool({"lint", iniPath});
        const std::string said = "the program uses " + std::to_string(t.used);
        const std::size_t at = lint.out.find(said);
        EXPECT_EQ(at != std::string::npos && !std::isdigit(static_cast<unsigned char>(lint.out[at + said.size()])),
                  t.finding)
            << t.value << "\n"
            << lint.out;
        EXPECT_EQ(lint.out.find("seconds-out-of-range") != std::string::npos, t.finding) << t.value;

        CTableRegistry registry;
        ServedPlatform platform({});
        CRunDriver run(true);
        beginRun(run, platform, registry, iniPath, {kDisc, kTape});
        platform.now = t.used * 1000ull - 1;
        run.onTimerTick();
        ASSERT_EQ(run.facts().fetches.size(), 1u) << t.value;
        EXPECT_EQ(run.facts().fetches[0].end, FetchEnd::Running) << t.value;
        platform.now = t.used * 1000ull;
        run.onTimerTick(); // told to stop; it never says it did
        platform.now += 20000;
        run.onTimerTick();
        EXPECT_EQ(run.facts().fetches[0].verdict(), "no progress for " + std::to_string(t.used) + " s") << t.value;
    }
}

TEST(CheckCommand, AllBuildsReportsEntriesAndKeysThatCanNeverMatch)
{
    TempDir dir;
    std::string longInfo = "Info5=" + std::string(200, 'x') + ";OmbrelDiscStudio#OMS230910-01#4.00.2215;" +
                           "Tape_Tune#OMS230910-01#2.50.1870\r\n";
    std::string ini = std::string(kIni).substr(0, std::string(kIni).find("Count=2\r\nInfo0")) + "Count=7\r\n" +
                      "Info0=OmbrelDiscStudio#OMS230910-01#4.00.2215;Tape_Tune#OMS230910-01#2.50.1870\r\n"
                      "Info1=OmbrelDiskStudio#OMS231120-01#4.00.2301;Tape_Tune#OMS231120-01#2.50.1904\r\n"
                      "Info2=ombreldiscstudio#OMS231120-01#4.00.2301;Tape_Tune#OMS231120-01#2.50.1904\r\n"
                      "Info3=Tape_Tune#OMS230910-01#2.50.1870 ; OmbrelDiscStudio#OMS230910-01#4.00.2215\r\n"
                      "Info4=OmbrelDiscStudio#OMS1;Tape_Tune#OMS230910-01#2.50.1870\r\n" +
                      longInfo + "SHA2560=abc\r\n";
    writeFile(dir.file("patch.ini"), ini);
    writeFile(dir.file("state.reg"), exportOf({kDisc, kTape}));
    ToolResult r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--all-builds"});
    EXPECT_EQ(r.status, kToolFindings) << r.err;
    const char* expected[] = {
        "[info-unknown-product] Info1 key 0 (OmbrelDiskStudio#OMS231120-01#4.00.2301) names no product of [RegPath] "
        "(Check0 names OmbrelDiscStudio)",
        "[info-incomplete] Info1 holds no build key of product 0 (OmbrelDiscStudio)",
        "[info-name-case] Info2 key 0 (ombreldiscstudio#OMS231120-01#4.00.2301): the name differs from Check0 "
        "(OmbrelDiscStudio) only in letter case",
        "[info-shadowed] Info3 holds the same build keys as Info0, which the selection always takes first",
        "[info-malformed] Info4 key 0 (OmbrelDiscStudio#OMS1) is not a build key",
        "[info-cut] Info5 key 2 (Tape_Tune#OMS230910-01#2.50.1870) reaches past character 259",
        "[info-missing] Info6 is missing or empty",
        "[pin-invalid] SHA2560 is not 64 hex digits",
    };
    for (const char* e : expected)
        EXPECT_NE(r.out.find(e), std::string::npos) << e << "\n" << r.out;
    EXPECT_EQ(r.out.find("Info0"), r.out.find("Info0, which")) << "Info0 is sound\n" << r.out;
    EXPECT_EQ(r.out.find("Info5 key 1"), std::string::npos) << "the key within 259 characters is fine\n" << r.out;

    // The same file without its faulty entries has no findings.
    writeFile(dir.file("patch.ini"), kIni);
    r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--all-builds"});
    EXPECT_EQ(r.status, kToolOk) << r.out;
    EXPECT_NE(r.out.find("all builds: 0 error(s)"), std::string::npos) << r.out;
}

TEST(CheckCommand, BadInputHasItsOwnStatus)
{
    TempDir dir;
    writeFile(dir.file("patch.ini"), kIni);
    writeFile(dir.file("state.reg"), exportOf({kDisc, kTape}));
    writeFile(dir.file("bad.reg"), "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\X]\r\n[-HKLM\\X]\r\n");
    writeFile(dir.file("text.reg"), "hello\r\n");
    writeFile(dir.file("other.reg"), "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Ombrel]\r\n\"A\"=\"1\"\r\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"check", dir.file("patch.ini")}, kToolUsage, "needs PATCH.ini and --registry"},
        {{"check", "--registry", dir.file("state.reg")}, kToolUsage, "needs PATCH.ini"},
        {{"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--view", "16"}, kToolUsage, "32 or 64"},
        {{"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--codepage", "932"},
         kToolUsage,
         "1250, 1251, 1252 or 65001"},
        {{"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--codepage", "4294968548"},
         kToolUsage,
         "1250, 1251, 1252 or 65001"},
        {{"check", dir.file("missing.ini"), "--registry", dir.file("state.reg")}, kToolUnreadable, "cannot read"},
        {{"check", dir.file("patch.ini"), "--registry", dir.file("missing.reg")}, kToolUnreadable, "missing.reg"},
        {{"check", dir.file("patch.ini"), "--registry", dir.file("bad.reg")}, kToolMalformed, "line 3: removes a key"},
        {{"check", dir.file("patch.ini"), "--registry", dir.file("text.reg")}, kToolMalformed, "not a registry export"},
        {{"check", dir.file("patch.ini"), "--registry", dir.file("other.reg")},
         kToolProductError,
         "outside HKEY_LOCAL_MACHINE left out: HKEY_CURRENT_USER\\Software\\Ombrel"},
    };
    for (const Case& c : cases) {
        ToolResult r = runTool(c.args);
        EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

} // namespace
