#include "support/Process.h"

#include <algorithm>
#include <cctype>

namespace zv::testing_support {

std::vector<std::string> TProcess::ChildEnvironment(const std::vector<std::string>& current,
                                                    const std::vector<std::string>& changes, bool ignoreCase) {
    auto sameName = [ignoreCase](const std::string& entry, const std::string& change) {
        const std::string name = change.substr(0, change.find('=') + 1);
        if (entry.size() < name.size()) return false;
        return std::equal(name.begin(), name.end(), entry.begin(), [ignoreCase](char a, char b) {
            return ignoreCase
                       ? std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b))
                       : a == b;
        });
    };
    std::vector<std::string> env;
    for (const std::string& entry : current)
        if (std::none_of(changes.begin(), changes.end(), [&](const std::string& c) { return sameName(entry, c); }))
            env.push_back(entry);
    env.insert(env.end(), changes.begin(), changes.end());
    return env;
}

void TProcess::TakeOutputFiles(const TOptions& options) {
    static int runs = 0;
    const std::string tag = std::to_string(CurrentProcessId()) + "-" + std::to_string(runs++);
    auto scratch = [&](const std::string& name) {
        return std::filesystem::temp_directory_path() / ("zv-process-" + name + "-" + tag + ".txt");
    };
    out_ = options.out.empty() ? scratch("out") : options.out;
    err_ = options.err.empty() ? scratch("err") : options.err;
    ownsOut_ = options.out.empty();
    ownsErr_ = options.err.empty();
}

void TProcess::RemoveOutputFiles() {
    std::error_code ignored;
    if (ownsOut_) std::filesystem::remove(out_, ignored);
    if (ownsErr_) std::filesystem::remove(err_, ignored);
}

}  // namespace zv::testing_support
