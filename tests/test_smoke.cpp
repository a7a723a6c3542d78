#include <gtest/gtest.h>
#include "framework/Afx.h"

TEST(Smoke, AnsiCodePageIsGbk)
{
    EXPECT_EQ(936u, GetACP());
}
