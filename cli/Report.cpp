#include "cli/Report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

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
    const std::string text = Json();
    const std::filesystem::path temporary = file.string() + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = temporary.string() + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const int writeErrno = errno;
    if (::close(fd) != 0 || done != text.size()) {
        error = temporary.string() + ": " + std::strerror(done != text.size() ? writeErrno : errno);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        error = file.string() + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace zv::cli
