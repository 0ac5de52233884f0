#include "flashing/WriteOutcome.h"

#include "flashing/FlashPlan.h"
#include "flashing/Frames.h"
#include "platform/Format.h"

namespace zv {

TWriteOutcome DescribeWrite(int32_t errorCode, int32_t lastReplyCode, int32_t elapsedMs,
                            const std::string& reportedVersion) {
    if (errorCode == WRITE_OK)
        return {"Обновление прошивки завершено успешно", llSuccess,
                ElapsedHead(elapsedMs) + "Прошивка завершена успешно", llNormal};
    if (lastReplyCode == STATUS_LOCKED)
        return {"Прибор заблокирован", llError, "Установлена блокировка изменения настроек", llError};
    if (errorCode == WRITE_NOT_CONFIRMED)
        return {"Прошивка не подтверждена", llError,
                ElapsedHead(elapsedMs) + (reportedVersion.empty()
                                              ? std::string("Прошивка не подтверждена: прибор не ответил")
                                              : "Прошивка не подтверждена: прибор сообщает версию " + reportedVersion),
                llError};
    if (errorCode == WRITE_INCOMPATIBLE)
        return {"Прошивка и прибор не совместимы", llError, "Прибор не совместим с данной версией прошивки", llError};
    return {Format("Ошибка %d при обновлении прошивки", errorCode), llError,
            ElapsedHead(elapsedMs) +
                Format("Ошибка %d при прошивке. Последний код ответа прибора %d", errorCode, lastReplyCode),
            llError};
}

bool RetryMayMend(int32_t errorCode, int32_t lastReplyCode) {
    if (lastReplyCode == STATUS_LOCKED) return false;
    switch (errorCode) {
        case WRITE_OPEN_FAILED: return true;
        // A sector reply that came and said no is the device's answer; only a
        // missing or broken reply (no status, or the last one was fine) is not.
        case WRITE_ERASE_FAILED:
        case WRITE_WRITE_FAILED: return lastReplyCode == 0 || lastReplyCode == STATUS_OK;
        default: return false;
    }
}

}  // namespace zv
