#include "transaction/transactioncsv.h"

#include <gtest/gtest.h>

TEST(TransactionCsv, Header)
{
    EXPECT_EQ(TransactionCsv::kHeader.substr(0, 6), "number");
}
