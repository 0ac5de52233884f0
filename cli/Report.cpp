#include "cli/Report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

namespace zv::cli {

std::string TReport::Json() const {
    nlohmann::json attemptList = nlohmann::json::array();
    int written = 0;
    for (const TAttemptRecord& a : attempts) {
        written += a.code == 0;
        attemptList.push_back({{"serial", a.serial},
                               {"library", a.library},
                               {"firmwareBefore", a.firmwareBefore},
                               {"bootloaderBefore", a.bootloaderBefore},
                               {"processor", a.processor},
                               {"image", a.image},
                               {"code", a.code},
                               {"result", a.result},
                               {"level", a.level},
                               {"interrupted", a.interrupted},
                               {"elapsedMs", a.elapsedMs},
                               {"sectorsWritten", a.sectorsWritten},
                               {"sectorsSkipped", a.sectorsSkipped},
                               {"finished", a.finished}});
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
                                   {"failed", static_cast<int>(attempts.size()) - written},
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

std::string UtcTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

}  // namespace zv::cli
