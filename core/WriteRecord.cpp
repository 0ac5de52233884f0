#include "core/WriteRecord.h"

#include <ctime>

#include "core/EventLog.h"
#include "platform/Files.h"
#include "platform/Format.h"

namespace zv {

nlohmann::json RecordJson(const TWriteRecord& r) {
    return {{"serial", r.serial},
            {"library", r.library},
            {"processor", r.processor},
            {"firmwareBefore", r.firmwareBefore},
            {"bootloaderBefore", r.bootloaderBefore},
            {"image", r.image},
            {"imageDate", r.imageDate},
            {"imageSha256", r.imageSha256},
            {"outcome", r.outcome},
            {"code", r.code},
            {"lastReplyCode", r.lastReplyCode},
            {"result", r.result},
            {"level", r.level},
            {"interrupted", r.interrupted},
            {"started", r.started},
            {"finished", r.finished},
            {"elapsedMs", r.elapsedMs},
            {"sectorsWritten", r.sectorsWritten},
            {"sectorsSkipped", r.sectorsSkipped},
            {"sectorsProtected", r.sectorsProtected},
            {"confirmation", r.confirmation},
            {"versionAfter", r.versionAfter},
            {"attempt", r.attempt},
            {"host", r.host},
            {"loaderVersion", r.loaderVersion}};
}

std::string RecordLine(const TWriteRecord& record) {
    // Device texts are converted with replacement characters already;
    // replacing here too keeps a stray byte from costing the record.
    return RecordJson(record).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string DailyRecordFileName(std::chrono::system_clock::time_point when) { return DailyFileName(when, ".jsonl"); }

std::string LocalTimestamp(std::chrono::system_clock::time_point when) {
    const TLocalTime local = LocalTime(when);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local.fields);
    const long offset = local.utcOffsetSeconds / 60;
    const long minutes = offset < 0 ? -offset : offset;
    return Format("%s.%03d%c%02ld:%02ld", stamp, local.milliseconds, offset < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
}

bool AppendRecord(const std::filesystem::path& file, const TWriteRecord& record, std::string& error) {
    return AppendToFile(file, RecordLine(record), &error);
}

}  // namespace zv
