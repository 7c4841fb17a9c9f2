// The C side of the component layer, driven from a file compiled as C
// (c_header_check.c).
#include <gtest/gtest.h>

extern "C" int tg_c_check_values(void);
extern "C" int tg_c_check_progress(void);

namespace {

TEST(CInterfaceTest, ValuesFromC) { EXPECT_EQ(tg_c_check_values(), 0) << "failed at that line"; }

TEST(CInterfaceTest, ProgressObjectFromC) {
  EXPECT_EQ(tg_c_check_progress(), 0) << "failed at that line";
}

}  // namespace
