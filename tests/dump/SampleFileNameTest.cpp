#include "dump/SampleFileName.h"

#include <gtest/gtest.h>

#include "bank/BankWriter.h"

namespace kbn {
namespace {

struct FileNameCase {
    uint32_t index;
    const char* name;
    const char* file;
};

class SampleFileNames : public testing::TestWithParam<FileNameCase> {};

TEST_P(SampleFileNames, AreSafeAndNumbered) {
    EXPECT_EQ(SampleFileName(GetParam().index, MakeName(GetParam().name)), GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SampleFileNames,
    testing::Values(FileNameCase{12, "Piano C4", "012-Piano C4.wav"}, FileNameCase{1234, "x", "1234-x.wav"},
                    FileNameCase{0, "../../etc/passwd", "000-.._.._etc_passwd.wav"},
                    FileNameCase{1, "a/b\\c:d*e?f", "001-a_b_c_d_e_f.wav"}, FileNameCase{2, "..", "002-sample.wav"},
                    FileNameCase{3, "", "003-sample.wav"}, FileNameCase{4, "trailing. ", "004-trailing.wav"},
                    FileNameCase{5, "\xE9t\xE9", "005-_t_.wav"}));

}  // namespace
}  // namespace kbn
