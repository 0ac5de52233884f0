#include <gtest/gtest.h>

#include "flashing/FlashPlan.h"
#include "flashing/Frames.h"
#include "flashing/WriteOutcome.h"

namespace zv {
namespace {

TEST(WriteOutcome, EachResultAsThePanelTheLogAndAReportShowIt) {
    EXPECT_EQ(DescribeWrite(WRITE_OK, STATUS_OK, 4321),
              (TWriteOutcome{"Обновление прошивки завершено успешно", llSuccess, "(  4321)Прошивка завершена успешно",
                             llNormal}));
    EXPECT_EQ(DescribeWrite(WRITE_INCOMPATIBLE, 0, 12),
              (TWriteOutcome{"Прошивка и прибор не совместимы", llError,
                             "Прибор не совместим с данной версией прошивки", llError}));
    EXPECT_EQ(DescribeWrite(WRITE_WRITE_FAILED, 130, 1234),
              (TWriteOutcome{"Ошибка 6 при обновлении прошивки", llError,
                             "(  1234)Ошибка 6 при прошивке. Последний код ответа прибора 130", llError}));
    EXPECT_EQ(DescribeWrite(WRITE_INTERRUPTED, STATUS_OK, 77).status, "Ошибка 10 при обновлении прошивки");
}

TEST(WriteOutcome, ALockedDeviceIsSaidSoWhateverTheCode) {
    const TWriteOutcome locked{"Прибор заблокирован", llError, "Установлена блокировка изменения настроек", llError};
    EXPECT_EQ(DescribeWrite(WRITE_ERASE_FAILED, STATUS_LOCKED, 5), locked);
    EXPECT_EQ(DescribeWrite(WRITE_INCOMPATIBLE, STATUS_LOCKED, 5), locked);
    // A success is a success, whatever the last reply said.
    EXPECT_EQ(DescribeWrite(WRITE_OK, STATUS_LOCKED, 5).statusLevel, llSuccess);
}

TEST(WriteOutcome, OnlyAMissingAnswerIsWorthAnotherTry) {
    EXPECT_TRUE(RetryMayMend(WRITE_OPEN_FAILED, 0));
    EXPECT_TRUE(RetryMayMend(WRITE_WRITE_FAILED, STATUS_OK)) << "the last reply was fine: this one never came";
    EXPECT_TRUE(RetryMayMend(WRITE_ERASE_FAILED, 0));
    EXPECT_FALSE(RetryMayMend(WRITE_ERASE_FAILED, STATUS_LOCKED));
    EXPECT_FALSE(RetryMayMend(WRITE_OPEN_FAILED, STATUS_LOCKED));
    EXPECT_FALSE(RetryMayMend(WRITE_WRITE_FAILED, 130)) << "the device said no";
    for (int32_t code : {WRITE_OK, WRITE_IMAGE_NOT_LOADED, WRITE_MAP_UNUSABLE, WRITE_BLOCK_DOES_NOT_FIT, WRITE_NO_DATA,
                         WRITE_INCOMPATIBLE, WRITE_INTERRUPTED, WRITE_NOT_CONFIRMED})
        EXPECT_FALSE(RetryMayMend(code, 0)) << code;
}

TEST(WriteOutcome, AnUnconfirmedWriteSaysWhatTheDeviceReported) {
    EXPECT_EQ(DescribeWrite(WRITE_NOT_CONFIRMED, STATUS_OK, 900, "ZVMB-3.1"),
              (TWriteOutcome{"Прошивка не подтверждена", llError,
                             "(   900)Прошивка не подтверждена: прибор сообщает версию ZVMB-3.1", llError}));
    EXPECT_EQ(DescribeWrite(WRITE_NOT_CONFIRMED, STATUS_OK, 900).logText,
              "(   900)Прошивка не подтверждена: прибор не ответил");
}

}  // namespace
}  // namespace zv
