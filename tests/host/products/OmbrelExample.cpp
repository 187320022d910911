#include "OmbrelExample.h"

std::string ombrelExampleIni(const std::string& root)
{
    return "[RegPath]\n"
           "Count=2\n"
           "Path0=" +
           root +
           "\\DiscStudio\n"
           "Check0=OmbrelDiscStudio 4.0\n"
           "NoVerCheck0=0\n"
           "Path1=" +
           root +
           "\\TapeTune\n"
           "Check1=Tape_Tune 2.5\n"
           "NoVerCheck1=1\n"
           "\n"
           "[SRInfo]\n"
           "PID=417\n"
           "SRNo=OMS240118-02\n"
           "URL=http://update.example/patch/417\n"
           "Count=2\n"
           "Info0=OmbrelDiscStudio#OMS230910-01#4.00.2215;Tape_Tune#OMS230910-01#2.50.1870\n"
           "Info1=OmbrelDiscStudio#OMS231120-01#4.00.2301;Tape_Tune#OMS231120-01#2.50.1904\n";
}

const std::vector<OmbrelExampleState>& ombrelExampleStates()
{
    static const std::vector<OmbrelExampleState> states = {
        {"AsShippedFetchesBuild0",
         {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS230910-01", "4.00.2215"},
          {"TapeTune", "Tape & Tune", "2.5", "OMS230910-01", "2.50.1870"}},
         1,
         0},
        {"LaterReleaseFetchesBuild1",
         {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS231120-01", "4.00.2301"},
          {"TapeTune", "Tape & Tune", "2.5", "OMS231120-01", "2.50.1904"}},
         1,
         1},
        {"BothPatchedAlreadyApplied",
         {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS240118-02", "4.00.2215"},
          {"TapeTune", "Tape & Tune", "2.5", "OMS240118-02", "2.50.1870"}},
         1,
         999},
        {"OnePatchedFetchesGenericBuild",
         {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS240118-02", "4.00.2215"},
          {"TapeTune", "Tape & Tune", "2.5", "OMS230910-01", "2.50.1870"}},
         1,
         -1},
        {"OtherVersionIsPatchError",
         {{"DiscStudio", "Ombrel Disc Studio", "4.1", "OMS230910-01", "4.00.2215"},
          {"TapeTune", "Tape & Tune", "2.5", "OMS230910-01", "2.50.1870"}},
         0,
         0},
        {"ExemptProductMissingIsProductError",
         {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS230910-01", "4.00.2215"},
          {"TapeTune", nullptr, nullptr, nullptr, nullptr}},
         255,
         0},
    };
    return states;
}
