#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "io/ParameterFile.h"
#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"

namespace {

const std::string kNotAssigned = "error: readInfile: all parameters are not assigned (missing: ";

// Whether `out` is the message of a file that does not assign every key,
// naming the keys in `missing` (when given) and suggesting the check.
bool saysNotAssigned(const std::string& out, const char* missing = nullptr) {
    const std::string start = kNotAssigned + (missing ? std::string(missing) + ")" : "");
    const std::string end = "params.txt shows why\n";
    return out.rfind(start, 0) == 0 && out.find("; foundabc --check ") != std::string::npos &&
           out.size() >= end.size() && out.compare(out.size() - end.size(), end.size(), end) == 0;
}

// Reads `text` as a parameter file in a child process; for the failing paths.
ChildResult readInChild(const std::string& text) {
    TempDir dir;
    std::string path = dir.write("params.txt", text);
    return runInChild([&] { readInfile(path.c_str()); });
}

std::unique_ptr<params> readText(const TempDir& dir, const std::string& text) {
    return readInfile(dir.write("params.txt", text).c_str());
}

}  // namespace

TEST(ReadInfile, AllKeysInAnyOrderAndLetterCaseFillEveryField) {
    TempDir dir;
    auto p = readText(dir,
                      "A title line without the comment sign\n"
                      "# a pure comment line\n"
                      "\n"
                      "epsilon 0.25 # tolerance\n"
                      "Repeats 100000 #\n"
                      "unequal_founding_fractions 0.3 #\n"
                      "CONDITIONAL_NUMBER_OF_ORIGINS 2 #\n"
                      "prior_distribution 1 #\n"
                      "popsize_present_sue_upper 4.5 #\n"
                      "popsize_present_sue_lower 3.5 #\n"
                      "popsize_origin_sue_upper 2.5 #\n"
                      "popsize_origin_sue_lower 1.5 #\n"
                      "popsize_present_tha_upper 4.25 #\n"
                      "popsize_present_tha_lower 3.25 #\n"
                      "popsize_origin_tha_upper 2.25 #\n"
                      "popsize_origin_tha_lower 1.25 #\n"
                      "time_to_origin_upper 600 #\n"
                      "time_to_origin_lower 60 #\n"
                      "my_upper 1e-2 #\n"
                      "my_lower 1e-4 #\n"
                      "\tAlpha\t0.75\t# tabs separate words too\n"
                      "number_of_loci 12 #\n"
                      "number_of_sue_lines 20 #\n"
                      "number_of_tha_lines 30 #\n"
                      "outfile_name Results.TXT #\n"
                      "datafile_name My_Data.txt#value right before the comment sign\n");
    EXPECT_STREQ(p->datafile_name, "My_Data.txt");
    EXPECT_STREQ(p->outfile_name, "Results.TXT");
    EXPECT_EQ(p->number_of_tha_lines, 30);
    EXPECT_EQ(p->number_of_sue_lines, 20);
    EXPECT_EQ(p->number_of_loci, 12);
    EXPECT_EQ(p->alpha, 0.75);
    EXPECT_EQ(p->my_lower, 0.0001);
    EXPECT_EQ(p->my_upper, 0.01);
    EXPECT_EQ(p->time_to_origin_lower, 60.0);
    EXPECT_EQ(p->time_to_origin_upper, 600.0);
    EXPECT_EQ(p->popsize_origin_tha_lower, 1.25);
    EXPECT_EQ(p->popsize_origin_tha_upper, 2.25);
    EXPECT_EQ(p->popsize_present_tha_lower, 3.25);
    EXPECT_EQ(p->popsize_present_tha_upper, 4.25);
    EXPECT_EQ(p->popsize_origin_sue_lower, 1.5);
    EXPECT_EQ(p->popsize_origin_sue_upper, 2.5);
    EXPECT_EQ(p->popsize_present_sue_lower, 3.5);
    EXPECT_EQ(p->popsize_present_sue_upper, 4.5);
    EXPECT_EQ(p->prior_distribution, 1);
    EXPECT_EQ(p->repeats, 100000);
    EXPECT_EQ(p->epsilon, 0.25);
    EXPECT_EQ(p->conditional_number_of_origins, 2);
    EXPECT_EQ(p->unequal_founding_fractions, 0.3);
}

TEST(ReadInfile, ValuesConvertAsAtoiAndStrtod) {
    TempDir dir;
    auto p = readText(dir, ParamsFileText()
                               .set("REPEATS", "2.5")
                               .set("NUMBER_OF_LOCI", "1e3")
                               .set("NUMBER_OF_SUE_LINES", "x7")
                               .set("NUMBER_OF_THA_LINES", "-12abc")
                               .set("ALPHA", "1e-4")
                               .set("EPSILON", "abc")
                               .set("MY_LOWER", "2.5xyz")
                               .set("PRIOR_DISTRIBUTION", "2147483647")
                               .set("CONDITIONAL_NUMBER_OF_ORIGINS", "-2147483648")
                               .str());
    EXPECT_EQ(p->repeats, 2);
    EXPECT_EQ(p->number_of_loci, 1);
    EXPECT_EQ(p->number_of_sue_lines, 0);
    EXPECT_EQ(p->number_of_tha_lines, -12);
    EXPECT_EQ(p->alpha, 0.0001);
    EXPECT_EQ(p->epsilon, 0.0);
    EXPECT_EQ(p->my_lower, 2.5);
    EXPECT_EQ(p->prior_distribution, 2147483647);
    EXPECT_EQ(p->conditional_number_of_origins, INT32_MIN);
}

TEST(ReadInfile, KeyWithoutValueCountsAndSetsNumbersToZeroButKeepsNames) {
    TempDir dir;
    // The name is set first, then "cleared" by an empty value: it stays, and
    // the empty assignment still counts (so the last key is never reached).
    std::string text = ParamsFileText().drop("UNEQUAL_FOUNDING_FRACTIONS").str();
    text = "DATAFILE_NAME keep.txt #\n" + text;
    text.replace(text.find("DATAFILE_NAME data.txt"), 22, "DATAFILE_NAME");
    text.replace(text.find("REPEATS 10"), 10, "REPEATS");
    text.replace(text.find("EPSILON 0.5"), 11, "EPSILON ");
    text += "UNEQUAL_FOUNDING_FRACTIONS 0.9 # the 24th assignment, never read\n";
    auto p = readText(dir, text);
    EXPECT_STREQ(p->datafile_name, "keep.txt");
    EXPECT_EQ(p->repeats, 0);
    EXPECT_EQ(p->epsilon, 0.0);
    EXPECT_EQ(p->unequal_founding_fractions, -1.0);
}

TEST(ReadInfile, RepeatedKeyOverwritesAndCountsSoAnOmittedKeyKeepsItsDefault) {
    TempDir dir;
    auto p = readText(dir, ParamsFileText().drop("EPSILON").str() + "REPEATS 77 #\n");
    EXPECT_EQ(p->repeats, 77);
    EXPECT_EQ(p->epsilon, -1.0);
}

TEST(ReadInfile, NothingAfterTheLastAssignmentIsRead) {
    TempDir dir;
    std::string later =
        "REPEATS 5 #\n" + std::string(300, 'x') + "\nEPSILON " + std::string(40, '9') + " #\n";
    auto p = readText(dir, ParamsFileText().str() + later);
    EXPECT_EQ(p->repeats, 10);
    EXPECT_EQ(p->epsilon, 0.5);
}

TEST(ReadInfile, LinesWithoutTheCommentSignOrWithUnknownKeysAreIgnored) {
    TempDir dir;
    std::string text =
        "REPEATS 99\n"  // no '#': ignored
        "UNKNOWN_KEY 5 #\n"
        "#REPEATS 98\n" +
        ParamsFileText().str();
    auto p = readText(dir, text);
    EXPECT_EQ(p->repeats, 10);

    // Without its '#' the setting is missing from the file.
    std::string missing = ParamsFileText().drop("ALPHA").str() + "ALPHA 0.5\n";
    ChildResult r = readInChild(missing);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(saysNotAssigned(r.out, "ALPHA")) << r.out;
}

TEST(ReadInfile, CarriageReturnsBeforeLineFeedsBelongToTheLineEnd) {
    TempDir dir;
    std::string text = ParamsFileText().str();
    std::string crlf;
    for (char c : text) crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    // A 255-character line stays within the buffer when its CR is not counted.
    crlf = std::string(255, '-') + "\r\n" + crlf;
    auto p = readText(dir, crlf);
    EXPECT_EQ(p->epsilon, 0.5);
    EXPECT_STREQ(p->outfile_name, "results.txt");
}

TEST(ReadInfile, LineLongerThan255CharactersSpendsTheRestOfTheFile) {
    ParamsFileText full;
    EXPECT_EQ(readInChild(std::string(255, '-') + "\n" + full.str()).exitStatus, 0);
    ChildResult r = readInChild(std::string(256, '-') + "\n" + full.str());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(saysNotAssigned(r.out)) << r.out;
    // A long line after the last assignment does no harm.
    EXPECT_EQ(readInChild(full.str() + std::string(5000, '-') + "\n").exitStatus, 0);
}

TEST(ReadInfile, AtMost999LinesAreRead) {
    ParamsFileText full;
    std::string text = full.str();  // 23 lines
    ChildResult ok = readInChild(std::string(999 - 23, '\n') + text);
    EXPECT_EQ(ok.exitStatus, 0) << ok.out;
    ChildResult tooLate = readInChild(std::string(1000 - 23, '\n') + text);
    EXPECT_EQ(tooLate.exitStatus, 1);
    EXPECT_TRUE(saysNotAssigned(tooLate.out)) << tooLate.out;
    // A file that lacks a key fails after reading past its end.
    ChildResult missing = readInChild(full.drop("OUTFILE_NAME").str());
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_TRUE(saysNotAssigned(missing.out, "OUTFILE_NAME")) << missing.out;
}

TEST(ReadInfile, ValuesThatWouldBeCutAreRejectedWithTheirLine) {
    std::string name29(29, 'n');
    TempDir dir;
    EXPECT_STREQ(readText(dir, ParamsFileText().set("OUTFILE_NAME", name29).str())->outfile_name,
                 name29.c_str());

    ChildResult longName =
        readInChild("# title\n" + ParamsFileText().set("OUTFILE_NAME", name29 + "n").str());
    EXPECT_EQ(longName.exitStatus, 1);
    EXPECT_EQ(longName.out, "error: readInfile: line 3: value of OUTFILE_NAME is too long\n");

    // The data part before '#' holds 50 characters: a value ending at the 50th fits.
    std::string fits = "REPEATS" + std::string(40, ' ') + "123 #\n";
    ASSERT_EQ(fits.find("123") + 3, 50u);
    EXPECT_EQ(readText(dir, fits + ParamsFileText().drop("REPEATS").str())->repeats, 123);
    ChildResult beyond = readInChild(" " + fits + ParamsFileText().drop("REPEATS").str());
    EXPECT_EQ(beyond.exitStatus, 1);
    EXPECT_EQ(beyond.out, "error: readInfile: line 1: value of REPEATS is too long\n");

    // Long lines whose first word is no key stay ignored.
    std::string longComment = "Note " + std::string(200, 'x') + " # " + std::string(40, 'y') + "\n";
    EXPECT_EQ(readInChild(longComment + ParamsFileText().str()).exitStatus, 0);
}

TEST(ReadInfile, IntegersOutsideThe32BitRangeAreRejected) {
    ChildResult r = readInChild(ParamsFileText().set("REPEATS", "2147483648").str());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out,
              "error: readInfile: line 20: value of REPEATS is outside the 32-bit integer range\n");
    ChildResult low =
        readInChild(ParamsFileText().set("NUMBER_OF_LOCI", "-99999999999999999999").str());
    EXPECT_EQ(low.exitStatus, 1);
    EXPECT_EQ(low.out,
              "error: readInfile: line 5: value of NUMBER_OF_LOCI is outside the 32-bit integer "
              "range\n");
}

TEST(ReadInfile, MissingFileOrDirectoryCannotBeOpened) {
    TempDir dir;
    std::string missing = dir.file("nope.txt");
    ChildResult r = runInChild([&] { readInfile(missing.c_str()); });
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "Error opening infile " + missing +
                         " (No such file or directory): give the path of the parameter file, as "
                         "in foundabc params.txt\n");
    ChildResult d = runInChild([&] { readInfile(dir.path().c_str()); });
    EXPECT_EQ(d.exitStatus, 1);
    EXPECT_EQ(d.out, "Error opening infile " + dir.path() +
                         " (a folder): give the path of the parameter file, as in foundabc "
                         "params.txt\n");
}

TEST(ReadInfile, NulBytesInLinesThatAreReadAreRejectedWithTheirLine) {
    using namespace std::string_literals;
    const std::string full = ParamsFileText().str();
    struct Case {
        std::string text;
        const char* message;  // nullptr: the file is read
    };
    const Case cases[] = {
        // Once read as REPEATS 2, as a name cut to "res", and as a lost setting.
        {ParamsFileText().drop("REPEATS").str() + "REPEATS 2\0 00 #\n"s,
         "error: readInfile: line 23: NUL byte\n"},
        {ParamsFileText().set("OUTFILE_NAME", "res\0ults.txt"s).str(),
         "error: readInfile: line 2: NUL byte\n"},
        {"title \0 more\n"s + full, "error: readInfile: line 1: NUL byte\n"},
        {"\0"s + full, "error: readInfile: line 1: NUL byte\n"},
        {"# \0 in a comment\n"s + full, "error: readInfile: line 1: NUL byte\n"},
        // Nothing after the last assignment is read, nor the cut part of a long line.
        {full + "\0\n"s, nullptr},
        {std::string(255, '-') + "-\0\n"s + "x\n", ""},
    };
    for (const Case& c : cases) {
        ChildResult r = readInChild(c.text);
        EXPECT_EQ(r.exitStatus, c.message ? 1 : 0) << r.out;
        if (c.message != nullptr && *c.message == '\0')  // "": every key unassigned
            EXPECT_TRUE(saysNotAssigned(r.out)) << r.out;
        else
            EXPECT_EQ(r.out, c.message ? c.message : "");
    }
}

// The mutation model's keys are read on any line among those read, before or
// after the 23rd assignment, without counting as one; their values are then
// judged as a whole.
TEST(ReadInfile, MutationKeysAreReadAnywhereWithoutCountingAndJudgedAsAWhole) {
    const std::string full = ParamsFileText().str();
    struct Case {
        std::string text;
        ModelVersion model;
        bool gsm, rates;
        double lower, upper, shape;
        const char* fault;  // start of the message after "error: parameters: ", "" when none
    };
    const ModelVersion cur = ModelVersion::current;
    const Case cases[] = {
        {full, cur, false, false, 0.0, 0.0, 0.0, ""},
        {"GSM_P_LOWER 0.1 #\ngsm_p_upper 0.3 #\n" + full, cur, true, false, 0.1, 0.3, 0.0, ""},
        {full + "GSM_P_LOWER 0 #\nGSM_P_UPPER 0.5 #\nLOCUS_RATE_SHAPE 2 #\n", cur, true, true, 0.0,
         0.5, 2.0, ""},
        // A later line overwrites; one without '#' is not a setting.
        {full + "LOCUS_RATE_SHAPE 2 #\nLOCUS_RATE_SHAPE 3 #\nGSM_P_LOWER 0.2\n", cur, false, true,
         0.0, 0.0, 3.0, ""},
        {full + "LOCUS_RATE_SHAPE 0 #\n", cur, false, false, 0.0, 0.0, 0.0, ""},
        {full + "GSM_P_UPPER 0.2 #\n", cur, false, false, 0.0, 0.2, 0.0,
         "GSM_P_UPPER is given without GSM_P_LOWER"},
        {full + "GSM_P_LOWER 0.2 #\n", cur, false, false, 0.2, 0.0, 0.0,
         "GSM_P_LOWER is given without GSM_P_UPPER"},
        {full + "GSM_P_LOWER 0 #\nGSM_P_UPPER 0.95 #\n", cur, true, false, 0.0, 0.95, 0.0,
         "GSM_P_UPPER = 0.95 is outside [0, 0.95)"},
        {full + "GSM_P_LOWER -0.1 #\nGSM_P_UPPER 0.5 #\n", cur, true, false, -0.1, 0.5, 0.0,
         "GSM_P_LOWER = -0.1 is outside [0, 0.95)"},
        {full + "GSM_P_LOWER nan #\nGSM_P_UPPER 0.5 #\n", cur, true, false, NAN, 0.5, 0.0,
         "GSM_P_LOWER = nan is outside"},
        {full + "GSM_P_LOWER 0.4 #\nGSM_P_UPPER 0.3 #\n", cur, true, false, 0.4, 0.3, 0.0,
         "GSM_P_UPPER < GSM_P_LOWER"},
        {full + "LOCUS_RATE_SHAPE -1 #\n", cur, false, false, 0.0, 0.0, -1.0,
         "LOCUS_RATE_SHAPE = -1 is not a number at or above 0"},
        {full + "LOCUS_RATE_SHAPE 0 #\n", ModelVersion::legacy, false, false, 0.0, 0.0, 0.0,
         "--legacy-model keeps the strict stepwise model"},
        {full, ModelVersion::legacy, false, false, 0.0, 0.0, 0.0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(full.size() < c.text.size() ? full.size() : 0, 80));
        TempDir dir;
        auto p = readText(dir, c.text);
        EXPECT_EQ(p->repeats, 10);
        EXPECT_EQ(p->hasGsm(), c.gsm);
        EXPECT_EQ(p->hasLocusRates(), c.rates);
        if (!std::isnan(c.lower)) {
            EXPECT_EQ(p->gsm_p_lower, c.lower);
        }
        EXPECT_EQ(p->gsm_p_upper, c.upper);
        EXPECT_EQ(p->locus_rate_shape, c.shape);
        const std::string fault = mutationKeysFault(*p, c.model);
        if (*c.fault == '\0') {
            EXPECT_EQ(fault, "");
        } else {
            EXPECT_EQ(fault.rfind(std::string("error: parameters: ") + c.fault, 0), 0u) << fault;
        }
    }
}
