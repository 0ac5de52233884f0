#include "flashing/WriteOutcome.h"

#include "flashing/FlashPlan.h"
#include "flashing/Frames.h"
#include "platform/Format.h"

namespace zv {

TWriteOutcome DescribeWrite(int32_t errorCode, int32_t lastReplyCode, int32_t elapsedMs) {
    if (errorCode == WRITE_OK)
        return {"Обновление прошивки завершено успешно", llSuccess,
                ElapsedHead(elapsedMs) + "Прошивка завершена успешно", llNormal};
    if (lastReplyCode == STATUS_LOCKED)
        return {"Прибор заблокирован", llError, "Установлена блокировка изменения настроек", llError};
    if (errorCode == WRITE_INCOMPATIBLE)
        return {"Прошивка и прибор не совместимы", llError, "Прибор не совместим с данной версией прошивки", llError};
    return {Format("Ошибка %d при обновлении прошивки", errorCode), llError,
            ElapsedHead(elapsedMs) +
                Format("Ошибка %d при прошивке. Последний код ответа прибора %d", errorCode, lastReplyCode),
            llError};
}

}  // namespace zv
