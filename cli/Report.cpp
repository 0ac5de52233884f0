#include "cli/Report.h"

#include <nlohmann/json.hpp>

#include "platform/Files.h"

namespace zv::cli {

std::string TReport::Json() const {
    nlohmann::json attemptList = nlohmann::json::array();
    int written = 0, skipped = 0;
    for (const TWriteRecord& a : attempts) {
        written += a.outcome == OUTCOME_WRITTEN;
        skipped += a.outcome == OUTCOME_SKIPPED;
        attemptList.push_back(RecordJson(a));
    }
    nlohmann::json missed = nlohmann::json::array();
    for (const TMissedRecord& m : notWritten) {
        nlohmann::json record = {{"serial", m.serial}, {"reason", m.reason}};
        if (!m.library.empty()) record["library"] = m.library;
        missed.push_back(std::move(record));
    }
    const nlohmann::json report = {{"command", command_},
                                   {"attempts", std::move(attemptList)},
                                   {"notWritten", std::move(missed)},
                                   {"written", written},
                                   {"failed", static_cast<int>(attempts.size()) - written - skipped},
                                   {"skipped", skipped},
                                   {"interrupted", interrupted}};
    // Texts from a device are converted with replacement characters already;
    // replacing here too keeps a stray byte from costing the whole report.
    return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

bool TReport::Save(const std::filesystem::path& file, std::string& error) const {
    return WriteFileByRename(file, Json(), &error);
}

}  // namespace zv::cli
